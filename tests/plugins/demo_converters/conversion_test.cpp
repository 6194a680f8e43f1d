// The demo nutritions as the host lists, probes and runs them: declarations,
// sniffing, quick info and analysis; conversions with their parameters,
// predicted and written files, the exact log or error, and the points read
// back from what was written.
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <demo_converters/core/byte_order.h>
#include <demo_converters/core/las_format.h>
#include <demo_converters/core/paths.h>
#include <demo_converters/core/ply_reader.h>
#include <demo_converters/core/text_fields.h>
#include <demo_converters/core/tiling.h>
#include <demo_converters/core/xyz_reader.h>
#include <demo_converters/nutritions/demo_nutritions.h>
#include <demo_converters/nutritions/las_converter.h>
#include <demo_converters/nutritions/ply_to_xyz.h>
#include <demo_converters/nutritions/xyz_to_ply.h>

#include <brasko/loader_progress.h>
#include <qarn/parameter.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace dravo::demo::testing {
namespace {

namespace fs = std::filesystem;

std::string Sample(const std::string& name) {
  return (fs::path(DRAVO_SAMPLES_DIR) / name).string();
}

using dravo::testing::ScratchDir;

std::vector<std::string> SortedNames(const ScratchDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct RecordingProgress : Brasko::LoaderProgress {
  // Answers false from the report after the first allowed ones, as for a cancelled call.
  explicit RecordingProgress(int allowed = 1 << 30) : allowed(allowed) {}
  bool progress(const std::string&, std::int64_t, std::int64_t) override {
    return reports++ < allowed;
  }
  bool openingFile(const std::string& path) override { return record("open: " + path); }
  bool message(const std::string& text) override { return record("message: " + text); }
  bool notice(const std::string& text) override { return record("notice: " + text); }
  bool record(const std::string& line) {
    log += line + "\n";
    return true;
  }
  std::string log;
  int allowed, reports = 0;
};

// Sets name=value pairs separated by '|'.
void Set(Qarn::VNutrition& nutrition, const std::string& settings) {
  std::istringstream pairs(settings);
  for (std::string pair; std::getline(pairs, pair, '|');) {
    int index = 0;
    const auto slot = nutrition.getSlot(pair.substr(0, pair.find('=')), index);
    ASSERT_TRUE(slot.alive()) << pair;
    ASSERT_TRUE(slot->parameter->setValueFromText(pair.substr(pair.find('=') + 1), {}, "", false,
                                                  {}, nullptr, nullptr))
        << pair;
  }
}

// The points of a PLY file, or else of an XYZ text file.
std::vector<Point> ReadPoints(const std::string& path) {
  std::vector<Point> points;
  const auto add = [&](const Point& p) { points.push_back(p); };
  if (path.ends_with(".ply")) {
    ReadPlyPoints(path, add);
  } else {
    XyzSummary summary;
    ReadXyzPoints(path, {}, add, {}, summary);
  }
  return points;
}

struct RunResult {
  std::string error, log;
  int reports = 0;
  std::set<std::string> predicted;
};

// getOutputFiles then convert, the way a host drives a nutrition.
RunResult Convert(Qarn::VNutrition& nutrition, const std::set<std::string>& inputs,
                  const std::string& outputDir, int allowedReports = 1 << 30) {
  RunResult result;
  nutrition.getOutputFiles(result.predicted, outputDir, inputs);
  auto progress = Brasko::MakeStrong<RecordingProgress>(allowedReports);
  result.error = nutrition.convert(
      result.predicted, outputDir, [](const std::string& s) { return s; }, inputs,
      Brasko::StrongPtr<Brasko::LoaderProgress>(progress));
  result.log = progress->log;
  result.reports = progress->reports;
  return result;
}

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
    const auto& [w, g] = std::tie(want[i], got[i]);
    ASSERT_TRUE(std::abs(w.x - g.x) <= tolerance && std::abs(w.y - g.y) <= tolerance &&
                std::abs(w.z - g.z) <= tolerance && w.red == g.red && w.green == g.green &&
                w.blue == g.blue)
        << "point " << i;
  }
}

std::string Ply(const std::string& format, const std::string& body) {
  return "ply\nformat " + format + " 1.0\n" + body;
}

const std::string kXyz = "property float x\nproperty float y\nproperty float z\n";

// A binary face whose one list is announced by a float count.
std::string FaceWithListCount(float count) {
  char raw[4];
  WriteLittle(raw, count);
  return Ply("binary_little_endian",
             "element face 1\nproperty list float int idx\nelement vertex 0\n" + kXyz +
                 "end_header\n") +
         std::string(raw, 4);
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
}

struct Case {
  int nutrition;  // 0 XYZ to PLY, 1 PLY to XYZ, 2 LAS to PLY/XYZ, 3 Mandelbrot Demo
  std::string settings, input;
  std::string outcome;  // the error, or the log after the opening; {in} input, {out} output folder
  std::string written, unwritten;  // predicted file names, by blanks
  std::string reference = "";      // the first written file holds its points,
  std::size_t points = 0;          // or, without one, this many
  double tolerance = 0;
  std::string head = "";  // the first written file's first bytes
};

