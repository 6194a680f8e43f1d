// An object with named input slots.
#pragma once

#include <brasko/reference.h>
#include <qarn/export.h>
#include <qarn/slot.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace Qarn {

class QARN_API VSlotContainer {
 public:
  // Receives each slot and its position; answers true to go on.
  using InputVisitor = std::function<bool(const Brasko::StrongPtr<VSlot>&, int)>;

  VSlotContainer();
  VSlotContainer(const VSlotContainer&) = delete;
  VSlotContainer& operator=(const VSlotContainer&) = delete;
  virtual ~VSlotContainer();

  // Visits the input slots in the order they were added; false when the
  // visitor stopped the walk.
  bool iterate_inputs(const InputVisitor& visitor) const;
  // The slot of exactly that name and its position, or an empty reference.
  Brasko::StrongPtr<VSlot> getSlot(const std::string& name, int& index) const;

  Brasko::StrongPtr<VSlot> addInput(std::string name, std::string help,
                                    Brasko::StrongPtr<VParameter> parameter);

 private:
  mutable std::mutex mutex_;
  std::vector<Brasko::StrongPtr<VSlot>> inputs_;
};

}  // namespace Qarn
