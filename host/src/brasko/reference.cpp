#include <brasko/reference.h>

namespace Brasko {

namespace detail {
void releaseWeak(RefControl* control) noexcept {
  if (control->weak.fetch_sub(1, std::memory_order_acq_rel) == 1) delete control;
}
}  // namespace detail

RefCounted::RefCounted() : control_(new detail::RefControl) {}

RefCounted::~RefCounted() {
  control_->retired.store(true, std::memory_order_release);
  detail::releaseWeak(control_);
}

bool RefCounted::isAlive() const noexcept {
  return !retired_.load(std::memory_order_acquire);
}

void RefCounted::retire() noexcept {
  retired_.store(true, std::memory_order_release);
  control_->retired.store(true, std::memory_order_release);
}

long RefCounted::strongCount() const noexcept {
  return control_->strong.load(std::memory_order_acquire);
}

void RefCounted::addStrong() const noexcept {
  control_->strong.fetch_add(1, std::memory_order_relaxed);
}

void RefCounted::releaseStrong() const noexcept {
  if (control_->strong.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  auto* self = const_cast<RefCounted*>(this);
  self->onFinalRelease();
  control_->retired.store(true, std::memory_order_release);
  delete self;
}

}  // namespace Brasko
