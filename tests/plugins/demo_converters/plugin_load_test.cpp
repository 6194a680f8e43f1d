// Loads dravo_demo_converters.tolm as the host does and watches the
// registry: four nutritions after load, none after unload.
#include <qarn/api_version.h>
#include "plugin_probe.h"

#include <gtest/gtest.h>

namespace {

using dravo::testing::Names;
using dravo::testing::NutritionNames;

TEST(DemoPlugin, RegistersItsNutritionsBetweenLoadAndUnload) {
  Names events;
  Qarn::testing::setInitPluginHook([&](auto reason, auto& plugin, auto& key) {
    events.push_back(std::to_string(int(reason)) + "," + plugin + "," + key + "," +
                     std::to_string(NutritionNames().size()));
  });
  std::string error;
  auto library = Brasko::SharedLibrary::open(DRAVO_PLUGIN_PATH, error);
  ASSERT_TRUE(library.loaded()) << error;
  EXPECT_EQ(NutritionNames(),
            (Names{"XYZ to PLY", "PLY to XYZ", "LAS to PLY/XYZ", "Mandelbrot Demo"}));
  EXPECT_EQ(dravo::testing::AskExport(library, QARN_API_VERSION_TAG "__dravo_demo_converters"),
            (Names{"TOLM_API_VERSION=yes", "TOLM_API_VERSION=no"}));

  library.close();
  Qarn::testing::setInitPluginHook({});
  // Registered after the load announcement, gone before the unload one.
  EXPECT_EQ(events, (Names{"0,dravo_demo_converters,TOLM_API_VERSION,0",
                           "1,dravo_demo_converters,TOLM_API_VERSION,0"}));
}

}  // namespace
