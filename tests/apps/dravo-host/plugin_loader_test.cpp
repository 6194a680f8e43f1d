// Loading plug-ins from a folder: the good ones stay loaded and unload in
// reverse order; broken, export-less and incompatible ones are disabled.
#include <dravo-host/plugin_loader.h>
#include "temp_path.h"

#include <qarn/api_version.h>
#include <qarn/initialization.h>
#include <qarn/mcp/registry.h>
#include <qarn/testing.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using dravo::host::PluginLoader;
using dravo::host::PluginLoadOptions;
namespace fs = std::filesystem;

class PluginFolder : public ::testing::Test {
 protected:
  fs::path dir = dravo::testing::UniqueTempPath("plugins");
  std::vector<std::string> reports;
  std::vector<std::string> events;

  void SetUp() override {
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* name : {"good_a", "good_b", "no_export_plugin", "incompatible_plugin"})
      fs::copy_file(fs::path(DRAVO_TEST_PLUGIN_DIR) / (std::string(name) + ".tolm"),
                    dir / (std::string(name) + ".tolm"));
    std::ofstream(dir / "broken.tolm") << "not a shared library";
    std::ofstream(dir / "readme.txt") << "not a plug-in";
    Qarn::testing::setInitPluginHook([this](auto reason, auto& plugin, auto&) {
      events.push_back((reason == Qarn::VInitialization::Load ? "load " : "unload ") + plugin);
    });
  }
  void TearDown() override {
    Qarn::testing::setInitPluginHook({});
    fs::remove_all(dir);
  }
  PluginLoadOptions options(bool keepFailed) {
    return {keepFailed, [this](const std::string& line) { reports.push_back(line); }};
  }
  std::string reportFor(const std::string& file) {
    for (const auto& line : reports)
      if (line.find("/" + file + "\"") != std::string::npos) return line;
    return {};
  }
};

TEST_F(PluginFolder, GoodPluginsLoadAndUnloadInReverseOrder) {
  {
    PluginLoader loader(options(false));
    loader.loadDirectory(dir);
    ASSERT_EQ(loader.loaded().size(), 2u);
    EXPECT_EQ(loader.loaded()[0].filename(), "good_a.tolm");
    EXPECT_EQ(loader.loaded()[1].filename(), "good_b.tolm");
  }
  // Each refused library was attached and detached again before the next.
  const std::vector<std::string> expected{"load good_a",
                                          "load good_b",
                                          "load incompatible_plugin",
                                          "unload incompatible_plugin",
                                          "load no_export_plugin",
                                          "unload no_export_plugin",
                                          "unload good_b",
                                          "unload good_a"};
  EXPECT_EQ(events, expected);
}

struct Refusal {
  std::string file;
  std::string reasonPart;
};

TEST_F(PluginFolder, FailedPluginsAreRenamedWithOneLineEach) {
  PluginLoader loader(options(false));
  loader.loadDirectory(dir);
  for (const auto& r : {Refusal{"broken.tolm", "cannot be loaded"},
                        Refusal{"no_export_plugin.tolm",
                                "has no export " QARN_API_VERSION_TAG "__no_export_plugin"},
                        Refusal{"incompatible_plugin.tolm", "is not compatible"}}) {
    EXPECT_FALSE(fs::exists(dir / r.file)) << r.file;
    EXPECT_TRUE(fs::exists(dir / (r.file + "~"))) << r.file;
    const auto line = reportFor(r.file);
    EXPECT_NE(line.find(r.reasonPart), std::string::npos) << line;
    EXPECT_NE(line.find("disabled as"), std::string::npos) << line;
  }
  EXPECT_EQ(reports.size(), 3u);
  EXPECT_TRUE(fs::exists(dir / "readme.txt"));
}

TEST_F(PluginFolder, KeepFailedLeavesFilesInPlace) {
  PluginLoader loader(options(true));
  loader.loadDirectory(dir);
  EXPECT_EQ(loader.loaded().size(), 2u);
  for (const char* file : {"broken.tolm", "no_export_plugin.tolm", "incompatible_plugin.tolm"}) {
    EXPECT_TRUE(fs::exists(dir / file)) << file;
    EXPECT_FALSE(fs::exists(dir / (std::string(file) + "~"))) << file;
    EXPECT_NE(reportFor(file).find("left in place"), std::string::npos) << reportFor(file);
  }
}

TEST_F(PluginFolder, DisabledFilesAreNotLoadedAgain) {
  { PluginLoader(options(false)).loadDirectory(dir); }
  reports.clear();
  PluginLoader again(options(false));
  again.loadDirectory(dir);
  EXPECT_EQ(again.loaded().size(), 2u);
  EXPECT_TRUE(reports.empty()) << reports.front();
}

TEST(PluginLoader, TheModuleRegistersItsProviderUntilUnloaded) {
  const fs::path dir = dravo::testing::UniqueTempPath("module");
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(DRAVO_MODULE_PATH, dir / "dravo_mcp_nutrition.tolm");
  std::vector<std::string> reports;
  PluginLoader loader({false, [&](const std::string& line) { reports.push_back(line); }});
  loader.loadDirectory(dir);
  EXPECT_TRUE(reports.empty());
  const auto names = Qarn::mcp::VMCPRegistry::Names();
  EXPECT_NE(std::find(names.begin(), names.end(), "dravo-nutrition"), names.end());
  EXPECT_EQ(Qarn::mcp::VMCPRegistry::ListTools().size(), 4u);
  loader.unloadAll();
  EXPECT_TRUE(Qarn::mcp::VMCPRegistry::Names().empty());
  fs::remove_all(dir);
}

}  // namespace
