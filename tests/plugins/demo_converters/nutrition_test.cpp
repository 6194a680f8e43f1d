// The nutritions as the host sees them: slots, sniffing, predictions,
// analysis, parameters and the safety rules of a conversion.
#include "demo_test_support.h"

#include <demo_converters/core/ply_reader.h>
#include <demo_converters/nutritions/demo_nutritions.h>
#include <demo_converters/nutritions/las_converter.h>
#include <demo_converters/nutritions/mandelbrot_demo.h>
#include <demo_converters/nutritions/ply_to_xyz.h>
#include <demo_converters/nutritions/xyz_to_ply.h>

namespace dravo::demo::testing {
namespace {

std::vector<std::string> SlotNames(const Qarn::VNutrition& nutrition) {
  std::vector<std::string> names;
  nutrition.iterate_inputs([&](const Brasko::StrongPtr<Qarn::VSlot>& slot, int) {
    names.push_back(slot->name + "=" + slot->parameter->getValueAsText({}, "", false));
    return true;
  });
  return names;
}

std::vector<std::string> Extensions(const Qarn::VNutrition& nutrition) {
  std::vector<std::string> extensions;
  nutrition.getExtensions([&](const std::string& e) { extensions.push_back(e); });
  return extensions;
}

TEST(DemoNutritions, NamesExtensionsAndParameters) {
  const auto all = MakeDemoNutritions();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0]->name.str(), "XYZ to PLY");
  EXPECT_EQ(Extensions(*all[0]), (std::vector<std::string>{"xyz", "txt", "csv"}));
  EXPECT_EQ(SlotNames(*all[0]),
            (std::vector<std::string>{"Delimiter=auto", "SkipLines=0", "Scale=1;1;1",
                                      "Offset=0;0;0", "Binary=true"}));
  EXPECT_EQ(Extensions(*all[1]), std::vector<std::string>{"ply"});
  EXPECT_EQ(SlotNames(*all[1]), std::vector<std::string>{"Colour=true"});
  EXPECT_EQ(Extensions(*all[2]), std::vector<std::string>{"las"});
  EXPECT_EQ(SlotNames(*all[2]), (std::vector<std::string>{"OutputFormat=ply", "Binary=true",
                                                          "TileLength=0;0;0", "ClassFilter="}));
  EXPECT_EQ(all[3]->name.str(), "Mandelbrot Demo");
  EXPECT_EQ(SlotNames(*all[3]).front(), "Iterations=256");
  for (const auto& nutrition : all) {
    EXPECT_FALSE(nutrition->description.empty());
    EXPECT_FALSE(nutrition->outputExtensions.empty());
  }
}

