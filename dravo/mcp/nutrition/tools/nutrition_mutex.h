// The module-wide lock that real runs and analyses share.
#pragma once

#include <mutex>

namespace dravo::nutrition {

// Created on first use; safe when two threads arrive together.
std::mutex& NutritionMutex();
// At unload, before the provider is unregistered; a no-op if never created.
void DestroyNutritionMutex() noexcept;

}  // namespace dravo::nutrition
