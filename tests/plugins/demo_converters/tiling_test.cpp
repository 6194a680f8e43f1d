// Tiles: the grid, the predicted names, empty tiles and the class filter.
#include "demo_test_support.h"

#include <demo_converters/core/byte_order.h>
#include <demo_converters/core/las_format.h>
#include <demo_converters/core/ply_reader.h>
#include <demo_converters/core/tiling.h>
#include <demo_converters/nutritions/las_converter.h>

namespace dravo::demo::testing {
namespace {

TEST(TileGrid, CountsTilesPerSplitAxis) {
  const auto grid = MakeTileGrid({0, 0, 0}, {500, 260, 10}, {250, 250, 0});
  EXPECT_EQ(grid.counts, (std::array<std::int64_t, 3>{3, 2, 1}));  // 500 sits on a boundary
  EXPECT_EQ(grid.tileCount(), 6u);
  EXPECT_FALSE(MakeTileGrid({0, 0, 0}, {1, 1, 1}, {0, 0, 0}).tiled());
}

TEST(TileGrid, RejectsNegativeLengthsAndTooManyTiles) {
  EXPECT_THROW(MakeTileGrid({0, 0, 0}, {1, 1, 1}, {-1, 0, 0}), std::invalid_argument);
  EXPECT_THROW(MakeTileGrid({0, 0, 0}, {1e6, 1e6, 0}, {1, 1, 0}), std::invalid_argument);
}

TEST(TileGrid, PointsBeyondTheBoundsAreClampedAndFlagged) {
  const auto grid = MakeTileGrid({0, 0, 0}, {499, 499, 0}, {250, 250, 0});
  bool outside = true;
  EXPECT_EQ(TileOf(grid, {260, 10, 0}, outside), (TileIndex{1, 0, 0}));
  EXPECT_FALSE(outside);
  EXPECT_EQ(TileOf(grid, {-5, 900, 0}, outside), (TileIndex{0, 1, 0}));
  EXPECT_TRUE(outside);
}

TEST(TileGrid, FileNamesCarryOnlyTheSplitAxes) {
  const auto xy = MakeTileGrid({0, 0, 0}, {600, 600, 50}, {250, 250, 0});
  EXPECT_EQ(TileFileName("area", xy, {2, 1, 0}, "ply"), "area_tile_2_1.ply");
  const auto z = MakeTileGrid({0, 0, 0}, {600, 600, 50}, {0, 0, 10});
  EXPECT_EQ(TileFileName("area", z, {0, 0, 4}, "xyz"), "area_tile_4.xyz");
  const auto none = MakeTileGrid({0, 0, 0}, {600, 600, 50}, {0, 0, 0});
  EXPECT_EQ(TileFileName("area", none, {0, 0, 0}, "ply"), "area.ply");
}

TEST(ClassFilter, ParsesListsAndRejectsNonsense) {
  EXPECT_FALSE(ParseClassFilter("").has_value());
  EXPECT_FALSE(ParseClassFilter("  ").has_value());
  EXPECT_EQ(*ParseClassFilter("2,6"), (std::set<int>{2, 6}));
  EXPECT_EQ(*ParseClassFilter(" 6 , 2 ,2"), (std::set<int>{2, 6}));
  for (const char* bad : {"2;6", "256", "-1", "2,", "ground"})
    EXPECT_THROW(ParseClassFilter(bad), std::invalid_argument) << bad;
}

TEST(LasTiling, PredictsEveryTileAndWritesOnlyTheFilledOnes) {
  ScratchDir out;
  LasConverterNutrition las;
  Set(las, "TileLength", "250;250;0");
  const auto result = Convert(las, {Sample("tiles_with_gap.las").string()}, out.path());
  ASSERT_EQ(result.error, "");
  const std::string dir = out.str() + "/";
  EXPECT_EQ(result.predicted,
            (std::set<std::string>{
                dir + "tiles_with_gap_tile_0_0.ply", dir + "tiles_with_gap_tile_0_1.ply",
                dir + "tiles_with_gap_tile_1_0.ply", dir + "tiles_with_gap_tile_1_1.ply"}));
  EXPECT_EQ(out.names(), (std::vector<std::string>{"tiles_with_gap_tile_0_0.ply",
                                                   "tiles_with_gap_tile_1_1.ply"}));
  EXPECT_NE(result.log.back().find("wrote 3000 of 3000 points into 2 file(s)"), std::string::npos);
  bool emptyNotice = false;
  for (const auto& line : result.log)
    emptyNotice = emptyNotice || line.find("2 tiles hold no points") != std::string::npos;
  EXPECT_TRUE(emptyNotice);

  // Every point of a tile lies inside its square.
  ReadPlyPoints(out.path() / "tiles_with_gap_tile_1_1.ply", [](const Point& p) {
    ASSERT_GE(p.x, 1250);
    ASSERT_GE(p.y, 2250);
  });
}

TEST(LasTiling, PointsBeyondTheHeaderBoundsLandInTheEdgeTileWithANotice) {
  ScratchDir in, out;
  std::string bytes = ReadBytes(Sample("las_format0.las"));
  WriteLittle<double>(bytes.data() + 179, 1100.0);  // max x cuts the cloud short
  WriteBytes(in.path() / "short_bounds.las", bytes);
  LasConverterNutrition las;
  Set(las, "TileLength", "50;0;0");
  const auto result = Convert(las, {(in.path() / "short_bounds.las").string()}, out.path());
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.predicted.size(), 2u);  // just over 1000 to 1100 in tiles of 50
  EXPECT_EQ(out.names().size(), 2u);
  std::uint64_t edge = 0;
  ReadPlyPoints(out.path() / "short_bounds_tile_1.ply", [&](const Point&) { ++edge; });
  EXPECT_GT(edge, 2000u);  // everything beyond 1100 joins the last tile
  bool notice = false;
  for (const auto& line : result.log)
    notice = notice || line.find("lie outside the header's bounds") != std::string::npos;
  EXPECT_TRUE(notice) << result.log.back();
}

TEST(LasTiling, ClassFilterKeepsOnlyTheNamedClasses) {
  ScratchDir out;
  LasConverterNutrition las;
  Set(las, "ClassFilter", "2,6");
  Set(las, "OutputFormat", "xyz");
  const auto result = Convert(las, {Sample("las_format6.las").string()}, out.path());
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(ReadXyzFile(out.path() / "las_format6.xyz").size(), 1000u);  // classes cycle 1..6
  EXPECT_NE(result.log.back().find("2000 left out by the class filter"), std::string::npos);
}

TEST(LasTiling, FilterThatMatchesNothingWritesNothing) {
  ScratchDir out;
  LasConverterNutrition las;
  Set(las, "ClassFilter", "17");
  const auto result = Convert(las, {Sample("las_format0.las").string()}, out.path());
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.predicted.size(), 1u);
  EXPECT_TRUE(out.names().empty());
}

TEST(LasTiling, BadParametersFailBeforeWriting) {
  ScratchDir out;
  LasConverterNutrition las;
  Set(las, "ClassFilter", "two");
  EXPECT_NE(Convert(las, {Sample("las_format0.las").string()}, out.path())
                .error.find("ClassFilter \"two\""),
            std::string::npos);
  Set(las, "ClassFilter", "");
  Set(las, "TileLength", "0.001;0.001;0");
  EXPECT_NE(Convert(las, {Sample("las_format0.las").string()}, out.path())
                .error.find("more than 256 tiles"),
            std::string::npos);
  EXPECT_TRUE(out.names().empty());
}

}  // namespace
}  // namespace dravo::demo::testing