// Runs one case the way a host would and checks all it promises.
void Check(const Case& c) {
  const std::string before = ReadBytes(c.input);
  SCOPED_TRACE(c.input + " " + c.settings);
  const ScratchDir out;
  const auto all = MakeDemoNutritions();
  Set(*all[c.nutrition], c.settings);
  const auto written = Words(c.written);
  // An older output is replaced once the new one is complete.
  if (!written.empty()) WriteBytes(out / written[0], "old");
  const auto result = Convert(*all[c.nutrition], {c.input}, out.path.string());
  const std::string opening = "open: " + c.input + "\n";
  EXPECT_EQ(result.error.empty() ? Replace(result.log, opening, "") : result.error,
            Replace(Replace(c.outcome, "{in}", c.input), "{out}", out.path.string()));
  EXPECT_TRUE(!result.error.empty() || result.log.starts_with(opening)) << result.log;
  EXPECT_EQ(SortedNames(out), written);
  EXPECT_EQ(ReadBytes(c.input), before) << "the input changed";
  std::set<std::string> predicted;
  for (const auto& name : Words(c.written + " " + c.unwritten)) predicted.insert(out / name);
  EXPECT_EQ(result.predicted, predicted);
  if (written.empty()) return;
  EXPECT_EQ(ReadBytes(out / written[0]).substr(0, c.head.size()), c.head);
  if (c.reference.empty())
    EXPECT_EQ(ReadPoints(out / written[0]).size(), c.points);
  else
    ExpectSamePoints(c.reference, out / written[0], c.tolerance);
}

TEST(MalformedInput, FailsWithTheFileNamedAndWritesNothing) {
  const std::string las1 = ReadBytes(Sample("las_format1.las"));
  const auto las = [&](std::size_t offset, auto value) {
    std::string bytes = las1;
    WriteLittle(bytes.data() + offset, value);
    return bytes;
  };
  const std::string binary = ReadBytes(Sample("cloud_binary.ply"));
  const std::string big = ReadBytes(Sample("cloud_big_endian.ply"));
  const std::string corrupt = "truncated or corrupt: the header announces ";
  const struct {
    std::string extension, bytes, message;  // the error after the quoted input path
  } cases[] = {
      {"ply", "plx\nformat ascii 1.0\n", "not a PLY file (no \"ply\" magic)."},
      {"ply", "", "not a PLY file (no \"ply\" magic)."},
      {"ply", Ply("binary_middle_endian", "end_header\n"),
       "unknown PLY format \"binary_middle_endian\"."},
      {"ply", Ply("ascii", "element vertex 1\n" + kXyz), "the PLY header ends without end_header."},
      {"ply", "ply\nelement vertex 1\n" + kXyz + "end_header\n",
       "the PLY header has no format line."},
      {"ply", Ply("ascii", "element face 0\nend_header\n"), "the PLY file has no vertex element."},
      {"ply",
       Ply("ascii", "element vertex 1\nproperty float x\nproperty float y\nend_header\n1 2\n"),
       "the PLY vertex element lacks an x, y or z property."},
      {"ply", Ply("ascii", "element vertex 1\nproperty float128 x\n"),
       "malformed PLY property line."},
      {"ply", Ply("ascii", "property float x\n"), "PLY property before any element."},
      {"ply", Ply("ascii", "vertices please\n"), "unknown PLY header line \"vertices please\"."},
      {"ply", Ply("ascii", "element vertex -3\n"), "malformed PLY element line."},
      {"ply", Ply("ascii", "element vertex 99999999999999\n" + kXyz + "end_header\n1 2 3\n4 5 6\n"),
       corrupt + "99999999999999 \"vertex\" entries, the rest of the file holds at most 2."},
      {"ply", Ply("ascii", "element vertex 2\n" + kXyz + "end_header\n1 2 3 4 5 6 7 8 9\n"),
       "truncated: the header announces 2 \"vertex\" entries, the file ends after 1."},
      {"ply", Ply("ascii", "element vertex 2\n" + kXyz + "end_header\n1 2 3\n4 five 6\n"),
       "unreadable \"vertex\" line: \"4 five 6\"."},
      {"ply",
       Ply("ascii", "element face 1\nproperty list uchar int idx\nelement vertex 1\n" + kXyz +
                        "end_header\n200 1 2\n1 2 3\n"),
       "impossible list length in element \"face\"."},
      {"ply", binary.substr(0, binary.size() - 7),
       "truncated: the header announces 3000 \"vertex\" entries, the file ends after 2999."},
      {"ply", big.substr(0, big.find("end_header\n") + 14),
       corrupt + "2 \"camera\" entries, the rest of the file holds at most 0."},
      {"ply", FaceWithListCount(1e30f), "impossible list length in element \"face\"."},
      {"ply",
       Ply("binary_little_endian",
           "element vertex 1\n" + kXyz +
               "element face 1\nproperty list uchar int idx\nend_header\n") +
           std::string(12, '\0') + "\x03" + std::string(8, '\0'),
       "truncated: the header announces 1 \"face\" entries, the file ends after 0."},
      // Hostile counts that once drove endless or undefined loops.
      {"ply", FaceWithListCount(std::nanf("")), "impossible list length in element \"face\"."},
      {"ply",
       Ply("binary_little_endian",
           "element nothing 18446744073709551615\nelement vertex 0\n" + kXyz + "end_header\n"),
       corrupt + "18446744073709551615 \"nothing\" entries, the rest of the file holds at most 0."},
      {"las", las(0, 'X'), "not a LAS file (no \"LASF\" magic)."},
      {"las", las1.substr(0, 100), "truncated LAS header."},
      {"las", las(24, std::uint8_t{2}), "unsupported LAS version 2.2 (1.0 to 1.4 are read)."},
      {"las", las(25, std::uint8_t{5}), "unsupported LAS version 1.5 (1.0 to 1.4 are read)."},
      {"las", las(104, std::uint8_t{11}), "unsupported LAS point data format 11."},
      {"las", las(104, std::uint8_t{0x81}), "compressed LAS point data is not supported."},
      {"las", las(105, std::uint16_t{27}), "point records of 27 bytes are too short for format 1."},
      {"las", las(96, std::uint32_t{226}), "the point data offset lies inside the header."},
      {"las", las(94, std::uint16_t{226}), "the LAS header is shorter than version 1.2 requires."},
      {"las", las(139, 0.0), "the LAS header has an unusable scale factor."},
      {"las", las(179, std::nan("")), "the LAS header has non-finite offsets or bounds."},
      {"las", las1.substr(0, las1.size() - 30),
       "truncated: the header announces 3000 points, the file holds 2998."},
      {"las", las(107, 0xffffffffu),
       "truncated: the header announces 4294967295 points, the file holds 3000."},
      {"xyz", "x y z\n# skipped, not unreadable\n1 2\n",
       "no point lines found (2 unreadable); is the delimiter right?"},
      {"xyz", std::string(70000, '\x01'),
       "a line is longer than 65536 bytes; this does not look like a text file."},
  };
  for (const auto& c : cases) {
    ScratchDir in;
    const std::string input = in / ("bad." + c.extension);
    WriteBytes(input, c.bytes);
    const int nutrition = c.extension == "ply" ? 1 : c.extension == "las" ? 2 : 0;
    Check({nutrition, "", input, "\"{in}\": " + c.message, "",
           nutrition == 1 ? "bad.xyz" : "bad.ply"});
  }
}

