#include <demo_converters/core/tiling.h>

#include <demo_converters/core/text_fields.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace dravo::demo {

std::uint64_t TileGrid::tileCount() const {
  return static_cast<std::uint64_t>(counts[0] * counts[1] * counts[2]);
}

TileGrid MakeTileGrid(const std::array<double, 3>& min, const std::array<double, 3>& max,
                      const std::array<double, 3>& length) {
  TileGrid grid;
  grid.origin = min;
  grid.length = length;
  double total = 1;
  for (int i = 0; i < 3; ++i) {
    if (!(length[i] >= 0) || !std::isfinite(length[i]))
      throw std::invalid_argument("TileLength must hold three numbers of 0 or more.");
    if (length[i] == 0) continue;
    const double tiles = std::floor(std::max(0.0, max[i] - min[i]) / length[i]) + 1;
    total *= tiles;
    if (total > static_cast<double>(kMaxTiles))
      throw std::invalid_argument("TileLength gives more than " + std::to_string(kMaxTiles) +
                                  " tiles; choose longer tiles.");
    grid.counts[i] = static_cast<std::int64_t>(tiles);
  }
  return grid;
}

TileIndex TileOf(const TileGrid& grid, const Point& point, bool& outside) {
  const std::array<double, 3> v{point.x, point.y, point.z};
  TileIndex index{0, 0, 0};
  outside = false;
  for (int i = 0; i < 3; ++i) {
    if (grid.length[i] == 0) continue;
    const double cell = std::floor((v[i] - grid.origin[i]) / grid.length[i]);
    const double last = static_cast<double>(grid.counts[i] - 1);
    if (!(cell >= 0 && cell <= last)) outside = true;
    index[i] = static_cast<std::int64_t>(std::clamp(std::isnan(cell) ? 0.0 : cell, 0.0, last));
  }
  return index;
}

std::string TileFileName(const std::string& stem, const TileGrid& grid, const TileIndex& index,
                         const std::string& extension) {
  std::string name = stem;
  if (grid.tiled()) {
    name += "_tile";
    for (int i = 0; i < 3; ++i)
      if (grid.length[i] > 0) {
        name += '_';
        name += std::to_string(index[i]);
      }
  }
  return name + "." + extension;
}

std::optional<std::set<int>> ParseClassFilter(const std::string& text) {
  if (Trim(text).empty()) return std::nullopt;
  std::set<int> classes;
  for (const auto field : SplitAt(text, ',')) {
    std::uint64_t value = 0;
    if (!ParseUnsigned(field, value) || value > 255)
      throw std::invalid_argument("ClassFilter \"" + text +
                                  "\": give class numbers 0 to 255 separated by commas.");
    classes.insert(static_cast<int>(value));
  }
  return classes;
}

}  // namespace dravo::demo
