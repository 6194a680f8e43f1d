// What a converter plug-in needs to announce itself and its nutritions.
//
//   DRAVO_DEFINE_PLUGIN_ENTRY()
//   const Qarn::NutritionPlugin plugin("my_converters", {MakeMyNutrition()});
//
// The build (dravo_add_plugin) names the entry: API tag, two underscores,
// plug-in name. The static object runs the load steps when the platform
// attaches the plug-in and the unload steps, in reverse, when it detaches it.
#pragma once

#include <brasko/reference.h>
#include <qarn/export.h>
#include <qarn/initialization.h>
#include <qarn/nutrition.h>

#include <string>
#include <vector>

#if defined(_WIN32)
#  define DRAVO_PLUGIN_EXPORT __declspec(dllexport)
#else
#  define DRAVO_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

// The one export: answers whether the application speaks the plug-in's API.
#define DRAVO_DEFINE_PLUGIN_ENTRY()                                                     \
  extern "C" DRAVO_PLUGIN_EXPORT bool DRAVO_PLUGIN_ENTRY(Qarn::VInitialization* init) { \
    return init->IsCompatible(Qarn::kApiKey);                                           \
  }

namespace Qarn {

// initPlugin(Load), the nutritions registered ... the nutritions unregistered
// and retired, initPlugin(Unload): the plug-in's code leaves with it, so
// nothing of it may stay registered.
class QARN_API NutritionPlugin {
 public:
  NutritionPlugin(std::string name, std::vector<Brasko::StrongPtr<VNutrition>> nutritions);
  ~NutritionPlugin();
  NutritionPlugin(const NutritionPlugin&) = delete;
  NutritionPlugin& operator=(const NutritionPlugin&) = delete;

 private:
  std::string name_;
  std::vector<Brasko::StrongPtr<VNutrition>> nutritions_;
};

}  // namespace Qarn