TEST(Conversion, WritesWhatItPredictsAndLogsIt) {
  ScratchDir in;
  WriteInputs(in);
  const std::string ply = Ply("binary_little_endian", ""), ascii = Ply("ascii", "");
  // The LAS converter's closing line.
  const auto wrote = [](const std::string& points, int files, int left) {
    return "message: \"{in}\": wrote " + points + " points into " + std::to_string(files) +
           " file(s); " + std::to_string(left) + " left out by the class filter.\n";
  };
  const std::string las = wrote("3000 of 3000", 1, 0);
  std::string skipped;
  for (int line = 2; line <= 6; ++line)
    skipped += "notice: \"{in}\": skipped line " + std::to_string(line) +
               ", no three numbers in \"oops\".\n";
  const Case cases[] = {
      {0, "SkipLines=1", Sample("cloud.csv"),
       "message: Wrote 3000 points (x y z red green blue) to \"{out}/cloud.ply\".\n", "cloud.ply",
       "", Sample("cloud.csv"), 0, 1e-9, ply},
      {0, "Delimiter=semicolon|SkipLines=2|Scale=2;3;4|Offset=10;20;30|Binary=false",
       in / "semi.txt", "message: Wrote 2 points (x y z) to \"{out}/semi.ply\".\n", "semi.ply", "",
       in / "semi_expected.xyz", 0, 0, ascii},
      {0, "", in / "mixed.xyz",
       skipped + "notice: \"{in}\": skipped 6 unreadable lines in all.\n"
                 "message: Wrote 2 points (x y z) to \"{out}/mixed.ply\".\n",
       "mixed.ply", "", "", 2, 0, ply},
      {0, "Delimiter=tab", Sample("cloud.xyz"),
       "\"{in}\": no point line among the first 20 lines; is the delimiter right?", "",
       "cloud.ply"},
      {1, "", Sample("cloud_ascii.ply"),
       "message: Read ascii PLY; wrote 3000 points (x y z red green blue) to "
       "\"{out}/cloud_ascii.xyz\".\n",
       "cloud_ascii.xyz", "", Sample("cloud.csv"), 0, 1e-9, ""},
      {1, "", Sample("cloud_binary.ply"),
       "message: Read binary little-endian PLY; wrote 3000 points (x y z red green blue) to "
       "\"{out}/cloud_binary.xyz\".\n",
       "cloud_binary.xyz", "", Sample("cloud.csv"), 0, 5e-4, ""},  // float32 near 2500
      {1, "Colour=false", Sample("cloud_binary.ply"),
       "message: Read binary little-endian PLY; wrote 3000 points (x y z) to "
       "\"{out}/cloud_binary.xyz\".\n",
       "cloud_binary.xyz", "", Sample("cloud.xyz"), 0, 5e-4, ""},
      {1, "", Sample("cloud_big_endian.ply"),
       "message: Read binary big-endian PLY; wrote 3000 points (x y z) to "
       "\"{out}/cloud_big_endian.xyz\".\n",
       "cloud_big_endian.xyz", "", Sample("cloud.xyz"), 0, 1e-9, ""},
      {2, "OutputFormat=xyz", Sample("las_format0.las"), las, "las_format0.xyz", "",
       Sample("cloud.xyz"), 0, 1e-6, ""},
      {2, "Binary=false", Sample("las_format2.las"), las, "las_format2.ply", "",
       Sample("cloud.csv"), 0, 1e-6, ascii},
      {2, "", Sample("las_format3.las"), las, "las_format3.ply", "", Sample("cloud.csv"), 0, 1e-6,
       ply},
      {2, "OutputFormat=xyz", Sample("las_format6.las"), las, "las_format6.xyz", "",
       Sample("cloud.xyz"), 0, 1e-6, ""},
      {2, "OutputFormat=xyz", Sample("las_format7.las"), las, "las_format7.xyz", "",
       Sample("cloud.csv"), 0, 1e-6, ""},
      {2, "OutputFormat=xyz", in / "scaled.las", wrote("2 of 2", 1, 0), "scaled.xyz", "",
       in / "scaled_expected.xyz", 0, 1e-6, ""},
      {2, "TileLength=250;250;0", Sample("tiles_with_gap.las"),
       "notice: \"{in}\": 2 tiles hold no points and were not written.\n" +
           wrote("3000 of 3000", 2, 0),
       "tiles_with_gap_tile_0_0.ply tiles_with_gap_tile_1_1.ply",
       "tiles_with_gap_tile_0_1.ply tiles_with_gap_tile_1_0.ply", "", 1500, 0, ply},
      {2, "TileLength=50;0;0", in / "short_bounds.las",
       "notice: \"{in}\": 2383 points lie outside the header's bounds; they went into the nearest "
       "edge tile.\n" +
           wrote("3000 of 3000", 2, 0),
       "short_bounds_tile_0.ply short_bounds_tile_1.ply", "", "", 301, 0, ply},  // below x 1050
      {2, "ClassFilter=2,6|OutputFormat=xyz", Sample("las_format6.las"),
       wrote("1000 of 3000", 1, 2000), "las_format6.xyz", "", "", 1000, 0, ""},
      {2, "ClassFilter=17", Sample("las_format0.las"), wrote("0 of 3000", 1, 3000),
       "las_format0.ply", "", "", 0, 0, ply},
      {2, "ClassFilter=two", Sample("las_format0.las"),
       "ClassFilter \"two\": give class numbers 0 to 255 separated by commas.", "",
       "las_format0.ply"},
      {2, "TileLength=0.001;0.001;0", Sample("las_format0.las"),
       "\"{in}\": TileLength gives more than 256 tiles; choose longer tiles.", "",
       "las_format0.ply"},
      {2, "TileLength=-1;0;0", Sample("las_format0.las"),
       "\"{in}\": TileLength must hold three numbers of 0 or more.", "", "las_format0.ply"},
      {3, "Iterations=1000|Center=-0.7;0.3;0", "/seeds/view.mandel",
       "<b>Mandelbrot Demo</b>: No CPU implementation; this nutrition renders on the GPU only.", "",
       "view_mandelbrot.ply"},
  };
  for (const auto& c : cases) Check(c);
}

