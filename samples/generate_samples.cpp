// Writes the demo's sample point clouds: a few thousand deterministic
// points in every format the demo converters read.
#include <demo_converters/core/byte_order.h>
#include <demo_converters/core/las_format.h>
#include <demo_converters/core/output_file.h>
#include <demo_converters/core/point.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using dravo::demo::Point;
namespace fs = std::filesystem;

constexpr int kPoints = 3000;

// A small linear congruential generator: the same samples on every platform.
class Random {
 public:
  double next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state_ >> 11) / 9007199254740992.0;
  }

 private:
  std::uint64_t state_ = 20261002;
};

std::vector<Point> Cloud(int count) {
  Random random;
  std::vector<Point> points(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    Point& p = points[static_cast<std::size_t>(i)];
    p.x = 1000 + std::floor(random.next() * 500000) / 1000;
    p.y = 2000 + std::floor(random.next() * 500000) / 1000;
    p.z = 10 + std::floor(random.next() * 50000) / 1000;
    p.red = static_cast<std::uint8_t>(i % 256);
    p.green = static_cast<std::uint8_t>((i * 7) % 256);
    p.blue = static_cast<std::uint8_t>((i * 13) % 256);
    p.classification = static_cast<std::uint8_t>(1 + i % 6);
  }
  return points;
}

std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

void WriteText(const fs::path& path, const std::string& text) {
  dravo::demo::OutputFile file(path);
  file.write(text);
  file.commit();
}

void WriteXyz(const fs::path& dir, const std::vector<Point>& points) {
  std::string text = "# x y z\n";
  for (const auto& p : points) text += Number(p.x) + " " + Number(p.y) + " " + Number(p.z) + "\n";
  WriteText(dir / "cloud.xyz", text);
}

void WriteCsv(const fs::path& dir, const std::vector<Point>& points) {
  std::string text = "x,y,z,red,green,blue\n";
  for (const auto& p : points)
    text += Number(p.x) + "," + Number(p.y) + "," + Number(p.z) + "," + std::to_string(p.red) +
            "," + std::to_string(p.green) + "," + std::to_string(p.blue) + "\n";
  WriteText(dir / "cloud.csv", text);
}

// An element before the vertices, with a list, proves readers skip it right.
const char* kPreamble = "element camera 2\nproperty float focal\nproperty list uchar int tags\n";

void WriteAsciiPly(const fs::path& dir, const std::vector<Point>& points) {
  std::string text = "ply\nformat ascii 1.0\ncomment dravo demo sample\n" + std::string(kPreamble) +
                     "element vertex " + std::to_string(points.size()) +
                     "\nproperty float x\nproperty float y\nproperty float z\n"
                     "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                     "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
                     "35.5 3 1 2 3\n50 0\n";
  for (const auto& p : points)
    text += Number(p.x) + " " + Number(p.y) + " " + Number(p.z) + " " + std::to_string(p.red) +
            " " + std::to_string(p.green) + " " + std::to_string(p.blue) + "\n";
  text += "3 0 1 2\n";
  WriteText(dir / "cloud_ascii.ply", text);
}

template <class T>
void Append(std::string& bytes, T value, bool big) {
  char raw[sizeof(T)];
  dravo::demo::WriteLittle(raw, value);
  if (big) std::reverse(raw, raw + sizeof(T));
  bytes.append(raw, sizeof(T));
}

void WriteBinaryPly(const fs::path& path, const std::vector<Point>& points, bool big) {
  std::string bytes = std::string("ply\nformat ") +
                      (big ? "binary_big_endian" : "binary_little_endian") + " 1.0\n" + kPreamble +
                      "element vertex " + std::to_string(points.size()) +
                      (big ? "\nproperty double x\nproperty double y\nproperty double z\n"
                           : "\nproperty float x\nproperty float y\nproperty float z\n"
                             "property uchar red\nproperty uchar green\nproperty uchar blue\n") +
                      "end_header\n";
  for (int camera = 0; camera < 2; ++camera) {
    Append<float>(bytes, 35.5f, big);
    bytes += static_cast<char>(camera + 1);
    for (int tag = 0; tag <= camera; ++tag) Append<std::int32_t>(bytes, tag, big);
  }
  for (const auto& p : points) {
    if (big) {
      for (double v : {p.x, p.y, p.z}) Append<double>(bytes, v, true);
    } else {
      for (double v : {p.x, p.y, p.z}) Append<float>(bytes, static_cast<float>(v), false);
      bytes += static_cast<char>(p.red);
      bytes += static_cast<char>(p.green);
      bytes += static_cast<char>(p.blue);
    }
  }
  WriteText(path, bytes);
}

void WriteLasFile(const fs::path& path, const std::vector<Point>& points, int minor,
                  std::uint8_t format) {
  dravo::demo::LasLayout layout;
  layout.versionMinor = minor;
  layout.pointFormat = format;
  layout.offset = {1000, 2000, 0};
  std::size_t next = 0;
  dravo::demo::WriteLas(path, layout, [&](Point& p) {
    if (next == points.size()) return false;
    p = points[next++];
    return true;
  });
}

// Two clusters in opposite corners of a 500 x 500 area: with 250 x 250
// tiles, two of the four predicted tiles stay empty.
std::vector<Point> Corners(const std::vector<Point>& points) {
  std::vector<Point> corners = points;
  for (std::size_t i = 0; i < corners.size(); ++i) {
    Point& p = corners[i];
    const double shift = i % 2 == 0 ? 0 : 400;
    p.x = 1000 + shift + (p.x - 1000) / 5;
    p.y = 2000 + shift + (p.y - 2000) / 5;
  }
  return corners;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  try {
    const fs::path dir = argv[1];
    fs::create_directories(dir);
    const auto points = Cloud(kPoints);
    WriteXyz(dir, points);
    WriteCsv(dir, points);
    WriteAsciiPly(dir, points);
    WriteBinaryPly(dir / "cloud_binary.ply", points, false);
    WriteBinaryPly(dir / "cloud_big_endian.ply", points, true);
    for (std::uint8_t format = 0; format <= 3; ++format)
      WriteLasFile(dir / ("las_format" + std::to_string(format) + ".las"), points,
                   format == 0 ? 0 : 2, format);
    WriteLasFile(dir / "las_format6.las", points, 4, 6);
    WriteLasFile(dir / "las_format7.las", points, 4, 7);
    WriteLasFile(dir / "tiles_with_gap.las", Corners(points), 3, 3);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
