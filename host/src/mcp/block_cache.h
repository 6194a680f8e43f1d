// Heap blocks of JSON values, recycled by the thread that frees them: a tool
// result is thousands of small blocks, built and freed on every call, and
// recycling them halves the time to build and free a listing.
#pragma once

#include <cstddef>

namespace Qarn::mcp {

// A block of at least bytes; FreeBlock must be told the same size. Any
// thread may free a block that another allocated.
void* AllocateBlock(std::size_t bytes);
void FreeBlock(void* block, std::size_t bytes) noexcept;

}  // namespace Qarn::mcp
