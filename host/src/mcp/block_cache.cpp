#include "block_cache.h"

#include <qarn/mcp/json_memory.h>

#include <array>
#include <new>

namespace Qarn::mcp {

namespace {

constexpr std::size_t kGrain = 16;
constexpr std::size_t kClasses = 32;                          // blocks up to 512 bytes
constexpr std::size_t kMostKeptBytes = std::size_t(4) << 20;  // per thread

// AddressSanitizer must see every block freed, or it misses a value used
// after it went.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kRecycle = false;
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
constexpr bool kRecycle = false;
#  else
constexpr bool kRecycle = true;
#  endif
#else
constexpr bool kRecycle = true;
#endif

struct FreeBlockLink {
  FreeBlockLink* next;
};

// Trivially destructible, so that a value freed by another thread-local's
// destructor, after the drain below, still finds it.
struct Cache {
  std::array<FreeBlockLink*, kClasses> heads{};
  std::size_t keptBytes = 0;
  bool armed = false;   // the drain at the thread's end is set up
  bool closed = false;  // the thread is ending: blocks go straight back
};

// The library is loaded with the application, never later, so its few bytes
// of thread storage can be reached without a lookup call: a listing builds
// about a fifth faster.
#if defined(__ELF__)
#  define QARN_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#  define QARN_FAST_TLS
#endif

thread_local Cache cache QARN_FAST_TLS;

void Drain(Cache& c) noexcept {
  for (std::size_t k = 0; k < kClasses; ++k) {
    while (FreeBlockLink* block = c.heads[k]) {
      c.heads[k] = block->next;
      ::operator delete(block);
    }
  }
  c.keptBytes = 0;
}

struct DrainAtThreadEnd {
  ~DrainAtThreadEnd() {
    Drain(cache);
    cache.closed = true;
  }
};

thread_local DrainAtThreadEnd drainAtThreadEnd;

constexpr std::size_t ClassOf(std::size_t bytes) noexcept {
  return (bytes + kGrain - 1) / kGrain - 1;
}

// What every block of a class holds, so that any of them serves any request.
constexpr std::size_t BytesOf(std::size_t k) noexcept {
  return (k + 1) * kGrain;
}

}  // namespace

void* AllocateBlock(std::size_t bytes) {
  if (!kRecycle || bytes > kClasses * kGrain) return ::operator new(bytes);
  const std::size_t k = ClassOf(bytes);
  if (FreeBlockLink* block = cache.heads[k]) {
    cache.heads[k] = block->next;
    cache.keptBytes -= BytesOf(k);
    return block;
  }
  return ::operator new(BytesOf(k));
}

void FreeBlock(void* block, std::size_t bytes) noexcept {
  if (!block) return;
  if (!kRecycle || bytes > kClasses * kGrain) return ::operator delete(block);
  const std::size_t k = ClassOf(bytes);
  const std::size_t size = BytesOf(k);
  if (cache.closed || cache.keptBytes + size > kMostKeptBytes) return ::operator delete(block);
  if (!cache.armed) {
    cache.armed = true;
    (void)&drainAtThreadEnd;  // constructed on first use, and so destroyed at the end
  }
  auto* link = static_cast<FreeBlockLink*>(block);
  link->next = cache.heads[k];
  cache.heads[k] = link;
  cache.keptBytes += size;
}

void ReleaseJsonBlocks() noexcept {
  Drain(cache);
}

}  // namespace Qarn::mcp
