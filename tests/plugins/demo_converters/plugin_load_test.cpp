// Loads dravo_demo_converters.tolm as the host does and watches the
// registry: four nutritions after load, none after unload.
#include <brasko/shared_library.h>
#include <qarn/api_version.h>
#include <qarn/initialization.h>
#include <qarn/managed_object.h>
#include <qarn/nutrition.h>
#include <qarn/testing.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> NutritionNames() {
  std::vector<std::string> names;
  Qarn::VManagedObject::iterate(
      Qarn::VNutrition::domainType(),
      [&](int, const Brasko::StrongPtr<Qarn::VManagedObject>&, const std::string& name) {
        names.push_back(name);
        return true;
      },
      0, 1 << 30);
  return names;
}

class AnsweringInitialization : public Qarn::VInitialization {
 public:
  bool IsCompatible(const std::string& apiKey) const override {
    asked.push_back(apiKey);
    return false;
  }
  mutable std::vector<std::string> asked;
};

TEST(DemoPlugin, RegistersItsNutritionsBetweenLoadAndUnload) {
  std::vector<std::string> events;
  Qarn::testing::setInitPluginHook([&](auto reason, auto& plugin, auto& key) {
    events.push_back(std::to_string(int(reason)) + "," + plugin + "," + key + "," +
                     std::to_string(NutritionNames().size()));
  });
  std::string error;
  auto library = Brasko::SharedLibrary::open(DRAVO_PLUGIN_PATH, error);
  ASSERT_TRUE(library.loaded()) << error;
  EXPECT_EQ(NutritionNames(), (std::vector<std::string>{"XYZ to PLY", "PLY to XYZ",
                                                        "LAS to PLY/XYZ", "Mandelbrot Demo"}));

  using ExportFn = bool (*)(Qarn::VInitialization*);
  const auto fn =
      reinterpret_cast<ExportFn>(library.symbol(QARN_API_VERSION_TAG "__dravo_demo_converters"));
  ASSERT_NE(fn, nullptr);
  AnsweringInitialization initialization;
  EXPECT_FALSE(fn(&initialization));  // the host's answer, passed through
  EXPECT_EQ(initialization.asked, std::vector<std::string>{"TOLM_API_VERSION"});

  library.close();
  Qarn::testing::setInitPluginHook({});
  EXPECT_TRUE(NutritionNames().empty());
  // Registered after the load announcement, gone before the unload one.
  EXPECT_EQ(events, (std::vector<std::string>{"0,dravo_demo_converters,TOLM_API_VERSION,0",
                                              "1,dravo_demo_converters,TOLM_API_VERSION,0"}));
}

}  // namespace
