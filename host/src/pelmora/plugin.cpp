#include <qarn/managed_object.h>
#include <qarn/plugin.h>

namespace Qarn {

NutritionPlugin::NutritionPlugin(std::string name,
                                 std::vector<Brasko::StrongPtr<VNutrition>> nutritions)
    : name_(std::move(name)), nutritions_(std::move(nutritions)) {
  VInitialization::initPlugin(VInitialization::Load, name_, kApiKey);
  for (const auto& nutrition : nutritions_)
    RegisterManaged<VNutrition>(nutrition, "plug-in \"" + name_ + "\"");
}

NutritionPlugin::~NutritionPlugin() {
  for (const auto& nutrition : nutritions_) {
    VManagedObject::unregisterObject(nutrition.get());
    nutrition->retire();
  }
  VInitialization::initPlugin(VInitialization::Unload, name_, kApiKey);
}

}  // namespace Qarn