// What a written file holds: a PLY's property names on one line, then its
// data as text, binary data read back; any other file as it is.
std::string Contents(const std::string& path) {
  const std::string bytes = ReadBytes(path);
  const auto end = bytes.find("end_header\n");
  if (!path.ends_with(".ply") || end == std::string::npos) return bytes;
  std::string names, data = bytes.substr(end + 11);
  std::istringstream lines(bytes.substr(0, end));
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with("property ")) AppendListed(names, Words(line).back(), " ");
  if (bytes.find("format binary") == std::string::npos) return names + "\n" + data;
  data.clear();
  const auto text = [](double value) {
    char digits[32];
    return std::string(digits, std::to_chars(digits, digits + 32, value).ptr);
  };
  std::size_t attributes = Words(names).size() - 3;
  ReadPlyPoints(path, [&](const Point& p) {
    std::string line = text(p.x) + " " + text(p.y) + " " + text(p.z);
    const bool colour = names.find(" red green blue") != std::string::npos;
    if (colour) line += " " + text(p.red) + " " + text(p.green) + " " + text(p.blue);
    for (std::size_t i = 0; i < attributes - (colour ? 3 : 0); ++i) line += " " + text(p.values[i]);
    data += line + "\n";
  });
  return names + "\n" + data;
}

