// One point as every reader hands it on, and a running bounding box.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace dravo::demo {

struct Point {
  double x = 0, y = 0, z = 0;
  std::uint8_t red = 0, green = 0, blue = 0;
  std::uint8_t classification = 0;
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
