// One named input of a slot container, with a help line and its parameter.
#pragma once

#include <brasko/reference.h>
#include <qarn/export.h>
#include <qarn/parameter.h>

#include <string>

namespace Qarn {

class QARN_API VSlot : public Brasko::ReferenceBase<VSlot> {
 public:
  VSlot(std::string name, std::string help, Brasko::StrongPtr<VParameter> parameter);
  ~VSlot() override;

  const std::string name;
  const std::string help;
  const Brasko::StrongPtr<VParameter> parameter;  // may be empty
};

}  // namespace Qarn