// One point at (1, 2, 3), colour 255 128 0 where the format has one, intensity 100.
std::string OnePointLas(int format, int minor = 2) {
  const ScratchDir dir;
  LasLayout layout;
  layout.pointFormat = static_cast<std::uint8_t>(format);
  layout.versionMinor = minor;
  bool done = false;
  WriteLas(dir / "p.las", layout, [&](Point& p) {
    p = {1, 2, 3, 255, 128, 0};
    return !std::exchange(done, true);
  });
  return ReadBytes(dir / "p.las");
}

template <class T>
std::string Patched(std::string bytes, std::size_t at, T value) {
  WriteLittle(bytes.data() + at, value);
  return bytes;
}

// The LAS file with one extra-bytes record describing a scaled ushort, and that value after each
// point record.
std::string WithExtraBytes(const std::string& las, const std::string& name, double scale,
                           std::uint16_t value) {
  const auto pointOffset = ReadLittle<std::uint32_t>(las.data() + 96);
  const auto length = ReadLittle<std::uint16_t>(las.data() + 105);
  std::string record(54 + 192, '\0');
  std::memcpy(record.data() + 2, "LASF_Spec", 9);
  WriteLittle<std::uint16_t>(record.data() + 18, 4);
  WriteLittle<std::uint16_t>(record.data() + 20, 192);
  record[54 + 2] = 3;     // unsigned short
  record[54 + 3] = 0x08;  // scaled
  std::memcpy(record.data() + 54 + 4, name.data(), name.size());
  WriteLittle(record.data() + 54 + 112, scale);
  std::string bytes = las.substr(0, pointOffset) + record;
  for (std::size_t at = pointOffset; at + length <= las.size(); at += length)
    bytes += las.substr(at, length) + Patched(std::string(2, '\0'), 0, value);
  bytes = Patched(bytes, 96, static_cast<std::uint32_t>(pointOffset + record.size()));
  bytes = Patched(bytes, 100, std::uint32_t{1});
  return Patched(bytes, 105, static_cast<std::uint16_t>(length + 2));
}

