// LAS 1.0 to 1.4 public header and point records (formats 0 to 10),
// including the extra bytes that records carry beyond their format.
#pragma once

#include <demo_converters/core/point.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dravo::demo {

// Where one attribute sits in a point record and how its stored value maps
// to the attribute: (raw >> shift, masked to bits when bits > 0) * scale + add.
struct LasField {
  enum class Raw { I8, U8, I16, U16, I32, U32, I64, U64, F32, F64 };
  std::uint16_t offset = 0;
  Raw raw = Raw::U8;
  std::uint8_t shift = 0, bits = 0;
  double scale = 1, add = 0;
};

// True when the field's stored bytes are its value in type, little-endian.
bool StoredAs(const LasField& field, PlyType type);

struct LasHeader {
  int versionMajor = 1, versionMinor = 2;
  std::uint16_t headerSize = 0;
  std::uint32_t pointOffset = 0;
  std::uint32_t recordCount = 0;  // variable-length records
  std::uint8_t pointFormat = 0;
  std::uint16_t recordLength = 0;
  std::uint64_t pointCount = 0;
  std::array<double, 3> scale{0.01, 0.01, 0.01};
  std::array<double, 3> offset{0, 0, 0};
  std::array<double, 3> min{0, 0, 0};
  std::array<double, 3> max{0, 0, 0};
  std::string software;
  CloudLayout layout;            // hasColour and every attribute of the records
  std::vector<LasField> fields;  // one per layout attribute
  std::vector<std::string> warnings;

  bool hasColour() const { return layout.hasColour; }
  std::string version() const;
};

inline constexpr std::size_t kLasHeaderReadSize = 375;  // largest public header (1.4)

// Smallest record length of a point format; 0 for formats that do not exist.
std::uint16_t MinimumRecordLength(std::uint8_t format);
std::uint16_t HeaderSizeOf(int versionMinor);

// Checks the header bytes; name appears in error texts. fileSize 0 skips the size check.
LasHeader ParseLasHeader(const char* bytes, std::size_t size, const std::string& name,
                         std::uint64_t fileSize);
// The header and the extra-bytes descriptions among the variable-length records.
LasHeader ReadLasHeader(const std::filesystem::path& path);
// values receives the layout attributes whose indices are listed in decoded.
Point DecodeLasPoint(const char* record, const LasHeader& header,
                     const std::vector<std::size_t>& decoded, double* values);
// Streams every point; the header's scale and offset are applied. Only the
// attributes for which wanted answers true are decoded; all without it.
LasHeader ReadLasPoints(const std::filesystem::path& path,
                        const std::function<void(const Point&)>& onPoint,
                        const std::function<bool(std::size_t attribute)>& wanted = {});

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
