// How a JSON value keeps what it holds, shared by the value's storage, its
// reader and its writer.
#pragma once

#include "block_cache.h"

#include <qarn/mcp/json_value.h>

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Qarn::mcp {

// Containers take their memory from the block cache.
template <class T>
struct BlockAllocator {
  using value_type = T;
  BlockAllocator() noexcept = default;
  template <class U>
  BlockAllocator(const BlockAllocator<U>&) noexcept {}
  T* allocate(std::size_t count) { return static_cast<T*>(AllocateBlock(count * sizeof(T))); }
  void deallocate(T* items, std::size_t count) noexcept { FreeBlock(items, count * sizeof(T)); }
  friend bool operator==(BlockAllocator, BlockAllocator) noexcept { return true; }
};

using Elements = std::vector<VMCPJsonValue, BlockAllocator<VMCPJsonValue>>;

// Members in the order they were first set. Small objects are scanned; past
// a few members an open-addressing table of positions finds a key at once.
struct Members {
  std::vector<VMCPJsonValue::Member, BlockAllocator<VMCPJsonValue::Member>> list;
  std::vector<std::uint32_t> slots;  // position + 1; 0 is an empty slot
};

// word_ holds a boolean, a number's bits, a short string's bytes, or the
// address of a longer string's bytes, an array's Elements or an object's
// Members (null while empty); detail_ holds a string's length, with
// kInlineText set when its bytes are in word_, or 1 for an integer.
struct JsonStorage {
  // Most names and many values are this short and cost no allocation: a
  // listing builds about a fifth faster.
  static constexpr std::size_t kInlineBytes = sizeof(std::uint64_t);
  static constexpr std::uint32_t kInlineText = 1u << 31;

  static bool Boolean(const VMCPJsonValue& value) noexcept { return value.word_ != 0; }
  static bool Integral(const VMCPJsonValue& value) noexcept { return value.detail_ == 1; }
  static std::int64_t Integer(const VMCPJsonValue& value) noexcept {
    return std::bit_cast<std::int64_t>(value.word_);
  }
  static double Real(const VMCPJsonValue& value) noexcept {
    return std::bit_cast<double>(value.word_);
  }
  static std::string_view Text(const VMCPJsonValue& value) noexcept {
    if (value.detail_ & kInlineText)
      return {reinterpret_cast<const char*>(&value.word_), value.detail_ & ~kInlineText};
    return {Address<const char>(value), value.detail_};
  }
  static const Elements* ElementsOf(const VMCPJsonValue& value) noexcept {
    return value.kind == VMCPJsonValue::Array ? Address<const Elements>(value) : nullptr;
  }
  static const Members* MembersOf(const VMCPJsonValue& value) noexcept {
    return value.kind == VMCPJsonValue::Object ? Address<const Members>(value) : nullptr;
  }
  // An array's or object's items, made on first use; kind must match.
  static Elements& ElementsFor(VMCPJsonValue& array);
  static Members& MembersFor(VMCPJsonValue& object);

  template <class T>
  static T* Address(const VMCPJsonValue& value) noexcept {
    return reinterpret_cast<T*>(static_cast<std::uintptr_t>(value.word_));
  }
};

// The text with every byte that is not part of valid UTF-8 replaced by
// U+FFFD, or nothing when it is valid already (the common case).
std::optional<std::string> RepairedUtf8(std::string_view text);

}  // namespace Qarn::mcp
