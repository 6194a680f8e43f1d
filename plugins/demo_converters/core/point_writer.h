// Streaming writers for the two output formats. The point count of a PLY
// header is not known up front (filters, tiles, skipped lines), so the
// header reserves room for it and is patched on commit.
#pragma once

#include <demo_converters/core/output_file.h>
#include <demo_converters/core/point.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace dravo::demo {

// One output column: a coordinate, a colour channel or a layout attribute.
struct Column {
  enum Kind { X, Y, Z, Red, Green, Blue, Value } kind = X;
  std::size_t index = 0;  // the attribute, for Value
  std::string name;
  PlyType type = PlyType::Float64;
  // For binary output: the value stands in Point::record at this offset,
  // whole in its type, or as bits many bits from shift up (bits > 0).
  int recordOffset = -1;
  std::uint8_t shift = 0, bits = 0;
};
using Columns = std::vector<Column>;

// The columns a list names: "all", "xyz", "rgb" (when the cloud has colour),
// x, y, z, r/red, g/green, b/blue or attribute names, separated by commas.
// Throws std::invalid_argument for a name the cloud does not carry.
Columns ColumnsOf(const std::string& list, const CloudLayout& layout);
std::string NamesOf(const Columns& columns);

class PointWriter {
 public:
  virtual ~PointWriter() = default;
  virtual void write(const Point& point) = 0;
  // Finishes the file and renames it into place.
  virtual void commit() = 0;
  std::uint64_t count() const { return count_; }

 protected:
  std::uint64_t count_ = 0;
};

enum class PlyEncoding { Ascii, BinaryLittleEndian };

inline constexpr std::size_t kDefaultBuffer = 1 << 20;

std::unique_ptr<PointWriter> MakePlyWriter(const std::filesystem::path& target,
                                           PlyEncoding encoding, const Columns& columns,
                                           std::size_t bufferSize = kDefaultBuffer);
std::unique_ptr<PointWriter> MakeXyzWriter(const std::filesystem::path& target,
                                           const Columns& columns,
                                           std::size_t bufferSize = kDefaultBuffer);

}  // namespace dravo::demo