TEST(Digestible, ExtensionAndContentMustBothFit) {
  ScratchDir dir;
  WriteBytes(dir.path() / "fake.las", "LASX not really");
  WriteBytes(dir.path() / "points.LAS", ReadBytes(Sample("las_format0.las")));
  WriteBytes(dir.path() / "ply_as.xyz", ReadBytes(Sample("cloud_binary.ply")));
  WriteBytes(dir.path() / "text.ply", "1 2 3\n");
  const XyzToPlyNutrition xyz;
  const PlyToXyzNutrition ply;
  const LasConverterNutrition las;
  struct Case {
    const Qarn::VNutrition& nutrition;
    fs::path path;
    bool expected;
  };
  const Case cases[] = {
      {xyz, Sample("cloud.xyz"), true},
      {xyz, Sample("cloud.csv"), true},
      {xyz, dir.path() / "ply_as.xyz", false},
      {xyz, Sample("cloud_ascii.ply"), false},
      {xyz, dir.path() / "missing.xyz", false},
      {ply, Sample("cloud_ascii.ply"), true},
      {ply, Sample("cloud_big_endian.ply"), true},
      {ply, dir.path() / "text.ply", false},
      {las, Sample("las_format6.las"), true},
      {las, dir.path() / "points.LAS", true},
      {las, dir.path() / "fake.las", false},
      {las, Sample("cloud.xyz"), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.nutrition.isDigestible(c.path.string()), c.expected) << c.path;
}

TEST(QuickInfo, CountsFilesAndSizesWithMarkup) {
  const LasConverterNutrition las;
  const std::string info = las.getQuickInfo({Sample("las_format0.las").string(), "/nowhere/x.las"});
  EXPECT_EQ(info.rfind("<b>2 files</b>, 60227 bytes in all", 0), 0u) << info;
  // Lines follow the inputs' full paths, so either file may come last.
  EXPECT_NE(info.find("<br/>\nx.las: <i>not found</i>"), std::string::npos) << info;
  EXPECT_NE(info.find("<br/>\nlas_format0.las: 60227 bytes"), std::string::npos) << info;
  EXPECT_EQ(info.find("<br/>\n<br/>\n"), std::string::npos) << info;
}

TEST(Analyse, ReportsCountsBoundsAttributesAndVersion) {
  const LasConverterNutrition las;
  const auto texts =
      las.analyse({Sample("las_format3.las").string(), Sample("cloud.xyz").string()});
  EXPECT_NE(texts.analysis.find("LAS 1.2, point format 3, 3000 points"), std::string::npos)
      << texts.analysis;
  EXPECT_NE(texts.analysis.find("gps time, rgb"), std::string::npos);
  EXPECT_NE(texts.analysis.find("classes 1,2,3,4,5,6"), std::string::npos);
  EXPECT_NE(texts.analysis.find("not a LAS file"), std::string::npos);
  EXPECT_NE(texts.log.find("34-byte records"), std::string::npos) << texts.log;

  const PlyToXyzNutrition ply;
  const auto plyTexts = ply.analyse({Sample("cloud_big_endian.ply").string()});
  EXPECT_NE(plyTexts.analysis.find("binary big-endian, 3000 points, attributes: none"),
            std::string::npos)
      << plyTexts.analysis;
  const XyzToPlyNutrition xyz;
  const auto xyzTexts = xyz.analyse({Sample("cloud.csv").string()});
  EXPECT_NE(xyzTexts.analysis.find("3000 points, delimiter comma, attributes: rgb"),
            std::string::npos)
      << xyzTexts.analysis;
}

TEST(OutputFiles, NamesLieInTheOutputDirectoryAndNothingIsWritten) {
  ScratchDir out;
  XyzToPlyNutrition xyz;
  std::set<std::string> outputs;
  xyz.getOutputFiles(outputs, out.str(), {"/data/a.xyz", "/data/b.csv"});
  EXPECT_EQ(outputs, (std::set<std::string>{out.str() + "/a.ply", out.str() + "/b.ply"}));
  outputs.clear();
  xyz.getOutputFiles(outputs, "relative/out", {"/data/a.xyz"});
  EXPECT_EQ(outputs, std::set<std::string>{"a.ply"});
  EXPECT_TRUE(out.names().empty());
}

TEST(XyzParameters, DelimiterSkipLinesScaleAndOffset) {
  ScratchDir in, out;
  WriteBytes(in.path() / "semi.txt", "title line\nanother\n1;2;3\n4;5;6\n");
  XyzToPlyNutrition xyz;
  Set(xyz, "Delimiter", "semicolon");
  Set(xyz, "SkipLines", "2");
  Set(xyz, "Scale", "2;3;4");
  Set(xyz, "Offset", "10;20;30");
  Set(xyz, "Binary", "false");
  const auto result = Convert(xyz, {(in.path() / "semi.txt").string()}, out.path());
  ASSERT_EQ(result.error, "");
  for (const auto& line : result.log) EXPECT_FALSE(line.starts_with("notice")) << line;
  std::vector<Point> points;
  const auto header =
      ReadPlyPoints(out.path() / "semi.ply", [&](const Point& p) { points.push_back(p); });
  EXPECT_EQ(header.format, PlyFormat::Ascii);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[1].x, 18);
  EXPECT_EQ(points[1].y, 35);
  EXPECT_EQ(points[1].z, 54);
}

TEST(XyzParameters, WrongDelimiterFindsNoPoints) {
  XyzToPlyNutrition xyz;
  Set(xyz, "Delimiter", "tab");
  ScratchDir out;
  EXPECT_NE(Convert(xyz, {Sample("cloud.xyz").string()}, out.path()).error.find("no point lines"),
            std::string::npos);
}

TEST(XyzParameters, TabAndSpaceDelimiters) {
  ScratchDir in;
  WriteBytes(in.path() / "tab.txt", "1\t2\t3\n");
  WriteBytes(in.path() / "space.txt", "  1   2 3  \n");
  EXPECT_EQ(ReadXyzFile(in.path() / "tab.txt", {Delimiter::Tab}).size(), 1u);
  EXPECT_EQ(ReadXyzFile(in.path() / "space.txt", {Delimiter::Space}).size(), 1u);
  EXPECT_THROW(ReadXyzFile(in.path() / "space.txt", {Delimiter::Comma}), std::runtime_error);
}

