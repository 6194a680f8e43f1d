// Loads dravo_mcp_nutrition.tolm by dynamic loading and watches what the
// host sees: initPlugin(0), Register, then Unregister, initPlugin(1).
#include <qarn/mcp/registry.h>
#include <qarn/mcp/testing.h>
#include "plugin_probe.h"

#include <gtest/gtest.h>

namespace {

using dravo::testing::Names;
using Qarn::mcp::VMCPRegistry;

TEST(ModuleLoad, LoadServeAndUnloadInFixedOrder) {
  Names events;
  Qarn::testing::setInitPluginHook([&](auto reason, auto& plugin, auto& key) {
    events.push_back("initPlugin(" + std::to_string(int(reason)) + "," + plugin + "," + key + ")");
  });
  Qarn::mcp::testing::setRegistryObserver([&](auto event, const std::string& name) {
    const bool registered = event == Qarn::mcp::testing::RegistryEvent::Registered;
    events.push_back((registered ? "Register(" : "Unregister(") + name + ")");
  });
  std::string error;
  auto library = Brasko::SharedLibrary::open(DRAVO_MODULE_PATH, error);
  ASSERT_TRUE(library.loaded()) << error;
  EXPECT_EQ(events, (Names{"initPlugin(0,dravo_mcp_nutrition,TOLM_API_VERSION)",
                           "Register(dravo-nutrition)"}));
  Brasko::WeakPtr<Qarn::mcp::VMCPToolProvider> provider = VMCPRegistry::Find("dravo-nutrition");
  // The export answers what IsCompatible says, and does nothing else.
  EXPECT_EQ(dravo::testing::AskExport(library, "TOLM_API_2026_OCT_02__dravo_mcp_nutrition"),
            (Names{"TOLM_API_VERSION=yes", "TOLM_API_VERSION=no"}));

  events.erase(events.begin(), events.begin() + 2);
  library.close();
  EXPECT_EQ(events, (Names{"Unregister(dravo-nutrition)",
                           "initPlugin(1,dravo_mcp_nutrition,TOLM_API_VERSION)"}));
  EXPECT_FALSE(provider.alive());
  EXPECT_TRUE(Qarn::testing::initialisedPlugins().empty());
  Qarn::testing::setInitPluginHook({});
  Qarn::mcp::testing::setRegistryObserver({});
}

}  // namespace
