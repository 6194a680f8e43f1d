// A vector whose size, capacity and elements share one heap block, reached
// through one pointer: a JSON container then costs one allocation, where a
// std::vector behind a pointer costs two. Header may add fields of its own.
#pragma once

#include "block_cache.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <span>
#include <stdexcept>
#include <utility>

namespace Qarn::mcp {

struct NoHeader {};

template <class T, class Header = NoHeader>
struct BlockVector : Header {
  std::uint32_t size = 0;
  std::uint32_t capacity = 0;

  T* items() noexcept { return std::launder(reinterpret_cast<T*>(Start(this))); }
  const T* items() const noexcept {
    return std::launder(reinterpret_cast<const T*>(Start(const_cast<BlockVector*>(this))));
  }
  std::span<T> span() noexcept { return {items(), size}; }
  std::span<const T> span() const noexcept { return {items(), size}; }

  // A block with room for capacity elements and none in it.
  static BlockVector* Make(std::size_t capacity) {
    if (capacity > std::numeric_limits<std::uint32_t>::max())
      throw std::length_error("JSON container too large");
    void* raw = AllocateBlock(BlockBytes(capacity));
    auto* block = new (raw) BlockVector;
    block->capacity = std::uint32_t(capacity);
    return block;
  }

  static void Free(BlockVector* block) noexcept {
    if (!block) return;
    for (T& item : block->span()) item.~T();
    const std::size_t bytes = BlockBytes(block->capacity);
    block->~BlockVector();
    FreeBlock(block, bytes);
  }

  static BlockVector* Copy(const BlockVector* other) {
    if (!other) return nullptr;
    BlockVector* block = Make(other->size);
    try {
      static_cast<Header&>(*block) = static_cast<const Header&>(*other);
      for (const T& item : other->span()) block->construct(item);
    } catch (...) {
      Free(block);  // with the items copied so far
      throw;
    }
    return block;
  }

  // Appends, moving to a larger block (so block may change) when full.
  template <class... Args>
  static T& Append(BlockVector*& block, std::size_t firstRoom, Args&&... args) {
    if (!block) block = Make(firstRoom);
    if (block->size == block->capacity) block = Grown(block);
    return block->construct(std::forward<Args>(args)...);
  }

  void erase(std::size_t position) {
    T* at = items();
    for (std::size_t i = position; i + 1 < size; ++i) at[i] = std::move(at[i + 1]);
    at[size - 1].~T();
    --size;
  }

 private:
  static constexpr std::size_t ItemsOffset() noexcept {
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    return (sizeof(BlockVector) + alignof(T) - 1) / alignof(T) * alignof(T);
  }

  static std::size_t BlockBytes(std::size_t capacity) noexcept {
    return ItemsOffset() + capacity * sizeof(T);
  }

  // Makes an item in the room after the last; there must be room.
  template <class... Args>
  T& construct(Args&&... args) {
    T* item = new (items() + size) T(std::forward<Args>(args)...);
    ++size;
    return *item;
  }

  static char* Start(BlockVector* block) noexcept {
    return reinterpret_cast<char*>(block) + ItemsOffset();
  }

  // Doubles the room; elements move over, the header's extra fields too.
  static BlockVector* Grown(BlockVector* old) {
    BlockVector* block = Make(std::max<std::size_t>(2 * std::size_t(old->capacity), 4));
    static_cast<Header&>(*block) = std::move(static_cast<Header&>(*old));
    for (T& item : old->span()) block->construct(std::move(item));
    Free(old);
    return block;
  }
};

}  // namespace Qarn::mcp
