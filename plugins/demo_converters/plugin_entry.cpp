// Entry of the demo converter plug-in: the one export, and the XYZ, PLY and
// LAS nutritions registered while the plug-in is loaded.
#include <demo_converters/nutritions/demo_nutritions.h>

#include <qarn/plugin.h>

DRAVO_DEFINE_PLUGIN_ENTRY()

namespace {
const Qarn::NutritionPlugin plugin("dravo_demo_converters", dravo::demo::MakeDemoNutritions());
}  // namespace
