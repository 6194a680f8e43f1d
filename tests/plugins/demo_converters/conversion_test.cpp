// Conversions as the host runs them: parameters, predicted and written files,
// the exact log or error, and the points read back from what was written.
#include "demo_test_support.h"

#include <demo_converters/core/byte_order.h>
#include <demo_converters/core/las_format.h>
#include <demo_converters/nutritions/demo_nutritions.h>
#include <demo_converters/nutritions/las_converter.h>
#include <demo_converters/nutritions/ply_to_xyz.h>
#include <demo_converters/nutritions/xyz_to_ply.h>

#include <sstream>

namespace dravo::demo::testing {
namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream stream(text);
  return {std::istream_iterator<std::string>(stream), {}};
}

void ExpectSamePoints(const std::string& expected, const std::string& actual, double tolerance) {
  const auto want = ReadPoints(expected), got = ReadPoints(actual);
  ASSERT_EQ(want.size(), got.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_NEAR(want[i].x, got[i].x, tolerance) << "point " << i;
    ASSERT_NEAR(want[i].y, got[i].y, tolerance) << "point " << i;
    ASSERT_NEAR(want[i].z, got[i].z, tolerance) << "point " << i;
    ASSERT_EQ(want[i].red + 256 * want[i].green + 65536 * want[i].blue,
              got[i].red + 256 * got[i].green + 65536 * got[i].blue)
        << "colour of point " << i;
  }
}

// Input files built for the table: odd parameters, skipped lines, scaled LAS.
void WriteInputs(const ScratchDir& in) {
  WriteBytes(in / "semi.txt", "title line\nanother\n1;2;3\n4;5;6\n");
  WriteBytes(in / "semi_expected.xyz", "12 26 42\n18 35 54\n");
  WriteBytes(in / "mixed.xyz", "  1   2 3  \noops\noops\noops\noops\noops\noops\n4 5 6\n");
  std::string bytes = ReadBytes(Sample("las_format0.las"));
  WriteLittle<double>(bytes.data() + 179, 1100.0);  // max x cuts the cloud short
  WriteBytes(in / "short_bounds.las", bytes);
  LasLayout layout;  // distinct scale and offset per axis
  layout.pointFormat = 1;
  layout.scale = {0.01, 0.02, 0.5};
  layout.offset = {500000, 4000000, -100};
  const std::vector<Point> points = {{500001.23, 4000010.04, -99.5}, {500100, 4000000, 400}};
  std::size_t next = 0;
  WriteLas(in / "scaled.las", layout,
           [&](Point& p) { return next < points.size() && (p = points[next++], true); });
  WriteBytes(in / "scaled_expected.xyz", "500001.23 4000010.04 -99.5\n500100 4000000 400\n");
  const auto header = ReadLasHeader(in / "scaled.las");
  EXPECT_EQ(header.scale, layout.scale);
  EXPECT_EQ(header.offset, layout.offset);
  EXPECT_EQ(header.min, (std::array<double, 3>{500001.23, 4000000, -99.5}));
  EXPECT_EQ(header.max, (std::array<double, 3>{500100, 4000010.04, 400}));
}