TEST(PlyParameters, ColourOffDropsTheColumns) {
  ScratchDir out;
  PlyToXyzNutrition ply;
  Set(ply, "Colour", "false");
  ASSERT_EQ(Convert(ply, {Sample("cloud_binary.ply").string()}, out.path()).error, "");
  std::string line = ReadBytes(out.path() / "cloud_binary.xyz");
  line = line.substr(0, line.find('\n'));
  EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 2) << line;
}

TEST(LasParameters, AsciiPlyWhenBinaryIsOff) {
  ScratchDir out;
  LasConverterNutrition las;
  Set(las, "Binary", "false");
  ASSERT_EQ(Convert(las, {Sample("las_format2.las").string()}, out.path()).error, "");
  EXPECT_EQ(ReadBytes(out.path() / "las_format2.ply").rfind("ply\nformat ascii 1.0\n", 0), 0u);
}

TEST(Mandelbrot, PreviewsButHasNoCpuConversion) {
  ScratchDir out;
  MandelbrotDemoNutrition mandelbrot;
  Set(mandelbrot, "Iterations", "1000");
  Set(mandelbrot, "Center", "-0.7;0.3;0");
  const auto result = Convert(mandelbrot, {"/seeds/view.mandel"}, out.path());
  EXPECT_EQ(result.predicted, std::set<std::string>{out.str() + "/view_mandelbrot.ply"});
  EXPECT_NE(result.error.find("No CPU implementation"), std::string::npos);
  EXPECT_NE(mandelbrot.analyse({"/seeds/view.mandel"}).analysis.find("1000 iterations"),
            std::string::npos);
  EXPECT_TRUE(out.names().empty());
}

TEST(Safety, NeverOverwritesAnInput) {
  ScratchDir dir;
  WriteBytes(dir.path() / "loop.xyz", "keep me");
  fs::copy_file(Sample("cloud_ascii.ply"), dir.path() / "loop.ply");
  PlyToXyzNutrition ply;
  const auto result = Convert(
      ply, {(dir.path() / "loop.xyz").string(), (dir.path() / "loop.ply").string()}, dir.path());
  EXPECT_NE(result.error.find("would overwrite the input file"), std::string::npos) << result.error;
  EXPECT_EQ(ReadBytes(dir.path() / "loop.xyz"), "keep me");
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"loop.ply", "loop.xyz"}));
}

TEST(Safety, TwoInputsWithOneOutputNameAreRefused) {
  ScratchDir in, out;
  WriteBytes(in.path() / "same.xyz", "1 2 3\n");
  WriteBytes(in.path() / "same.csv", "1,2,3\n");
  XyzToPlyNutrition xyz;
  const auto result = Convert(
      xyz, {(in.path() / "same.xyz").string(), (in.path() / "same.csv").string()}, out.path());
  EXPECT_NE(result.error.find("would both be written"), std::string::npos) << result.error;
  EXPECT_TRUE(out.names().empty());
}

TEST(Safety, ReplacesAnOlderOutputOnlyWhenComplete) {
  ScratchDir out;
  WriteBytes(out.path() / "cloud_ascii.xyz", "old");
  PlyToXyzNutrition ply;
  const auto result = Convert(ply, {Sample("cloud_ascii.ply").string()}, out.path());
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(ReadXyzFile(out.path() / "cloud_ascii.xyz").size(), 3000u);
  EXPECT_EQ(out.names(), std::vector<std::string>{"cloud_ascii.xyz"});  // no temporary left
}

TEST(Progress, OpeningAndCountsAreReported) {
  ScratchDir out;
  PlyToXyzNutrition ply;
  const auto result = Convert(ply, {Sample("cloud_big_endian.ply").string()}, out.path());
  ASSERT_EQ(result.error, "");
  ASSERT_EQ(result.log.size(), 2u);
  EXPECT_EQ(result.log[0], "open: " + Sample("cloud_big_endian.ply").string());
  EXPECT_NE(result.log[1].find("Wrote 3000 points (binary big-endian PLY)"), std::string::npos);
}

TEST(Progress, AnEmptySinkIsTolerated) {
  ScratchDir out;
  LasConverterNutrition las;
  std::set<std::string> outputs;
  EXPECT_EQ(las.convert(outputs, out.str(), {}, {Sample("las_format0.las").string()}, {}), "");
  EXPECT_EQ(out.names(), std::vector<std::string>{"las_format0.ply"});
}

}  // namespace
}  // namespace dravo::demo::testing
