// Loading plug-ins from a folder: the good ones stay loaded and unload in reverse order;
// broken, export-less and incompatible ones are refused with their reason and disabled
// (--keep-failed, which leaves them in place, is checked from the command line).
#include <dravo-host/plugin_loader.h>
#include "scratch_dir.h"

#include <qarn/initialization.h>
#include <qarn/testing.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using dravo::host::PluginLoader;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class PluginFolder : public ::testing::Test {
 protected:
  const dravo::testing::ScratchDir scratch;
  const fs::path& dir = scratch.path;
  Lines reports, events;

  void SetUp() override {
    for (const char* name : {"good_a", "good_b", "no_export_plugin", "incompatible_plugin"})
      fs::copy_file(fs::path(DRAVO_TEST_PLUGIN_DIR) / (std::string(name) + ".tolm"),
                    dir / (std::string(name) + ".tolm"));
    std::ofstream(dir / "broken.tolm") << "not a shared library";
    std::ofstream(dir / "readme.txt") << "not a plug-in";
    Qarn::testing::setInitPluginHook([this](auto reason, auto& plugin, auto&) {
      events.push_back((reason == Qarn::VInitialization::Load ? "load " : "unload ") + plugin);
    });
  }
  void TearDown() override { Qarn::testing::setInitPluginHook({}); }
  PluginLoader loader() {
    return PluginLoader({false, [this](const std::string& line) { reports.push_back(line); }});
  }
  std::string quoted(const std::string& file) { return "\"" + (dir / file).string() + "\""; }
};

TEST_F(PluginFolder, RefusedOnesAreDisabledWithTheirReasonAndTheRestUnloadInReverse) {
  {
    auto plugins = loader();
    plugins.loadDirectory(dir);
    EXPECT_EQ(plugins.loaded(), (std::vector<fs::path>{dir / "good_a.tolm", dir / "good_b.tolm"}));
  }
  // Each refused library was attached and detached again before the next.
  EXPECT_EQ(events, (Lines{"load good_a", "load good_b", "load incompatible_plugin",
                           "unload incompatible_plugin", "load no_export_plugin",
                           "unload no_export_plugin", "unload good_b", "unload good_a"}));
  ASSERT_EQ(reports.size(), 3u);
  const std::string broken = "dravo-host: plug-in " + quoted("broken.tolm") + " cannot be loaded: ";
  EXPECT_EQ(reports[0].substr(0, broken.size()), broken);
  EXPECT_TRUE(reports[0].ends_with("; disabled as " + quoted("broken.tolm~") + ".")) << reports[0];
  EXPECT_EQ(reports[1], "dravo-host: plug-in " + quoted("incompatible_plugin.tolm") +
                            " is not compatible with this application (TOLM_API_VERSION); "
                            "disabled as " +
                            quoted("incompatible_plugin.tolm~") + ".");
  EXPECT_EQ(reports[2], "dravo-host: plug-in " + quoted("no_export_plugin.tolm") +
                            " has no export " + Qarn::kApiVersionTag +
                            "__no_export_plugin; disabled as " + quoted("no_export_plugin.tolm~") +
                            ".");
  for (const char* file : {"broken.tolm", "no_export_plugin.tolm", "incompatible_plugin.tolm"})
    EXPECT_FALSE(fs::exists(dir / file)) << file;
  EXPECT_TRUE(fs::exists(dir / "readme.txt"));
  reports.clear();
  auto again = loader();
  again.loadDirectory(dir);
  EXPECT_EQ(again.loaded().size(), 2u);
  EXPECT_EQ(reports, Lines{}) << "disabled files are not loaded again";
}

}  // namespace
