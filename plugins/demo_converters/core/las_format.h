// LAS 1.0 to 1.4 public header and point records (formats 0 to 3 and 6 to 8).
#pragma once

#include <demo_converters/core/point.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace dravo::demo {

struct LasHeader {
  int versionMajor = 1, versionMinor = 2;
  std::uint16_t headerSize = 0;
  std::uint32_t pointOffset = 0;
  std::uint8_t pointFormat = 0;
  std::uint16_t recordLength = 0;
  std::uint64_t pointCount = 0;
  std::array<double, 3> scale{0.01, 0.01, 0.01};
  std::array<double, 3> offset{0, 0, 0};
  std::array<double, 3> min{0, 0, 0};
  std::array<double, 3> max{0, 0, 0};
  std::string software;

  bool hasColour() const;
  bool hasGpsTime() const;
  std::string version() const;
};

inline constexpr std::size_t kLasHeaderReadSize = 375;  // largest public header (1.4)

// Smallest record length of a point format; 0 for formats this reader does not know.
std::uint16_t MinimumRecordLength(std::uint8_t format);
std::uint16_t HeaderSizeOf(int versionMinor);

// Checks the header bytes; name appears in error texts. fileSize 0 skips the size check.
LasHeader ParseLasHeader(const char* bytes, std::size_t size, const std::string& name,
                         std::uint64_t fileSize);
LasHeader ReadLasHeader(const std::filesystem::path& path);
Point DecodeLasPoint(const char* record, const LasHeader& header);
// Streams every point; the header's scale and offset are applied.
LasHeader ReadLasPoints(const std::filesystem::path& path,
                        const std::function<void(const Point&)>& onPoint);

// Writes a LAS file with no variable-length records from a point source that
// answers false when done; bounds and count are filled in at the end.
struct LasLayout {
  int versionMinor = 2;
  std::uint8_t pointFormat = 0;
  std::array<double, 3> scale{0.001, 0.001, 0.001};
  std::array<double, 3> offset{0, 0, 0};
};
std::uint64_t WriteLas(const std::filesystem::path& path, const LasLayout& layout,
                       const std::function<bool(Point&)>& nextPoint);

}  // namespace dravo::demo
