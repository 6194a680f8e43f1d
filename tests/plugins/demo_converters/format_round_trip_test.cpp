// Round trips through the converters keep the coordinates.
#include "demo_test_support.h"

#include <demo_converters/core/las_format.h>
#include <demo_converters/core/ply_reader.h>
#include <demo_converters/nutritions/las_converter.h>
#include <demo_converters/nutritions/ply_to_xyz.h>
#include <demo_converters/nutritions/xyz_to_ply.h>

#include <cmath>

namespace dravo::demo::testing {
namespace {

void ExpectSameCoordinates(const std::vector<Point>& expected, const std::vector<Point>& actual,
                           double tolerance) {
  ASSERT_EQ(expected.size(), actual.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_NEAR(expected[i].x, actual[i].x, tolerance) << "point " << i;
    ASSERT_NEAR(expected[i].y, actual[i].y, tolerance) << "point " << i;
    ASSERT_NEAR(expected[i].z, actual[i].z, tolerance) << "point " << i;
  }
}

// The float32 step near 2500 is about 2.4e-4.
constexpr double kFloatTolerance = 5e-4;

class RoundTrip : public ::testing::TestWithParam<bool> {};

TEST_P(RoundTrip, XyzToPlyToXyzKeepsCoordinatesAndColour) {
  ScratchDir plyDir, xyzDir;
  XyzToPlyNutrition toPly;
  Set(toPly, "Binary", GetParam() ? "true" : "false");
  Set(toPly, "SkipLines", "1");
  const auto first = Convert(toPly, {Sample("cloud.csv").string()}, plyDir.path());
  ASSERT_EQ(first.error, "");
  ASSERT_EQ(plyDir.names(), std::vector<std::string>{"cloud.ply"});

  PlyToXyzNutrition toXyz;
  const auto second = Convert(toXyz, {(plyDir.path() / "cloud.ply").string()}, xyzDir.path());
  ASSERT_EQ(second.error, "");

  const auto original = ReadXyzFile(Sample("cloud.csv"));
  const auto back = ReadXyzFile(xyzDir.path() / "cloud.xyz");
  ExpectSameCoordinates(original, back, 1e-9);  // doubles are written exactly
  ASSERT_EQ(back.size(), 3000u);
  EXPECT_EQ(back[5].red, original[5].red);
  EXPECT_EQ(back[5].green, original[5].green);
  EXPECT_EQ(back[5].blue, original[5].blue);
  EXPECT_NE(back[5].green, 0);
}

INSTANTIATE_TEST_SUITE_P(BinaryAndAscii, RoundTrip, ::testing::Bool());

TEST(PlyReading, EveryEncodingOfTheSampleGivesTheSameCloud) {
  const auto expected = ReadXyzFile(Sample("cloud.xyz"));
  for (const char* name : {"cloud_ascii.ply", "cloud_binary.ply", "cloud_big_endian.ply"}) {
    SCOPED_TRACE(name);
    std::vector<Point> points;
    const auto header = ReadPlyPoints(Sample(name), [&](const Point& p) { points.push_back(p); });
    ExpectSameCoordinates(expected, points, kFloatTolerance);
    EXPECT_EQ(header.elements.size(), std::string(name) == "cloud_ascii.ply" ? 3u : 2u);
  }
}

TEST(PlyReading, ColourOfBinarySampleIsCarried) {
  std::vector<Point> points;
  const auto header =
      ReadPlyPoints(Sample("cloud_binary.ply"), [&](const Point& p) { points.push_back(p); });
  ASSERT_TRUE(header.hasColour());
  ASSERT_GT(points.size(), 20u);
  EXPECT_EQ(points[20].red, 20);
  EXPECT_EQ(points[20].green, 140);
  EXPECT_EQ(points[20].blue, 4);  // 260 mod 256
}

class LasFormats : public ::testing::TestWithParam<std::string> {};

TEST_P(LasFormats, LasToXyzMatchesTheTextSample) {
  ScratchDir out;
  LasConverterNutrition las;
  Set(las, "OutputFormat", "xyz");
  const auto result = Convert(las, {Sample(GetParam()).string()}, out.path());
  ASSERT_EQ(result.error, "");
  const std::string stem = fs::path(GetParam()).stem().string();
  ExpectSameCoordinates(ReadXyzFile(Sample("cloud.xyz")), ReadXyzFile(out.path() / (stem + ".xyz")),
                        1e-6);
}

INSTANTIATE_TEST_SUITE_P(Samples, LasFormats,
                         ::testing::Values("las_format0.las", "las_format1.las", "las_format2.las",
                                           "las_format3.las", "las_format6.las",
                                           "las_format7.las"));

TEST(LasReading, ScaleAndOffsetOfTheHeaderAreApplied) {
  ScratchDir dir;
  LasLayout layout;
  layout.pointFormat = 1;
  layout.scale = {0.01, 0.02, 0.5};
  layout.offset = {500000, 4000000, -100};
  const std::vector<Point> written = {{500001.23, 4000010.04, -99.5}, {500100, 4000000, 400}};
  std::size_t next = 0;
  WriteLas(dir.path() / "scaled.las", layout, [&](Point& p) {
    if (next == written.size()) return false;
    p = written[next++];
    return true;
  });
  const auto header = ReadLasHeader(dir.path() / "scaled.las");
  EXPECT_EQ(header.scale, layout.scale);
  EXPECT_EQ(header.offset, layout.offset);
  EXPECT_DOUBLE_EQ(header.min[0], 500001.23);
  EXPECT_DOUBLE_EQ(header.max[2], 400);

  ScratchDir out;
  LasConverterNutrition las;
  Set(las, "OutputFormat", "xyz");
  ASSERT_EQ(Convert(las, {(dir.path() / "scaled.las").string()}, out.path()).error, "");
  ExpectSameCoordinates(written, ReadXyzFile(out.path() / "scaled.xyz"), 1e-6);
}

TEST(LasReading, ColourAndClassesComeThroughToPly) {
  ScratchDir out;
  LasConverterNutrition las;
  ASSERT_EQ(Convert(las, {Sample("las_format3.las").string()}, out.path()).error, "");
  std::vector<Point> points;
  const auto header =
      ReadPlyPoints(out.path() / "las_format3.ply", [&](const Point& p) { points.push_back(p); });
  EXPECT_EQ(header.format, PlyFormat::BinaryLittleEndian);
  ASSERT_TRUE(header.hasColour());
  ASSERT_EQ(points.size(), 3000u);
  EXPECT_EQ(points[300].red, 300 % 256);
  EXPECT_EQ(points[300].blue, (300 * 13) % 256);
}

}  // namespace
}  // namespace dravo::demo::testing
