// Entry of the demo converter plug-in: the one export and the load/unload
// steps, tied to two static objects so the host sees initPlugin(Load), the
// nutritions registered ... the nutritions unregistered, initPlugin(Unload).
#include <demo_converters/nutritions/demo_nutritions.h>

#include <qarn/initialization.h>
#include <qarn/managed_object.h>

#include <vector>

#if defined(_WIN32)
#  define DRAVO_EXPORT __declspec(dllexport)
#else
#  define DRAVO_EXPORT __attribute__((visibility("default")))
#endif

namespace {
constexpr const char* kPluginName = "dravo_demo_converters";
constexpr const char* kApiKey = "TOLM_API_VERSION";
}  // namespace

// The one export, named by the build: API tag, two underscores, plug-in name.
extern "C" DRAVO_EXPORT bool DRAVO_PLUGIN_ENTRY(Qarn::VInitialization* initialization) {
  return initialization->IsCompatible(kApiKey);
}

namespace {

struct PluginAnnouncement {
  PluginAnnouncement() {
    Qarn::VInitialization::initPlugin(Qarn::VInitialization::Load, kPluginName, kApiKey);
  }
  ~PluginAnnouncement() {
    Qarn::VInitialization::initPlugin(Qarn::VInitialization::Unload, kPluginName, kApiKey);
  }
};

struct NutritionRegistration {
  NutritionRegistration() : nutritions(dravo::demo::MakeDemoNutritions()) {
    for (const auto& nutrition : nutritions) Qarn::RegisterManaged<Qarn::VNutrition>(nutrition);
  }
  ~NutritionRegistration() {
    // Our code leaves with the module, so nothing of it may stay registered.
    for (const auto& nutrition : nutritions) {
      Qarn::VManagedObject::unregisterObject(nutrition.get());
      nutrition->retire();
    }
  }
  std::vector<Brasko::StrongPtr<Qarn::VNutrition>> nutritions;
};

// Order matters: construction runs top to bottom, destruction bottom to top.
const PluginAnnouncement announcement;
const NutritionRegistration registration;

}  // namespace
