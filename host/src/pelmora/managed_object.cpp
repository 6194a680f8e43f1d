#include <qarn/managed_object.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Qarn {

namespace {

// Plug-ins register and unregister from any thread while tools walk it.
// Objects sit by type in registration order (a running number); a second
// index by object makes unregistering logarithmic, not a pass over all.
struct Registry {
  std::mutex mutex;
  std::uint64_t registered = 0;
  std::unordered_map<VManagedObject::TypeId,
                     std::map<std::uint64_t, Brasko::StrongPtr<VManagedObject>>>
      byType;
  std::unordered_multimap<const VManagedObject*, std::pair<VManagedObject::TypeId, std::uint64_t>>
      byObject;
};

// Never destroyed: a plug-in's static registration may unregister at exit
// after this library's statics are gone, whichever order they die in.
Registry& registry() {
  static Registry& instance = *new Registry;
  return instance;
}

std::vector<Brasko::StrongPtr<VManagedObject>> snapshotOf(VManagedObject::TypeId type) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  std::vector<Brasko::StrongPtr<VManagedObject>> objects;
  if (auto found = r.byType.find(type); found != r.byType.end()) {
    objects.reserve(found->second.size());
    for (const auto& entry : found->second) objects.push_back(entry.second);
  }
  return objects;
}

}  // namespace

VManagedObject::VManagedObject(std::string name_) : name(std::move(name_)) {}
VManagedObject::~VManagedObject() = default;

Brasko::StrongPtr<VManagedObject> VManagedObject::find(TypeId type, const std::string& name) {
  for (auto& object : snapshotOf(type))
    if (object.alive() && object->name == name) return object;
  return {};
}

bool VManagedObject::iterate(TypeId type, const Visitor& visitor, int lowest, int highest) {
  const auto objects = snapshotOf(type);
  std::string name;  // one buffer for every name
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const int position = int(i);
    if (position < lowest || position > highest) continue;
    objects[i]->name.copyTo(name);
    if (!visitor(position, objects[i], name)) return false;
  }
  return true;
}

void VManagedObject::registerObject(TypeId type, const Brasko::StrongPtr<VManagedObject>& object) {
  if (!object) return;
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  const auto number = r.registered++;
  r.byType[type].emplace(number, object);
  r.byObject.emplace(object.get(), std::pair{type, number});
}

bool VManagedObject::unregisterObject(const VManagedObject* object) {
  std::vector<Brasko::StrongPtr<VManagedObject>> removed;  // released outside the lock:
                                                           // destructors may re-enter
  auto& r = registry();
  {
    std::lock_guard lock(r.mutex);
    const auto [first, last] = r.byObject.equal_range(object);
    for (auto it = first; it != last; ++it) {
      auto& ofType = r.byType.at(it->second.first);
      const auto entry = ofType.find(it->second.second);
      removed.push_back(std::move(entry->second));
      ofType.erase(entry);
    }
    r.byObject.erase(first, last);
  }
  return !removed.empty();
}

std::size_t VManagedObject::registeredCount(TypeId type) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  const auto found = r.byType.find(type);
  return found == r.byType.end() ? 0 : found->second.size();
}

}  // namespace Qarn
