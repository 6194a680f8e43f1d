// Bad input, per format: a clear error naming the file, nothing written.
#include "demo_test_support.h"

#include <demo_converters/core/byte_order.h>
#include <demo_converters/nutritions/las_converter.h>
#include <demo_converters/nutritions/ply_to_xyz.h>
#include <demo_converters/nutritions/xyz_to_ply.h>

#include <cmath>
#include <functional>
#include <memory>

namespace dravo::demo::testing {
namespace {

struct BadFile {
  const char* label;
  std::function<std::string()> bytes;
  const char* expected;  // part of the error text
};

std::ostream& operator<<(std::ostream& out, const BadFile& bad) {
  return out << bad.label;
}

// Converts the bad file and checks the error text and the empty output directory.
void ExpectCleanFailure(Qarn::VNutrition& nutrition, const BadFile& bad,
                        const std::string& extension) {
  ScratchDir in, out;
  const fs::path input = in.path() / (std::string("bad.") + extension);
  WriteBytes(input, bad.bytes());
  const auto result = Convert(nutrition, {input.string()}, out.path());
  EXPECT_NE(result.error.find(input.string()), std::string::npos) << result.error;
  EXPECT_NE(result.error.find(bad.expected), std::string::npos) << result.error;
  EXPECT_EQ(out.names(), std::vector<std::string>{}) << "a failed run left files behind";
  EXPECT_EQ(ReadBytes(input), bad.bytes()) << "the input changed";
}

std::string PlyHead(const std::string& format, const std::string& body) {
  return "ply\nformat " + format + " 1.0\n" + body;
}

const std::string kXyzProps = "property float x\nproperty float y\nproperty float z\n";

std::string Cut(const std::string& bytes, std::size_t drop) {
  return bytes.substr(0, bytes.size() - drop);
}

// A binary face whose one list is announced by a float count.
std::function<std::string()> BinaryFaceWithListCount(float count) {
  return [=] {
    char raw[4];
    WriteLittle(raw, count);
    return PlyHead("binary_little_endian",
                   "element face 1\nproperty list float int idx\nelement vertex 0\n" + kXyzProps +
                       "end_header\n") +
           std::string(raw, 4);
  };
}

class MalformedPly : public ::testing::TestWithParam<BadFile> {};

TEST_P(MalformedPly, FailsCleanly) {
  PlyToXyzNutrition nutrition;
  ExpectCleanFailure(nutrition, GetParam(), "ply");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedPly,
    ::testing::Values(
        BadFile{"no_magic", [] { return std::string("plx\nformat ascii 1.0\n"); },
                "no \"ply\" magic"},
        BadFile{"empty", [] { return std::string(); }, "no \"ply\" magic"},
        BadFile{"unknown_format", [] { return PlyHead("binary_middle_endian", "end_header\n"); },
                "unknown PLY format"},
        BadFile{"no_end_header", [] { return PlyHead("ascii", "element vertex 1\n" + kXyzProps); },
                "without end_header"},
        BadFile{"no_format", [] { return "ply\nelement vertex 1\n" + kXyzProps + "end_header\n"; },
                "no format line"},
        BadFile{"no_vertex", [] { return PlyHead("ascii", "element face 0\nend_header\n"); },
                "no vertex element"},
        BadFile{"no_z",
                [] {
                  return PlyHead(
                      "ascii",
                      "element vertex 1\nproperty float x\nproperty float y\nend_header\n1 2\n");
                },
                "lacks an x, y or z"},
        BadFile{"bad_type",
                [] { return PlyHead("ascii", "element vertex 1\nproperty float128 x\n"); },
                "malformed PLY property line"},
        BadFile{"property_first", [] { return PlyHead("ascii", "property float x\n"); },
                "property before any element"},
        BadFile{"garbage_line", [] { return PlyHead("ascii", "vertices please\n"); },
                "unknown PLY header line"},
        BadFile{"bad_count", [] { return PlyHead("ascii", "element vertex -3\n"); },
                "malformed PLY element line"},
        BadFile{"ascii_truncated",
                [] {
                  return PlyHead("ascii", "element vertex 99999999999999\n" + kXyzProps +
                                              "end_header\n1 2 3\n4 5 6\n");
                },
                "truncated"},
        BadFile{"ascii_not_numbers",
                [] {
                  return PlyHead(
                      "ascii", "element vertex 2\n" + kXyzProps + "end_header\n1 2 3\n4 five 6\n");
                },
                "unreadable \"vertex\" line"},
        BadFile{"ascii_list_too_long",
                [] {
                  return PlyHead("ascii",
                                 "element face 1\nproperty list uchar int idx\nelement vertex 1\n" +
                                     kXyzProps + "end_header\n200 1 2\n1 2 3\n");
                },
                "impossible list length"},
        BadFile{"binary_truncated", [] { return Cut(ReadBytes(Sample("cloud_binary.ply")), 7); },
                "the file ends after 2999"},
        BadFile{"big_endian_truncated_in_preamble",
                [] {
                  const std::string full = ReadBytes(Sample("cloud_big_endian.ply"));
                  return full.substr(0, full.find("end_header\n") + 14);
                },
                "\"camera\" entries"},
        BadFile{"binary_list_float_count", BinaryFaceWithListCount(1e30f),
                "impossible list length"},
        BadFile{"binary_list_nan_count", BinaryFaceWithListCount(std::nanf("")),
                "impossible list length"},
        BadFile{"binary_empty_element_endless",
                [] {
                  return PlyHead("binary_little_endian",
                                 "element nothing 18446744073709551615\nelement vertex 0\n" +
                                     kXyzProps + "end_header\n");
                },
                "announces 18446744073709551615 \"nothing\" entries"}));

// A LAS file from the sample with one field changed.
template <class T>
std::function<std::string()> LasWith(std::size_t offset, T value) {
  return [=] {
    std::string bytes = ReadBytes(Sample("las_format1.las"));
    WriteLittle(bytes.data() + offset, value);
    return bytes;
  };
}

class MalformedLas : public ::testing::TestWithParam<BadFile> {};

TEST_P(MalformedLas, FailsCleanly) {
  LasConverterNutrition nutrition;
  ExpectCleanFailure(nutrition, GetParam(), "las");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedLas,
    ::testing::Values(
        BadFile{"wrong_magic", LasWith<char>(0, 'X'), "no \"LASF\" magic"},
        BadFile{"short_header", [] { return ReadBytes(Sample("las_format1.las")).substr(0, 100); },
                "truncated LAS header"},
        BadFile{"version_2", LasWith<std::uint8_t>(24, 2), "unsupported LAS version 2.2"},
        BadFile{"version_1_5", LasWith<std::uint8_t>(25, 5), "unsupported LAS version 1.5"},
        BadFile{"format_5", LasWith<std::uint8_t>(104, 5), "unsupported LAS point data format 5"},
        BadFile{"format_11", LasWith<std::uint8_t>(104, 11),
                "unsupported LAS point data format 11"},
        BadFile{"compressed", LasWith<std::uint8_t>(104, 0x81), "compressed"},
        BadFile{"short_records", LasWith<std::uint16_t>(105, 12), "too short for format 1"},
        BadFile{"offset_in_header", LasWith<std::uint32_t>(96, 100), "inside the header"},
        BadFile{"header_size_small", LasWith<std::uint16_t>(94, 100), "shorter than version 1.2"},
        BadFile{"zero_scale", LasWith<double>(139, 0.0), "unusable scale factor"},
        BadFile{"nan_bound", LasWith<double>(179, std::nan("")), "non-finite"},
        BadFile{"points_missing", [] { return Cut(ReadBytes(Sample("las_format1.las")), 30); },
                "announces 3000 points, the file holds 2998"},
        BadFile{"count_inflated", LasWith<std::uint32_t>(107, 0xffffffffu), "truncated"}));

class MalformedXyz : public ::testing::TestWithParam<BadFile> {};

TEST_P(MalformedXyz, FailsCleanly) {
  XyzToPlyNutrition nutrition;
  ExpectCleanFailure(nutrition, GetParam(), "xyz");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedXyz,
    ::testing::Values(
        BadFile{"empty", [] { return std::string(); }, "no point lines"},
        BadFile{"header_only", [] { return std::string("x y z\n# nothing else\n"); },
                "no point lines"},
        BadFile{"two_columns", [] { return std::string("1 2\n3 4\n"); }, "2 unreadable"},
        BadFile{"binary", [] { return std::string(70000, '\x01'); }, "longer than 65536 bytes"},
        BadFile{"las_renamed", [] { return ReadBytes(Sample("las_format0.las")); },
                "no point lines"}));

TEST(MalformedXyzLines, UnreadableLinesAreSkippedWithNotices) {
  ScratchDir in, out;
  std::string text = "1 2 3\n";
  for (int i = 0; i < 8; ++i) text += "oops\n";
  text += "4 5 6\n";
  WriteBytes(in.path() / "mixed.xyz", text);
  XyzToPlyNutrition nutrition;
  const auto result = Convert(nutrition, {(in.path() / "mixed.xyz").string()}, out.path());
  ASSERT_EQ(result.error, "");
  int notices = 0;
  for (const auto& line : result.log) notices += line.starts_with("notice: ") ? 1 : 0;
  EXPECT_EQ(notices, 6);  // five single ones and the total
  EXPECT_NE(result.log.back().find("Wrote 2 points"), std::string::npos);
}

}  // namespace
}  // namespace dravo::demo::testing