TEST(Conversion, WritesWhatItPredictsAndLogsIt) {
  ScratchDir in;
  WriteInputs(in);
  const std::string ply = "ply\nformat binary_little_endian 1.0\n",
                    ascii = "ply\nformat ascii 1.0\n";
  const std::string las =
      "message: \"{in}\": wrote 3000 of 3000 points into 1 file(s); 0 left "
      "out by the class filter.\n";
  std::string skipped;
  for (int line = 2; line <= 6; ++line)
    skipped += "notice: \"{in}\": skipped line " + std::to_string(line) +
               ", no three numbers in \"oops\".\n";
  const struct {
    int nutrition;  // 0 XYZ to PLY, 1 PLY to XYZ, 2 LAS to PLY/XYZ, 3 Mandelbrot Demo
    std::string settings, input;
    std::string outcome;  // the error, or the log after the opening; {in} is the input, {out} the
                          // output folder
    std::string written, unwritten;  // predicted file names, by blanks
    std::string reference = "";      // the first written file holds its points,
    std::size_t points = 0;          // or, without one, this many
    double tolerance = 0;
    std::string head = "";  // the first written file's first bytes
  } cases[] = {
      {0, "SkipLines=1", Sample("cloud.csv"),
       "message: Wrote 3000 points with colour to \"{out}/cloud.ply\".\n", "cloud.ply", "",
       Sample("cloud.csv"), 0, 1e-9, ply},
      {0, "SkipLines=1|Binary=false", Sample("cloud.csv"),
       "message: Wrote 3000 points with colour to \"{out}/cloud.ply\".\n", "cloud.ply", "",
       Sample("cloud.csv"), 0, 1e-9, ascii},
      {0, "Delimiter=semicolon|SkipLines=2|Scale=2;3;4|Offset=10;20;30|Binary=false",
       in / "semi.txt", "message: Wrote 2 points to \"{out}/semi.ply\".\n", "semi.ply", "",
       in / "semi_expected.xyz", 0, 0, ascii},
      {0, "", in / "mixed.xyz",
       skipped + "notice: \"{in}\": skipped 6 unreadable lines in all.\n"
                 "message: Wrote 2 points to \"{out}/mixed.ply\".\n",
       "mixed.ply", "", "", 2, 0, ply},
      {0, "Delimiter=tab", Sample("cloud.xyz"),
       "\"{in}\": no point lines found (3000 unreadable); is the delimiter right?", "",
       "cloud.ply"},
      {1, "", Sample("cloud_ascii.ply"),
       "message: Wrote 3000 points (ascii PLY) to \"{out}/cloud_ascii.xyz\".\n", "cloud_ascii.xyz",
       "", Sample("cloud.csv"), 0, 1e-9, ""},
      {1, "", Sample("cloud_binary.ply"),
       "message: Wrote 3000 points (binary little-endian PLY) to \"{out}/cloud_binary.xyz\".\n",
       "cloud_binary.xyz", "", Sample("cloud.csv"), 0, 5e-4, ""},  // float32 near 2500
      {1, "Colour=false", Sample("cloud_binary.ply"),
       "message: Wrote 3000 points (binary little-endian PLY) to \"{out}/cloud_binary.xyz\".\n",
       "cloud_binary.xyz", "", Sample("cloud.xyz"), 0, 5e-4, ""},
      {1, "", Sample("cloud_big_endian.ply"),
       "message: Wrote 3000 points (binary big-endian PLY) to \"{out}/cloud_big_endian.xyz\".\n",
       "cloud_big_endian.xyz", "", Sample("cloud.xyz"), 0, 1e-9, ""},
      {2, "OutputFormat=xyz", Sample("las_format0.las"), las, "las_format0.xyz", "",
       Sample("cloud.xyz"), 0, 1e-6, ""},
      {2, "OutputFormat=xyz", Sample("las_format1.las"), las, "las_format1.xyz", "",
       Sample("cloud.xyz"), 0, 1e-6, ""},
      {2, "Binary=false", Sample("las_format2.las"), las, "las_format2.ply", "",
       Sample("cloud.csv"), 0, 1e-6, ascii},
      {2, "", Sample("las_format3.las"), las, "las_format3.ply", "", Sample("cloud.csv"), 0, 1e-6,
       ply},
      {2, "OutputFormat=xyz", Sample("las_format6.las"), las, "las_format6.xyz", "",
       Sample("cloud.xyz"), 0, 1e-6, ""},
      {2, "OutputFormat=xyz", Sample("las_format7.las"), las, "las_format7.xyz", "",
       Sample("cloud.csv"), 0, 1e-6, ""},
      {2, "OutputFormat=xyz", in / "scaled.las",
       "message: \"{in}\": wrote 2 of 2 points into 1 file(s); 0 left out by the class filter.\n",
       "scaled.xyz", "", in / "scaled_expected.xyz", 0, 1e-6, ""},
      {2, "TileLength=250;250;0", Sample("tiles_with_gap.las"),
       "notice: \"{in}\": 2 tiles hold no points and were not written.\nmessage: \"{in}\": wrote "
       "3000 of 3000 points into 2 file(s); 0 left out by the class filter.\n",
       "tiles_with_gap_tile_0_0.ply tiles_with_gap_tile_1_1.ply",
       "tiles_with_gap_tile_0_1.ply tiles_with_gap_tile_1_0.ply", "", 1500, 0, ply},
      {2, "TileLength=50;0;0", in / "short_bounds.las",
       "notice: \"{in}\": 2383 points lie outside the header's bounds; they went into the nearest "
       "edge tile.\nmessage: \"{in}\": wrote 3000 of 3000 points into 2 file(s); 0 left out by "
       "the class filter.\n",
       "short_bounds_tile_0.ply short_bounds_tile_1.ply", "", "", 301, 0, ply},  // below x 1050
      {2, "ClassFilter=2,6|OutputFormat=xyz", Sample("las_format6.las"),
       "message: \"{in}\": wrote 1000 of 3000 points into 1 file(s); 2000 left out by the class "
       "filter.\n",
       "las_format6.xyz", "", "", 1000, 0, ""},
      {2, "ClassFilter=17", Sample("las_format0.las"),
       "notice: \"{in}\": 1 tiles hold no points and were not written.\nmessage: \"{in}\": wrote 0 "
       "of 3000 points into 0 file(s); 3000 left out by the class "
       "filter.\n",
       "", "las_format0.ply"},
      {2, "ClassFilter=two", Sample("las_format0.las"),
       "ClassFilter \"two\": give class numbers 0 to 255 separated by commas.", "",
       "las_format0.ply"},
      {2, "TileLength=0.001;0.001;0", Sample("las_format0.las"),
       "TileLength gives more than 256 tiles; choose longer tiles.", "", "las_format0.ply"},
      {2, "TileLength=-1;0;0", Sample("las_format0.las"),
       "TileLength must hold three numbers of 0 or more.", "", "las_format0.ply"},
      {3, "Iterations=1000|Center=-0.7;0.3;0", "/seeds/view.mandel",
       "<b>Mandelbrot Demo</b>: No CPU implementation; this nutrition renders on the GPU only.", "",
       "view_mandelbrot.ply"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input + " " + c.settings);
    ScratchDir out;
    const auto all = MakeDemoNutritions();
    Set(*all[c.nutrition], c.settings);
    const auto written = Words(c.written);
    // An older output is replaced once the new one is complete.
    if (!written.empty()) WriteBytes(out / written[0], "old");
    const auto result = Convert(*all[c.nutrition], {c.input}, out.str());
    const std::string opening = "open: " + c.input + "\n";
    EXPECT_EQ(result.error.empty() ? Replace(result.log, opening, "") : result.error,
              Replace(Replace(c.outcome, "{in}", c.input), "{out}", out.str()));
    EXPECT_TRUE(!result.error.empty() || result.log.starts_with(opening)) << result.log;
    EXPECT_EQ(out.names(), written);
    std::set<std::string> predicted;
    for (const auto& name : Words(c.written + " " + c.unwritten)) predicted.insert(out / name);
    EXPECT_EQ(result.predicted, predicted);
    if (written.empty()) continue;
    EXPECT_EQ(ReadBytes(out / written[0]).substr(0, c.head.size()), c.head);
    if (c.reference.empty())
      EXPECT_EQ(ReadPoints(out / written[0]).size(), c.points);
    else
      ExpectSamePoints(c.reference, out / written[0], c.tolerance);
  }
}

