// Loads dravo_mcp_nutrition.tolm by dynamic loading and watches what the
// host sees: initPlugin(0), Register, then Unregister, initPlugin(1).
#include <brasko/shared_library.h>
#include <qarn/initialization.h>
#include <qarn/mcp/registry.h>
#include <qarn/mcp/testing.h>
#include <qarn/testing.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Qarn::mcp::VMCPRegistry;

class CountingInitialization : public Qarn::VInitialization {
 public:
  bool IsCompatible(const std::string& apiKey) const override {
    keys.push_back(apiKey);
    return answer;
  }
  bool answer = true;
  mutable std::vector<std::string> keys;
};

using ExportFn = bool (*)(Qarn::VInitialization*);

struct HostEvents : ::testing::Test {
  std::vector<std::string> events;
  void SetUp() override {
    Qarn::testing::setInitPluginHook([this](auto reason, auto& plugin, auto& key) {
      events.push_back("initPlugin(" + std::to_string(int(reason)) + "," + plugin + "," + key +
                       ")");
    });
    Qarn::mcp::testing::setRegistryObserver([this](Qarn::mcp::testing::RegistryEvent event,
                                                   const std::string& name) {
      events.push_back(
          (event == Qarn::mcp::testing::RegistryEvent::Registered ? "Register(" : "Unregister(") +
          name + ")");
    });
  }
  void TearDown() override {
    Qarn::testing::setInitPluginHook({});
    Qarn::mcp::testing::setRegistryObserver({});
  }
};

TEST_F(HostEvents, LoadAndUnloadRunInFixedOrder) {
  std::string error;
  auto library = Brasko::SharedLibrary::open(DRAVO_MODULE_PATH, error);
  ASSERT_TRUE(library.loaded()) << error;
  EXPECT_EQ(events, (std::vector<std::string>{"initPlugin(0,dravo_mcp_nutrition,TOLM_API_VERSION)",
                                              "Register(dravo-nutrition)"}));
  EXPECT_EQ(VMCPRegistry::Names(), std::vector<std::string>{"dravo-nutrition"});

  // The registry's reference is the only one.
  Brasko::WeakPtr<Qarn::mcp::VMCPToolProvider> provider = VMCPRegistry::Find("dravo-nutrition");
  ASSERT_TRUE(provider.alive());
  EXPECT_EQ(provider.lock()->strongCount(), 2);  // the registry's and the one just locked

  events.clear();
  library.close();
  EXPECT_EQ(events,
            (std::vector<std::string>{"Unregister(dravo-nutrition)",
                                      "initPlugin(1,dravo_mcp_nutrition,TOLM_API_VERSION)"}));
  EXPECT_FALSE(provider.alive());
  EXPECT_TRUE(VMCPRegistry::Names().empty());
  EXPECT_TRUE(Qarn::testing::initialisedPlugins().empty());
}

TEST_F(HostEvents, ExportAnswersWhatIsCompatibleSaysAndNothingElse) {
  std::string error;
  auto library = Brasko::SharedLibrary::open(DRAVO_MODULE_PATH, error);
  ASSERT_TRUE(library.loaded()) << error;
  auto entry =
      reinterpret_cast<ExportFn>(library.symbol("TOLM_API_2026_OCT_02__dravo_mcp_nutrition"));
  ASSERT_NE(entry, nullptr);

  events.clear();
  CountingInitialization host;
  EXPECT_TRUE(entry(&host));
  host.answer = false;
  EXPECT_FALSE(entry(&host));
  EXPECT_EQ(host.keys, (std::vector<std::string>{"TOLM_API_VERSION", "TOLM_API_VERSION"}));
  EXPECT_TRUE(events.empty());
}

TEST_F(HostEvents, DeclaresFourToolsThroughTheRegistry) {
  std::string error;
  auto library = Brasko::SharedLibrary::open(DRAVO_MODULE_PATH, error);
  ASSERT_TRUE(library.loaded()) << error;
  const auto tools = VMCPRegistry::ListTools();
  ASSERT_EQ(tools.size(), 4u);
  EXPECT_EQ(tools.asArray()[3]["name"].asString(), "run_nutrition");
  Qarn::mcp::VMCPJsonValue result = "untouched";
  EXPECT_FALSE(VMCPRegistry::CallTool("run", Qarn::mcp::VMCPJsonValue::MakeObject(), {}, result));
  EXPECT_EQ(result.asString(), "untouched");
}

}  // namespace
