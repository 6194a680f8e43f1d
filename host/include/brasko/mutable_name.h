// A name that may change while others read it.
#pragma once

#include <brasko/export.h>

#include <mutex>
#include <string>

namespace Brasko {

class BRASKO_API MutableName {
 public:
  MutableName() = default;
  explicit MutableName(std::string text) : text_(std::move(text)) {}
  MutableName(const MutableName&) = delete;
  MutableName& operator=(const MutableName&) = delete;

  std::string str() const {
    std::string text;
    copyTo(text);
    return text;
  }
  operator std::string() const { return str(); }
  // Into a string the caller keeps, whose room is reused.
  void copyTo(std::string& out) const {
    std::lock_guard lock(mutex_);
    out.assign(text_);
  }
  void set(std::string text) {
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
  }
  bool operator==(const std::string& other) const {
    std::lock_guard lock(mutex_);
    return text_ == other;
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

}  // namespace Brasko