// Files as other programs write them: every value and attribute arrives, or the log says why not.
TEST(Conversion, KeepsEveryValueOfTheLayoutsPeopleUse) {
  const std::string colours = "property float red\nproperty float green\nproperty float blue\n";
  const std::string wide =
      "property ushort diffuse_red\nproperty ushort diffuse_green\n"
      "property ushort diffuse_blue\n";
  const std::string normals = "property float nx\nproperty float ny\nproperty float nz\n";
  const std::string format3 = Patched(
      Patched(Patched(Patched(Patched(OnePointLas(3), 239, std::uint16_t{500}), 241, '\x1a'), 242,
                      '\x86'),
              243, std::int8_t{-12}),
      247, 123.5);
  const std::string format10 = Patched(Patched(OnePointLas(10, 4), 375 + 18, std::int16_t{500}),
                                       375 + 36, std::uint16_t{1000});
  const auto wrote = [](const std::string& of) {
    return "message: \"{in}\": wrote " + of +
           " points into 1 file(s); 0 left out by the class "
           "filter.\n";
  };
  const auto xyz = [](const std::string& columns, const std::string& file) {
    return "message: Wrote 2 points (" + columns + ") to \"{out}/" + file + ".ply\".\n";
  };
  const auto ply = [](const std::string& columns, const std::string& file) {
    return "message: Read ascii PLY; wrote 1 points (" + columns + ") to \"{out}/" + file +
           ".xyz\".\n";
  };
  const auto empty = [](const std::string& file) {
    return "message: \"{in}\" holds no points; wrote the empty cloud \"{out}/" + file + "\".\n";
  };
  const std::string notFitting =
      "line 2: \"300\" does not fit a colour column (a whole number "
      "0 to 255).";
  const struct {
    int nutrition;
    std::string settings, name, bytes;
    std::string outcome;   // the error, or the log after the opening
    std::string contents;  // of the one written file, see Contents
  } cases[] = {
      {0, "Binary=false", "bom.xyz",
       "\xef\xbb\xbf"
       "1 2 3\n4 5 6\n",
       xyz("x y z", "bom"), "x y z\n1 2 3\n4 5 6\n"},
      {0, "Binary=false", "seven.xyz", "1 2 3 300 10 20 30\n4 5 6 100 1 2 3\n",
       xyz("x y z intensity red green blue", "seven"),
       "x y z red green blue intensity\n1 2 3 10 20 30 300\n4 5 6 1 2 3 100\n"},
      {0, "Binary=false", "late.xyz", "1 2 3 10 20 30\n4 5 6 300 0 0\n", "\"{in}\": " + notFitting,
       ""},
      {0, "Binary=false", "short.xyz", "1 2 3\n4 5 6 7\n",
       "\"{in}\": line 2: 4 values where the columns x y z take 3.", ""},
      {0, "Binary=false", "normals.xyz", "1 2 3 0.0 0.0 0.0\n4 5 6 0 0 1\n",
       xyz("x y z nx ny nz", "normals"), "x y z nx ny nz\n1 2 3 0 0 0\n4 5 6 0 0 1\n"},
      {0, "Columns=x,y,z,nx,ny,nz|Binary=false", "given.xyz", "1 2 3 0 0 1\n4 5 6 0 1 0\n",
       xyz("x y z nx ny nz", "given"), "x y z nx ny nz\n1 2 3 0 0 1\n4 5 6 0 1 0\n"},
      {0, "Binary=false", "named.txt", "//X Y Z Reflectance\n1 2 3 0.5\n4 5 6 1\n",
       xyz("x y z reflectance", "named"), "x y z reflectance\n1 2 3 0.5\n4 5 6 1\n"},
      {0, "Binary=false", "empty.xyz", "", empty("empty.ply"), "x y z\n"},
      {1, "", "float.ply",
       Ply("ascii", "element vertex 1\n" + kXyz + colours + "end_header\n1 2 3 0.5 1.0 0.25\n"),
       ply("x y z red green blue", "float"), "1 2 3 128 255 64\n"},
      {1, "", "wide.ply",
       Ply("ascii", "element vertex 1\n" + kXyz + wide + "end_header\n1 2 3 65535 32768 0\n"),
       ply("x y z red green blue", "wide"), "1 2 3 255 128 0\n"},
      {1, "Columns=all", "normals.ply",
       Ply("ascii", "element vertex 1\n" + kXyz + normals +
                        "property list uchar int ring\nproperty double quality\n"
                        "end_header\n1 2 3 0 0 1 2 7 8 0.5\n"),
       "notice: \"{in}\": the vertex list property \"ring\" is not kept.\n" +
           ply("x y z nx ny nz quality", "normals"),
       "1 2 3 0 0 1 0.5\n"},
      {1, "", "empty.ply", Ply("ascii", "element vertex 0\n" + kXyz + "end_header\n"),
       empty("empty.xyz"), ""},
      {2, "", "format3.las", format3, wrote("1 of 1"),
       "x y z red green blue intensity return_number number_of_returns scan_direction_flag "
       "edge_of_flight_line classification classification_flags scan_angle user_data "
       "point_source_id gps_time\n1 2 3 255 128 0 500 2 3 0 0 6 4 -12 0 0 123.5\n"},
      {2, "", "format10.las", format10, wrote("1 of 1"),
       "x y z red green blue intensity return_number number_of_returns classification_flags "
       "scanner_channel scan_direction_flag edge_of_flight_line classification user_data "
       "scan_angle point_source_id gps_time nir wave_packet_index wave_byte_offset "
       "wave_packet_size wave_return_location wave_x_t wave_y_t wave_z_t\n"
       "1 2 3 255 128 0 100 1 1 0 0 0 0 0 0 3 0 0 1000 0 0 0 0 0 0 0\n"},
      {2, "Binary=false|Attributes=xyz,rgb", "format5.las", OnePointLas(5), wrote("1 of 1"),
       "x y z red green blue\n1 2 3 255 128 0\n"},
      {2, "OutputFormat=xyz|Columns=x,y,z,intensity", "format4.las", OnePointLas(4),
       wrote("1 of 1"), "1 2 3 100\n"},
      {2, "OutputFormat=xyz|Columns=xyz,rgb", "format9.las", OnePointLas(9, 4), wrote("1 of 1"),
       "1 2 3\n"},
      {2, "Attributes=xyz,height_above", "extra.las",
       WithExtraBytes(OnePointLas(1), "height above", 0.5, 1234), wrote("1 of 1"),
       "x y z height_above\n1 2 3 617\n"},
      {2, "Binary=false|Attributes=xyz", "counts.las",
       Patched(OnePointLas(1, 4), 107, std::uint32_t{7}),
       "notice: \"{in}\": the header's 32-bit point count 7 disagrees with its 64-bit count 1; "
       "the 64-bit count is used.\n" +
           wrote("1 of 1"),
       "x y z\n1 2 3\n"},
      {2, "Binary=false|Attributes=xyz,rgb", "empty.las",
       Patched(OnePointLas(0), 107, std::uint32_t{0}), empty("empty.ply") + wrote("0 of 0"),
       "x y z\n"},
      {2, "Attributes=xyz,nir", "format0.las", OnePointLas(0),
       "\"{in}\": Attributes \"xyz,nir\": this file has no attribute \"nir\".", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ScratchDir in, out;
    WriteBytes(in / c.name, c.bytes);
    const auto all = MakeDemoNutritions();
    Set(*all[c.nutrition], c.settings);
    const auto result = Convert(*all[c.nutrition], {in / c.name}, out.path.string());
    const std::string opening = "open: " + in / c.name + "\n";
    EXPECT_EQ(result.error.empty() ? Replace(result.log, opening, "") : result.error,
              Replace(Replace(c.outcome, "{in}", in / c.name), "{out}", out.path.string()));
    const auto names = SortedNames(out);
    ASSERT_EQ(names.size(), result.error.empty() ? 1u : 0u);
    if (!names.empty()) {
      EXPECT_EQ(Contents(out / names[0]), c.contents);
    }
  }
}

// A run converts every file it can and names the others; a cancelled run
// stops at once and takes away what it wrote.
TEST(Conversion, GoesOnPastABadFileAndLeavesNothingWhenCancelled) {
  const std::string samples[] = {"cloud.xyz", "cloud_binary.ply", "las_format3.las"};
  const std::string bad[] = {"1 2 3 4\n5 6 7\n", "ply\n", "LASF"};
  for (int nutrition = 0; nutrition < 3; ++nutrition) {
    const ScratchDir in;
    const std::string& sample = samples[nutrition];
    const std::string extension = ExtensionOf(sample);
    const std::string a = in / ("a." + extension), b = in / ("b." + extension),
                      broken = in / ("bad." + extension);
    fs::copy_file(Sample(sample), a);
    fs::copy_file(Sample(sample), b);
    WriteBytes(broken, bad[nutrition]);
    const auto all = MakeDemoNutritions();
    const ScratchDir out, good;
    const auto run = Convert(*all[nutrition], {a, broken, b}, out.path.string());
    SCOPED_TRACE(sample + ": " + run.error);
    EXPECT_TRUE(run.error.starts_with("\"" + broken + "\": "));
    EXPECT_NE(run.log.find("notice: Could not convert " + run.error + "\n"), std::string::npos);
    EXPECT_EQ(SortedNames(out).size(), 2u);
    const int reports = Convert(*all[nutrition], {a, b}, good.path.string()).reports;
    // Cancelled at the first report, in the second file, and at the very last.
    for (const int allowed : {0, reports / 2, reports - 1}) {
      const ScratchDir cancelled;
      EXPECT_EQ(Convert(*all[nutrition], {a, b}, cancelled.path.string(), allowed).error,
                "Cancelled: the client stopped the conversion.")
          << allowed;
      EXPECT_EQ(SortedNames(cancelled), std::vector<std::string>{}) << allowed;
    }
  }
}

TEST(Conversion, RefusesToOverwriteAnInputOrWriteTwoInputsToOneFile) {
  ScratchDir dir;
  const std::string xyzFile = dir / "loop.xyz", csvFile = dir / "loop.csv";
  WriteBytes(xyzFile, "keep me");
  WriteBytes(csvFile, "1,2,3\n");
  fs::copy_file(Sample("cloud_ascii.ply"), dir / "loop.ply");
  PlyToXyzNutrition ply;
  EXPECT_EQ(Convert(ply, {xyzFile, dir / "loop.ply"}, dir.path.string()).error,
            "\"" + xyzFile + "\": this output would overwrite the input file \"" + xyzFile +
                "\"; choose another output directory.");
  XyzToPlyNutrition xyz;
  EXPECT_EQ(Convert(xyz, {xyzFile, csvFile}, dir.path.string()).error,
            "\"" + xyzFile + "\" and \"" + csvFile + "\" would both be written to \"" +
                dir / "loop.ply" + "\"; convert them separately.");
  EXPECT_EQ(ReadBytes(xyzFile), "keep me");
  LasConverterNutrition las;  // a host may pass no progress sink
  std::set<std::string> outputs;
  EXPECT_EQ(las.convert(outputs, dir.path.string(), {}, {Sample("las_format0.las")}, {}), "");
  EXPECT_EQ(SortedNames(dir),
            (std::vector<std::string>{"las_format0.ply", "loop.csv", "loop.ply", "loop.xyz"}));
}

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
                "XYZ to PLY: xyz txt csv -> ply Delimiter=auto SkipLines=0 Columns=auto "
                "Scale=1;1;1 Offset=0;0;0 Binary=true",
                "PLY to XYZ: ply -> xyz Colour=true Columns=xyz,rgb",
                "LAS to PLY/XYZ: las -> ply xyz OutputFormat=ply Binary=true TileLength=0;0;0 "
                "ClassFilter= Attributes=all Columns=xyz,rgb",
                "Mandelbrot Demo: mandel -> ply Iterations=256 Center=-0.5;0;0 Zoom=1 Width=1024 "
                "Height=768 Palette=fire"}));
}

