// The nutritions this plug-in contributes, created fresh for each load.
#pragma once

#include <qarn/nutrition.h>

#include <vector>

namespace dravo::demo {

std::vector<Brasko::StrongPtr<Qarn::VNutrition>> MakeDemoNutritions();

}  // namespace dravo::demo
