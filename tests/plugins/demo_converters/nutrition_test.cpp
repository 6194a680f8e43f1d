// The nutritions as the host lists and probes them: declarations, sniffing,
// quick info and analysis; and the tile grid and class filter they rely on.
#include "demo_test_support.h"

#include <demo_converters/core/tiling.h>
#include <demo_converters/nutritions/demo_nutritions.h>

namespace dravo::demo::testing {
namespace {

std::string Declaration(const Qarn::VNutrition& nutrition) {
  std::string text = nutrition.name.str() + ":";
  nutrition.getExtensions([&](const std::string& e) { text += " " + e; });
  text += " ->";
  for (const auto& extension : nutrition.outputExtensions) text += " " + extension;
  nutrition.iterate_inputs([&](const Brasko::StrongPtr<Qarn::VSlot>& slot, int) {
    text += " " + slot->name + "=" + slot->parameter->getValueAsText({}, "", false);
    return true;
  });
  return text;
}

TEST(DemoNutritions, DeclareNamesExtensionsAndParameterDefaults) {
  std::vector<std::string> declarations;
  for (const auto& nutrition : MakeDemoNutritions()) {
    declarations.push_back(Declaration(*nutrition));
    EXPECT_FALSE(nutrition->description.empty());
  }
  EXPECT_EQ(declarations,
            (std::vector<std::string>{
                "XYZ to PLY: xyz txt csv -> ply Delimiter=auto SkipLines=0 Scale=1;1;1 "
                "Offset=0;0;0 Binary=true",
                "PLY to XYZ: ply -> xyz Colour=true",
                "LAS to PLY/XYZ: las -> ply xyz OutputFormat=ply Binary=true TileLength=0;0;0 "
                "ClassFilter=",
                "Mandelbrot Demo: mandel -> ply Iterations=256 Center=-0.5;0;0 Zoom=1 Width=1024 "
                "Height=768 Palette=fire"}));
}

TEST(DemoNutritions, DigestOnlyFilesWhoseExtensionAndContentFit) {
  ScratchDir dir;
  WriteBytes(dir / "fake.las", "LASX not really");
  WriteBytes(dir / "points.LAS", ReadBytes(Sample("las_format0.las")));
  WriteBytes(dir / "ply_as.xyz", ReadBytes(Sample("cloud_binary.ply")));
  WriteBytes(dir / "text.ply", "1 2 3\n");
  WriteBytes(dir / "crlf.ply", "ply\r\nformat ascii 1.0\r\n");
  const auto all = MakeDemoNutritions();
  const struct {
    int nutrition;  // 0 XYZ to PLY, 1 PLY to XYZ, 2 LAS to PLY/XYZ
    std::string path;
    bool expected;
  } cases[] = {
      {0, Sample("cloud.xyz"), true},
      {0, Sample("cloud.csv"), true},
      {0, dir / "ply_as.xyz", false},
      {0, Sample("cloud_ascii.ply"), false},
      {0, dir / "missing.xyz", false},
      {1, Sample("cloud_ascii.ply"), true},
      {1, Sample("cloud_big_endian.ply"), true},
      {1, dir / "crlf.ply", true},
      {1, dir / "text.ply", false},
      {2, Sample("las_format6.las"), true},
      {2, dir / "points.LAS", true},
      {2, dir / "fake.las", false},
      {2, Sample("cloud.xyz"), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(all[c.nutrition]->isDigestible(c.path), c.expected) << c.path;
}

TEST(DemoNutritions, QuickInfoAnalysisAndPredictionWithoutWriting) {
  const auto all = MakeDemoNutritions();
  // A name sorting after every sample path, so the not-found line comes last.
  EXPECT_EQ(all[2]->getQuickInfo({Sample("las_format0.las"), "/~nowhere/x.las"}),
            "<b>2 files</b>, 60227 bytes in all<br/>\nlas_format0.las: 60227 bytes<br/>\nx.las: "
            "<i>not found</i>");
  const std::string dir = Sample(""), bounds =
                                          "bounds (1000.06, 2000.28, 10.037) to (1499.95, "
                                          "2499.52, 59.994)";
  const auto las = all[2]->analyse({Sample("las_format3.las"), Sample("cloud.xyz")});
  EXPECT_EQ(las.analysis,
            "<b>" + dir + "cloud.xyz</b>: \"" + dir +
                "cloud.xyz\": not a LAS file (no \"LASF\" magic).\n<b>" + dir +
                "las_format3.las</b>: LAS 1.2, point format 3, 3000 points, attributes: "
                "intensity, returns, classification, gps time, rgb, classes "
                "1,2,3,4,5,6, " +
                bounds + "\n");
  EXPECT_EQ(las.log, "Could not read \"" + dir + "cloud.xyz\"\nRead \"" + dir +
                         "las_format3.las\": LAS 1.2, point format 3, 34-byte records at offset "
                         "227, software \"dravo_demo_samples\"\n");
  EXPECT_EQ(all[1]->analyse({Sample("cloud_big_endian.ply")}).analysis,
            "<b>" + dir +
                "cloud_big_endian.ply</b>: PLY 1.0 binary big-endian, 3000 points, "
                "attributes: none, " +
                bounds + "\n");
  EXPECT_EQ(all[0]->analyse({Sample("cloud.csv")}).analysis,
            "<b>" + dir +
                "cloud.csv</b>: XYZ text, 3000 points, delimiter comma, attributes: rgb, " +
                bounds + ", 1 lines skipped\n");
  EXPECT_EQ(all[3]->analyse({"/seeds/view.mandel"}).analysis,
            "1 seed file(s); would render 1024 x 768 samples at 256 iterations.");
  std::set<std::string> outputs;
  all[0]->getOutputFiles(outputs, "relative/out", {"/data/a.xyz"});
  EXPECT_EQ(outputs, std::set<std::string>{"a.ply"});
}

TEST(TileGrid, CountsTilesPerSplitAxisAndNamesOnlyThose) {
  const auto grid = MakeTileGrid({0, 0, 0}, {500, 260, 10}, {250, 250, 0});
  EXPECT_EQ(grid.counts, (std::array<std::int64_t, 3>{3, 2, 1}));  // 500 sits on a boundary
  bool outside = true;
  EXPECT_EQ(TileOf(grid, {260, 10, 0}, outside), (TileIndex{1, 0, 0}));
  EXPECT_FALSE(outside);
  EXPECT_EQ(TileOf(grid, {-5, 900, 0}, outside), (TileIndex{0, 1, 0}));
  EXPECT_TRUE(outside);
  const auto z = MakeTileGrid({0, 0, 0}, {600, 600, 50}, {0, 0, 10});
  EXPECT_EQ(TileFileName("area", z, {0, 0, 4}, "xyz"), "area_tile_4.xyz");
}

TEST(ClassFilter, ParsesListsAndRejectsNonsense) {
  EXPECT_FALSE(ParseClassFilter("  ").has_value());
  EXPECT_EQ(*ParseClassFilter(" 6 , 2 ,2,255"), (std::set<int>{2, 6, 255}));
  for (const char* bad : {"2;6", "256", "-1", "2,", "ground"})
    EXPECT_THROW(ParseClassFilter(bad), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace dravo::demo::testing
