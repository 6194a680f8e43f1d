// Bad input, per format: the exact error naming the file, nothing written,
// the input untouched.
#include "demo_test_support.h"

#include <demo_converters/core/byte_order.h>
#include <demo_converters/nutritions/las_converter.h>
#include <demo_converters/nutritions/ply_to_xyz.h>
#include <demo_converters/nutritions/xyz_to_ply.h>

#include <cmath>
#include <map>

namespace dravo::demo::testing {
namespace {

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
      {"las", las(104, std::uint8_t{5}), "unsupported LAS point data format 5."},
      {"las", las(104, std::uint8_t{9}), "unsupported LAS point data format 9."},
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
      {"xyz", "", "no point lines found (0 unreadable); is the delimiter right?"},
      {"xyz", "x y z\n# nothing else\n",
       "no point lines found (1 unreadable); is the delimiter right?"},
      {"xyz", "1 2\n3 4\n", "no point lines found (2 unreadable); is the delimiter right?"},
      {"xyz", std::string(70000, '\x01'),
       "a line is longer than 65536 bytes; this does not look like a text file."},
  };
  XyzToPlyNutrition xyz;
  PlyToXyzNutrition ply;
  LasConverterNutrition lasToPly;
  std::map<std::string, Qarn::VNutrition*> nutritions{
      {"xyz", &xyz}, {"ply", &ply}, {"las", &lasToPly}};
  for (const auto& c : cases) {
    ScratchDir in, out;
    const std::string input = in / ("bad." + c.extension);
    WriteBytes(input, c.bytes);
    const auto result = Convert(*nutritions[c.extension], {input}, out.str());
    EXPECT_EQ(result.error, "\"" + input + "\": " + c.message);
    EXPECT_EQ(out.names(), std::vector<std::string>{}) << c.message;
    EXPECT_EQ(ReadBytes(input), c.bytes) << c.message;
  }
}

}  // namespace
}  // namespace dravo::demo::testing
