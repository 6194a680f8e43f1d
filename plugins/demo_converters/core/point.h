// One point as every reader hands it on, the attributes it carries beyond
// position and colour, and a running bounding box.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace dravo::demo {

enum class PlyType { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64 };

inline std::size_t SizeOf(PlyType type) {
  switch (type) {
    case PlyType::Int8:
    case PlyType::UInt8: return 1;
    case PlyType::Int16:
    case PlyType::UInt16: return 2;
    case PlyType::Int32:
    case PlyType::UInt32:
    case PlyType::Float32: return 4;
    case PlyType::Float64: return 8;
  }
  return 0;
}

inline const char* TypeName(PlyType type) {
  constexpr const char* kNames[] = {"char", "uchar", "short", "ushort",
                                    "int",  "uint",  "float", "double"};
  return kNames[static_cast<int>(type)];
}

// One attribute beyond x, y, z and colour, under its PLY property name and type.
struct Attribute {
  std::string name;
  PlyType type = PlyType::Float64;
};

// What every point of a cloud carries.
struct CloudLayout {
  bool hasColour = false;
  std::vector<Attribute> attributes;
};

struct Point {
  double x = 0, y = 0, z = 0;
  std::uint8_t red = 0, green = 0, blue = 0;
  std::uint8_t classification = 0;
  // One value per layout attribute, owned by the reader and valid only
  // while the point is being handed on.
  const double* values = nullptr;
  // The stored record the point was decoded from, when there is one.
  const char* record = nullptr;
};

struct Bounds {
  std::array<double, 3> min{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::max()};
  std::array<double, 3> max{std::numeric_limits<double>::lowest(),
                            std::numeric_limits<double>::lowest(),
                            std::numeric_limits<double>::lowest()};
  std::uint64_t count = 0;

  void add(const Point& p) {
    const std::array<double, 3> v{p.x, p.y, p.z};
    for (int i = 0; i < 3; ++i) {
      min[i] = std::min(min[i], v[i]);
      max[i] = std::max(max[i], v[i]);
    }
    ++count;
  }
};

}  // namespace dravo::demo
