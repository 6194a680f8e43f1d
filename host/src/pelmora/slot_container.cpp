#include <qarn/slot_container.h>

namespace Qarn {

VSlot::VSlot(std::string name_, std::string help_, Brasko::StrongPtr<VParameter> parameter_)
    : name(std::move(name_)), help(std::move(help_)), parameter(std::move(parameter_)) {}
VSlot::~VSlot() = default;

VSlotContainer::VSlotContainer() = default;
VSlotContainer::~VSlotContainer() = default;

bool VSlotContainer::iterate_inputs(const InputVisitor& visitor) const {
  std::vector<Brasko::StrongPtr<VSlot>> snapshot;
  {
    std::lock_guard lock(mutex_);
    snapshot = inputs_;
  }
  for (std::size_t i = 0; i < snapshot.size(); ++i)
    if (!visitor(snapshot[i], int(i))) return false;
  return true;
}

Brasko::StrongPtr<VSlot> VSlotContainer::getSlot(const std::string& name, int& index) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < inputs_.size(); ++i) {
    if (inputs_[i]->name == name) {
      index = int(i);
      return inputs_[i];
    }
  }
  return {};
}

Brasko::StrongPtr<VSlot> VSlotContainer::addInput(std::string name, std::string help,
                                                  Brasko::StrongPtr<VParameter> parameter) {
  auto slot = Brasko::MakeStrong<VSlot>(std::move(name), std::move(help), std::move(parameter));
  std::lock_guard lock(mutex_);
  inputs_.push_back(slot);
  return slot;
}

}  // namespace Qarn
