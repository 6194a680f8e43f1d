// Splitting a cloud into a regular grid of tiles, and the class filter.
#pragma once

#include <demo_converters/core/point.h>

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace dravo::demo {

using TileIndex = std::array<std::int64_t, 3>;

struct TileGrid {
  std::array<double, 3> origin{0, 0, 0};
  std::array<double, 3> length{0, 0, 0};  // 0: that axis is not split
  std::array<std::int64_t, 3> counts{1, 1, 1};

  bool tiled() const { return length[0] > 0 || length[1] > 0 || length[2] > 0; }
  std::uint64_t tileCount() const;
};

inline constexpr std::uint64_t kMaxTiles = 256;  // each open tile holds a file handle and a buffer

// Throws std::invalid_argument for negative lengths or too many tiles.
TileGrid MakeTileGrid(const std::array<double, 3>& min, const std::array<double, 3>& max,
                      const std::array<double, 3>& length);
// The tile of a point; outside is set when the point lies beyond the grid and was clamped.
TileIndex TileOf(const TileGrid& grid, const Point& point, bool& outside);
// "name_tile_<ix>_<iy>.ext" over the split axes; "name.ext" without tiling.
std::string TileFileName(const std::string& stem, const TileGrid& grid, const TileIndex& index,
                         const std::string& extension);

// "2, 6" -> {2, 6}; empty text keeps every class. Throws std::invalid_argument.
std::optional<std::set<int>> ParseClassFilter(const std::string& text);

}  // namespace dravo::demo
