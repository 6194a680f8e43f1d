// Root of the host's counted interfaces: a type query and visitor hooks.
#pragma once

#include <brasko/export.h>
#include <brasko/reference.h>

#include <functional>

namespace Brasko {

class BRASKO_API Interface : public ReferenceBase<Interface> {
 public:
  // The interface type query: the name of the most specific interface.
  virtual const char* interfaceName() const;
  // Calls the visitor with this object; true when it was called.
  virtual bool apply_const(const std::function<void(const Interface&)>& visitor) const;
  virtual bool apply(const std::function<void(Interface&)>& visitor);

 protected:
  Interface() = default;
  ~Interface() override;
};

}  // namespace Brasko
