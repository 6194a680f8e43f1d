#include <qarn/managed_object.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace Qarn {

namespace {

struct Entry {
  VManagedObject::TypeId type;
  Brasko::StrongPtr<VManagedObject> object;
};

// Plug-ins register and unregister from any thread while tools walk it.
struct Registry {
  std::mutex mutex;
  std::vector<Entry> entries;
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
  for (const auto& entry : r.entries)
    if (entry.type == type) objects.push_back(entry.object);
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
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const int position = int(i);
    if (position < lowest || position > highest) continue;
    if (!visitor(position, objects[i], objects[i]->name.str())) return false;
  }
  return true;
}

void VManagedObject::registerObject(TypeId type, const Brasko::StrongPtr<VManagedObject>& object) {
  if (!object) return;
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.entries.push_back({type, object});
}

bool VManagedObject::unregisterObject(const VManagedObject* object) {
  std::vector<Entry> removed;  // released outside the lock: destructors may re-enter
  auto& r = registry();
  {
    std::lock_guard lock(r.mutex);
    auto keep = std::stable_partition(r.entries.begin(), r.entries.end(),
                                      [&](const Entry& e) { return e.object.get() != object; });
    std::move(keep, r.entries.end(), std::back_inserter(removed));
    r.entries.erase(keep, r.entries.end());
  }
  return !removed.empty();
}

std::size_t VManagedObject::registeredCount(TypeId type) {
  return snapshotOf(type).size();
}

}  // namespace Qarn
