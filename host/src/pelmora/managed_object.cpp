#include <qarn/managed_object.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Qarn {

namespace {

using Handle = Brasko::StrongPtr<VManagedObject>;

// One type's objects in registration order, null where one was removed.
// Walks share the list rather than copy it with a reference per object; a
// change to a list that a walk still reads goes to a copy instead.
struct TypeList {
  std::vector<Handle> slots;
  std::size_t holes = 0;
  std::atomic<int> walkers{0};

  std::size_t count() const noexcept { return slots.size() - holes; }
};
using SharedList = std::shared_ptr<TypeList>;

// Plug-ins register and unregister from any thread while tools walk it. An
// index by object makes unregistering logarithmic, not a pass over all.
struct Registry {
  std::mutex mutex;
  std::unordered_map<VManagedObject::TypeId, SharedList> byType;
  std::unordered_multimap<const VManagedObject*, std::pair<VManagedObject::TypeId, std::size_t>>
      byObject;  // where each registration sits in its type's slots
  // How many registrations of each type carry each name, as registered.
  std::unordered_map<VManagedObject::TypeId, std::unordered_map<std::string, std::size_t>> names;
  std::unordered_multimap<const VManagedObject*, std::pair<VManagedObject::TypeId, std::string>>
      nameOf;

  // The type's list, ready to change: copied first while a walk reads it.
  TypeList& writable(VManagedObject::TypeId type) {
    SharedList& list = byType[type];
    if (!list) {
      list = std::make_shared<TypeList>();
    } else if (list->walkers.load(std::memory_order_acquire) > 0) {
      auto copy = std::make_shared<TypeList>();
      copy->slots = list->slots;
      copy->holes = list->holes;
      list = std::move(copy);
    }
    return *list;
  }

  // Drops the holes once they are the majority, so a walk and the memory
  // stay linear in the live objects; the index follows the moved slots.
  void compact(VManagedObject::TypeId type, TypeList& list) {
    if (list.holes <= list.slots.size() / 2) return;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list.slots.size(); ++i) {
      if (!list.slots[i]) continue;
      if (kept != i) {
        const auto [first, last] = byObject.equal_range(list.slots[i].get());
        for (auto it = first; it != last; ++it)
          if (it->second == std::pair{type, i}) it->second.second = kept;
        list.slots[kept] = std::move(list.slots[i]);
      }
      ++kept;
    }
    list.slots.resize(kept);
    list.holes = 0;
  }
};

// Never destroyed: a plug-in's static registration may unregister at exit
// after this library's statics are gone, whichever order they die in.
Registry& registry() {
  static Registry& instance = *new Registry;
  return instance;
}

// The type's list, held for a walk until the walk ends.
class Walk {
 public:
  explicit Walk(VManagedObject::TypeId type) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (auto found = r.byType.find(type); found != r.byType.end()) {
      list_ = found->second;
      list_->walkers.fetch_add(1, std::memory_order_relaxed);
    }
  }
  ~Walk() {
    if (list_) list_->walkers.fetch_sub(1, std::memory_order_release);
  }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  const std::vector<Handle>& slots() const {
    static const std::vector<Handle> none;
    return list_ ? list_->slots : none;
  }

 private:
  SharedList list_;
};

// Two objects of one type under one name: find reaches only the first, so
// the second is worth a word to whoever reads the log.
void SayNameTaken(const std::string& name, std::string_view registrant) {
  std::string line(registrant.empty() ? "An object" : registrant);
  line += " registers \"" + name +
          "\", a name registered already; lookups by name reach the "
          "first one.\n";
  std::fputs(line.c_str(), stderr);
}

}  // namespace

VManagedObject::VManagedObject(std::string name_) : name(std::move(name_)) {}
VManagedObject::~VManagedObject() = default;

Brasko::StrongPtr<VManagedObject> VManagedObject::find(TypeId type, const std::string& name) {
  const Walk walk(type);
  for (const auto& object : walk.slots())
    if (object.alive() && object->name == name) return object;
  return {};
}

bool VManagedObject::iterate(TypeId type, const Visitor& visitor, int lowest, int highest) {
  const Walk walk(type);
  std::string name;  // one buffer for every name
  int position = -1;
  for (const auto& object : walk.slots()) {
    if (!object) continue;
    ++position;
    if (position < lowest || position > highest) continue;
    object->name.copyTo(name);
    if (!visitor(position, object, name)) return false;
  }
  return true;
}

void VManagedObject::registerObject(TypeId type, const Brasko::StrongPtr<VManagedObject>& object,
                                    std::string_view registrant) {
  if (!object) return;
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  TypeList& list = r.writable(type);
  std::string name = object->name.str();
  if (r.names[type][name]++ > 0) SayNameTaken(name, registrant);
  r.nameOf.emplace(object.get(), std::pair{type, std::move(name)});
  r.byObject.emplace(object.get(), std::pair{type, list.slots.size()});
  list.slots.push_back(object);
}

bool VManagedObject::unregisterObject(const VManagedObject* object) {
  std::vector<Handle> removed;  // released outside the lock: destructors may re-enter
  auto& r = registry();
  {
    std::lock_guard lock(r.mutex);
    const auto [first, last] = r.byObject.equal_range(object);
    std::vector<std::pair<TypeId, std::size_t>> places;
    for (auto it = first; it != last; ++it) places.push_back(it->second);
    r.byObject.erase(first, last);
    const auto [named, namedEnd] = r.nameOf.equal_range(object);
    for (auto it = named; it != namedEnd; ++it) {
      auto& counts = r.names[it->second.first];
      if (--counts[it->second.second] == 0) counts.erase(it->second.second);
    }
    r.nameOf.erase(named, namedEnd);
    for (const auto& [type, slot] : places) {
      TypeList& list = r.writable(type);
      removed.push_back(std::move(list.slots[slot]));
      ++list.holes;
    }
    for (const auto& [type, slot] : places) r.compact(type, r.writable(type));
  }
  return !removed.empty();
}

std::size_t VManagedObject::registeredCount(TypeId type) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  const auto found = r.byType.find(type);
  return found == r.byType.end() ? 0 : found->second->count();
}

}  // namespace Qarn
