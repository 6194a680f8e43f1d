#include <dravo/mcp/nutrition/tools/nutrition_mutex.h>

#include <atomic>

namespace dravo::nutrition {

namespace {
std::atomic<std::mutex*> instance{nullptr};
}

std::mutex& NutritionMutex() {
  std::mutex* current = instance.load(std::memory_order_acquire);
  if (current) return *current;
  auto* created = new std::mutex;
  if (instance.compare_exchange_strong(current, created, std::memory_order_acq_rel))
    return *created;
  delete created;  // another thread won the race
  return *current;
}

void DestroyNutritionMutex() noexcept {
  delete instance.exchange(nullptr);
}

}  // namespace dravo::nutrition