TEST(Conversion, RefusesToOverwriteAnInputOrWriteTwoInputsToOneFile) {
  ScratchDir dir;
  const std::string xyzFile = dir / "loop.xyz", csvFile = dir / "loop.csv";
  WriteBytes(xyzFile, "keep me");
  WriteBytes(csvFile, "1,2,3\n");
  fs::copy_file(Sample("cloud_ascii.ply"), dir / "loop.ply");
  PlyToXyzNutrition ply;
  EXPECT_EQ(Convert(ply, {xyzFile, dir / "loop.ply"}, dir.str()).error,
            "\"" + xyzFile + "\": this output would overwrite the input file \"" + xyzFile +
                "\"; choose another output directory.");
  XyzToPlyNutrition xyz;
  EXPECT_EQ(Convert(xyz, {xyzFile, csvFile}, dir.str()).error,
            "\"" + xyzFile + "\" and \"" + csvFile + "\" would both be written to \"" +
                dir / "loop.ply" + "\"; convert them separately.");
  EXPECT_EQ(ReadBytes(xyzFile), "keep me");
  LasConverterNutrition las;  // a host may pass no progress sink
  std::set<std::string> outputs;
  EXPECT_EQ(las.convert(outputs, dir.str(), {}, {Sample("las_format0.las")}, {}), "");
  EXPECT_EQ(dir.names(),
            (std::vector<std::string>{"las_format0.ply", "loop.csv", "loop.ply", "loop.xyz"}));
}

}  // namespace
}  // namespace dravo::demo::testing
