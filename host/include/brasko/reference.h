// Intrusive counted references: ReferenceBase, StrongPtr and WeakPtr.
//
// Every counted object owns a small control block that outlives it for as
// long as weak references exist, so a WeakPtr can always tell whether its
// object is still alive. An object can also be retired while references to
// it remain (a plug-in going away, say); users test liveness before use.
#pragma once

#include <brasko/export.h>

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace Brasko {

namespace detail {
struct RefControl {
  std::atomic<long> strong{0};
  std::atomic<long> weak{1};  // one held by the object itself
  std::atomic<bool> retired{false};
};
BRASKO_API void releaseWeak(RefControl* control) noexcept;
}  // namespace detail

template <class T>
class StrongPtr;
template <class T>
class WeakPtr;

// Non-template root of all counted objects; ReferenceBase<T> names the family.
class BRASKO_API RefCounted {
 public:
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  // False once the object was retired or its last strong reference went.
  bool isAlive() const noexcept;
  // Marks the object as gone for every user; memory stays until released.
  void retire() noexcept;
  long strongCount() const noexcept;

 protected:
  RefCounted();
  // Release hook: runs when the last strong reference goes, before deletion.
  virtual void onFinalRelease() {}
  virtual ~RefCounted();

 private:
  template <class>
  friend class StrongPtr;
  template <class>
  friend class WeakPtr;
  void addStrong() const noexcept;
  void releaseStrong() const noexcept;
  detail::RefControl* control_;
  // The control block's flag, also kept here: a walk over many objects
  // then asks each whether it is alive without reading a second block.
  std::atomic<bool> retired_{false};
};

template <class T>
class BRASKO_TEMPLATE_API ReferenceBase : public RefCounted {
 protected:
  ReferenceBase() = default;
};

template <class T>
class StrongPtr {
 public:
  StrongPtr() noexcept = default;
  StrongPtr(std::nullptr_t) noexcept {}
  explicit StrongPtr(T* object) noexcept : p_(object) { acquire(); }
  StrongPtr(const StrongPtr& other) noexcept : p_(other.p_) { acquire(); }
  StrongPtr(StrongPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  StrongPtr(const StrongPtr<U>& other) noexcept : p_(other.get()) {
    acquire();
  }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  StrongPtr(StrongPtr<U>&& other) noexcept : p_(other.release()) {}
  ~StrongPtr() { reset(); }

  StrongPtr& operator=(StrongPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Non-empty and the object not retired.
  bool alive() const noexcept { return p_ && base(p_)->isAlive(); }

  void reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) base(old)->releaseStrong();
  }
  // Gives up ownership without releasing; used to move between types.
  T* release() noexcept { return std::exchange(p_, nullptr); }
  // Takes over a count that was already added.
  static StrongPtr adopt(T* object) noexcept {
    StrongPtr ptr;
    ptr.p_ = object;
    return ptr;
  }

  friend bool operator==(const StrongPtr& a, const StrongPtr& b) noexcept { return a.p_ == b.p_; }

 private:
  static const RefCounted* base(const T* object) noexcept { return object; }
  void acquire() const noexcept {
    if (p_) base(p_)->addStrong();
  }
  T* p_ = nullptr;
};

template <class T, class... Args>
StrongPtr<T> MakeStrong(Args&&... args) {
  return StrongPtr<T>(new T(std::forward<Args>(args)...));
}

// Downcast that yields an empty reference when the object is of another type.
template <class To, class From>
StrongPtr<To> DynamicCast(const StrongPtr<From>& from) noexcept {
  return StrongPtr<To>(dynamic_cast<To*>(from.get()));
}

template <class T>
class WeakPtr {
 public:
  WeakPtr() noexcept = default;
  WeakPtr(const StrongPtr<T>& strong) noexcept { assign(strong.get()); }
  WeakPtr(const WeakPtr& other) noexcept : p_(other.p_), control_(other.control_) {
    if (control_) control_->weak.fetch_add(1, std::memory_order_relaxed);
  }
  WeakPtr(WeakPtr&& other) noexcept
      : p_(std::exchange(other.p_, nullptr)), control_(std::exchange(other.control_, nullptr)) {}
  ~WeakPtr() { reset(); }

  WeakPtr& operator=(WeakPtr other) noexcept {
    std::swap(p_, other.p_);
    std::swap(control_, other.control_);
    return *this;
  }

  // True while the object exists and is not retired.
  bool alive() const noexcept {
    return control_ && control_->strong.load(std::memory_order_acquire) > 0 &&
           !control_->retired.load(std::memory_order_acquire);
  }
  bool expired() const noexcept { return !alive(); }

  // A strong reference, or an empty one when the object is gone.
  StrongPtr<T> lock() const noexcept {
    if (!control_) return {};
    long count = control_->strong.load(std::memory_order_relaxed);
    while (count > 0) {
      if (control_->strong.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel))
        return StrongPtr<T>::adopt(p_);
    }
    return {};
  }

  void reset() noexcept {
    p_ = nullptr;
    if (auto* old = std::exchange(control_, nullptr)) detail::releaseWeak(old);
  }

 private:
  void assign(T* object) noexcept {
    if (!object) return;
    p_ = object;
    control_ = static_cast<const RefCounted*>(object)->control_;
    control_->weak.fetch_add(1, std::memory_order_relaxed);
  }
  T* p_ = nullptr;
  detail::RefControl* control_ = nullptr;
};

}  // namespace Brasko