// A file is digestible exactly when a conversion of it starts.
TEST(DemoNutritions, DigestExactlyWhatTheyConvert) {
  ScratchDir dir;
  std::string compressed = ReadBytes(Sample("las_format0.las"));
  compressed[104] = static_cast<char>(0x83);
  const std::string vertex = "element vertex 1\r\n" + Replace(kXyz, "\n", "\r\n");
  const struct {
    int nutrition;  // 0 XYZ to PLY, 1 PLY to XYZ, 2 LAS to PLY/XYZ
    std::string name, bytes;
    bool digestible;
  } cases[] = {
      {0, "bom.xyz",
       "\xef\xbb\xbf"
       "1 2 3\n",
       true},
      {0, "empty.csv", "", true},
      {0, "ply_as.xyz", ReadBytes(Sample("cloud_binary.ply")), false},
      {0, "cloud_ascii.ply", ReadBytes(Sample("cloud_ascii.ply")), false},
      {1, "crlf.ply", "ply\r\nformat ascii 1.0\r\n" + vertex + "end_header\r\n1 2 3\r\n", true},
      {1, "cut.ply", "ply\r\nformat ascii 1.0\r\n", false},
      {1, "no_format.ply", "ply\n" + vertex + "end_header\n1 2 3\n", false},
      {1, "text.ply", "1 2 3\n", false},
      {2, "points.LAS", ReadBytes(Sample("las_format0.las")), true},
      {2, "compressed.las", compressed, false},
      {2, "fake.las", "LASX not really", false},
      {2, "cloud.xyz", ReadBytes(Sample("cloud.xyz")), false},
  };
  const auto all = MakeDemoNutritions();
  for (const auto& c : cases) {
    const ScratchDir out;
    WriteBytes(dir / c.name, c.bytes);
    EXPECT_EQ(all[c.nutrition]->isDigestible(dir / c.name), c.digestible) << c.name;
    if (ExtensionOf(c.name) != "ply" || c.nutrition == 1) {
      EXPECT_EQ(Convert(*all[c.nutrition], {dir / c.name}, out.path.string()).error.empty(),
                c.digestible)
          << c.name;
    }
  }
  EXPECT_FALSE(all[0]->isDigestible(dir / "missing.xyz"));
}

