// The application's registry of named objects, grouped by type.
#pragma once

#include <brasko/mutable_name.h>
#include <brasko/reference.h>
#include <qarn/export.h>

#include <functional>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>

namespace Qarn {

class QARN_API VManagedObject : public Brasko::ReferenceBase<VManagedObject> {
 public:
  using TypeId = std::type_index;
  // Receives the position in the walk, the object and its name; true goes on.
  using Visitor =
      std::function<bool(int, const Brasko::StrongPtr<VManagedObject>&, const std::string&)>;

  Brasko::MutableName name;

  // The first live object registered under that type with exactly that name.
  static Brasko::StrongPtr<VManagedObject> find(TypeId type, const std::string& name);
  // Visits, in registration order, the objects of the type whose position
  // lies in [lowest, highest]. The visitor runs on the caller's thread,
  // outside the registry's lock, so it may itself use the registry.
  static bool iterate(TypeId type, const Visitor& visitor, int lowest, int highest);

  // Host side: adds an object under a type (usually its domain type). A name
  // the type has already is kept, and said on stderr naming registrant (who
  // registers it, e.g. `plug-in "my_converters"`) when given.
  static void registerObject(TypeId type, const Brasko::StrongPtr<VManagedObject>& object,
                             std::string_view registrant = {});
  // Removes every registration of the object; true when there was one.
  static bool unregisterObject(const VManagedObject* object);
  static std::size_t registeredCount(TypeId type);

 protected:
  explicit VManagedObject(std::string name);
  ~VManagedObject() override;
};

// A managed object that belongs to the domain type T.
template <class T>
class QARN_TEMPLATE_API VManagedDomainObject : public VManagedObject {
 public:
  static TypeId domainType() { return typeid(T); }

 protected:
  using VManagedObject::VManagedObject;
};

// Registers an object under its domain type.
template <class T>
void RegisterManaged(const Brasko::StrongPtr<T>& object, std::string_view registrant = {}) {
  VManagedObject::registerObject(T::domainType(), object, registrant);
}

}  // namespace Qarn
