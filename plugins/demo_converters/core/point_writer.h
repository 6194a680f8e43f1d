// Streaming writers for the two output formats. The point count of a PLY
// header is not known up front (filters, tiles, skipped lines), so the
// header reserves room for it and is patched on commit.
#pragma once

#include <demo_converters/core/output_file.h>
#include <demo_converters/core/point.h>

#include <filesystem>
#include <memory>

namespace dravo::demo {

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
                                           PlyEncoding encoding, bool withColour,
                                           std::size_t bufferSize = kDefaultBuffer);
std::unique_ptr<PointWriter> MakeXyzWriter(const std::filesystem::path& target, bool withColour,
                                           std::size_t bufferSize = kDefaultBuffer);

}  // namespace dravo::demo