TEST(DemoNutritions, QuickInfoAnalysisAndPredictionWithoutWriting) {
  const auto all = MakeDemoNutritions();
  // A name sorting after every sample path, so the not-found line comes last.
  EXPECT_EQ(all[2]->getQuickInfo({Sample("las_format0.las"), "/~nowhere/x.las"}),
            "<b>2 files</b>, 60227 bytes in all<br/>\nlas_format0.las: 60227 bytes<br/>\nx.las: "
            "<i>not found</i>");
  const std::string dir = Sample("");
  const std::string bounds = "bounds (1000.06, 2000.28, 10.037) to (1499.95, 2499.52, 59.994)";
  const auto las = all[2]->analyse({Sample("las_format3.las"), Sample("cloud.xyz")});
  EXPECT_EQ(las.analysis,
            "<b>" + dir + "cloud.xyz</b>: \"" + dir +
                "cloud.xyz\": not a LAS file (no \"LASF\" magic).\n<b>" + dir +
                "las_format3.las</b>: LAS 1.2, point format 3, 3000 points, attributes: "
                "intensity, return_number, number_of_returns, scan_direction_flag, "
                "edge_of_flight_line, classification, classification_flags, scan_angle, "
                "user_data, point_source_id, gps_time, rgb, classes 1,2,3,4,5,6, " +
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
                "cloud.csv</b>: XYZ text, 3000 points, delimiter comma, columns x y z red green "
                "blue, " +
                bounds + ", 1 lines skipped\n");
  EXPECT_EQ(all[3]->analyse({"/seeds/view.mandel"}).analysis,
            "1 seed file(s); would render 1024 x 768 samples at 256 iterations.");
  std::set<std::string> outputs;
  all[0]->getOutputFiles(outputs, "relative/out", {"/data/a.xyz"});
  EXPECT_EQ(outputs, std::set<std::string>{"a.ply"});
}

// Tiles count per split axis, a bound on a tile edge opening the next one, and
// are named by the split axes only; the class filter takes a list of bytes.
TEST(Tiling, CountsAndNamesTilesAndParsesTheClassFilter) {
  const auto grid = MakeTileGrid({0, 0, 0}, {500, 260, 10}, {250, 250, 0});
  EXPECT_EQ(grid.counts, (std::array<std::int64_t, 3>{3, 2, 1}));
  const auto z = MakeTileGrid({0, 0, 0}, {600, 600, 50}, {0, 0, 10});
  EXPECT_EQ(TileFileName("area", z, {0, 0, 4}, "xyz"), "area_tile_4.xyz");
  EXPECT_FALSE(ParseClassFilter("  ").has_value());
  EXPECT_EQ(*ParseClassFilter(" 6 , 2 ,2,255"), (std::set<int>{2, 6, 255}));
  for (const char* bad : {"2;6", "256", "-1", "2,", "ground"})
    EXPECT_THROW(ParseClassFilter(bad), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace dravo::demo::testing
