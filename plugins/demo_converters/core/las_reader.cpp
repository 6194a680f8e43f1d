#include <demo_converters/core/las_format.h>

#include <demo_converters/core/block_reader.h>
#include <demo_converters/core/byte_order.h>
#include <demo_converters/core/paths.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace dravo::demo {

namespace {

[[noreturn]] void Fail(const std::string& name, const std::string& what) {
  throw std::runtime_error("\"" + name + "\": " + what);
}

int ColourOffset(std::uint8_t format) {
  switch (format) {
    case 2: return 20;
    case 3: return 28;
    case 7:
    case 8: return 30;
    default: return -1;
  }
}

std::uint8_t EightBit(const char* bytes) {
  return static_cast<std::uint8_t>(ReadLittle<std::uint16_t>(bytes) >> 8);
}

void ReadTriple(const char* bytes, std::array<double, 3>& out) {
  for (int i = 0; i < 3; ++i) out[i] = ReadLittle<double>(bytes + 8 * i);
}

void CheckScaleAndBounds(const LasHeader& h, const std::string& name) {
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(h.scale[i]) || h.scale[i] == 0)
      Fail(name, "the LAS header has an unusable scale factor.");
    if (!std::isfinite(h.offset[i]) || !std::isfinite(h.min[i]) || !std::isfinite(h.max[i]))
      Fail(name, "the LAS header has non-finite offsets or bounds.");
  }
}

}  // namespace

bool LasHeader::hasColour() const {
  return ColourOffset(pointFormat) >= 0;
}
bool LasHeader::hasGpsTime() const {
  return pointFormat != 0 && pointFormat != 2;
}
std::string LasHeader::version() const {
  return std::to_string(versionMajor) + "." + std::to_string(versionMinor);
}

std::uint16_t MinimumRecordLength(std::uint8_t format) {
  constexpr std::uint16_t kLengths[] = {20, 28, 26, 34, 0, 0, 30, 36, 38};
  return format < 9 ? kLengths[format] : 0;
}

std::uint16_t HeaderSizeOf(int versionMinor) {
  return versionMinor >= 4 ? 375 : versionMinor == 3 ? 235 : 227;
}

LasHeader ParseLasHeader(const char* b, std::size_t size, const std::string& name,
                         std::uint64_t fileSize) {
  if (size < 4 || std::memcmp(b, "LASF", 4) != 0) Fail(name, "not a LAS file (no \"LASF\" magic).");
  if (size < 227) Fail(name, "truncated LAS header.");
  LasHeader h;
  h.versionMajor = static_cast<unsigned char>(b[24]);
  h.versionMinor = static_cast<unsigned char>(b[25]);
  if (h.versionMajor != 1 || h.versionMinor > 4)
    Fail(name, "unsupported LAS version " + h.version() + " (1.0 to 1.4 are read).");
  h.software.assign(b + 58, std::find(b + 58, b + 90, '\0'));
  h.headerSize = ReadLittle<std::uint16_t>(b + 94);
  h.pointOffset = ReadLittle<std::uint32_t>(b + 96);
  h.pointFormat = static_cast<std::uint8_t>(b[104] & 0x3f);  // top bits flag compression
  h.recordLength = ReadLittle<std::uint16_t>(b + 105);
  h.pointCount = ReadLittle<std::uint32_t>(b + 107);
  ReadTriple(b + 131, h.scale);
  ReadTriple(b + 155, h.offset);
  for (int i = 0; i < 3; ++i) {
    h.max[i] = ReadLittle<double>(b + 179 + 16 * i);
    h.min[i] = ReadLittle<double>(b + 187 + 16 * i);
  }
  if (h.headerSize < HeaderSizeOf(h.versionMinor) || size < HeaderSizeOf(h.versionMinor))
    Fail(name, "the LAS header is shorter than version " + h.version() + " requires.");
  if (h.versionMinor >= 4) {
    const auto count64 = ReadLittle<std::uint64_t>(b + 247);
    if (h.pointCount == 0 || h.pointFormat >= 6) h.pointCount = count64;
  }
  if (b[104] & 0xc0) Fail(name, "compressed LAS point data is not supported.");
  if (MinimumRecordLength(h.pointFormat) == 0)
    Fail(name, "unsupported LAS point data format " + std::to_string(h.pointFormat) + ".");
  if (h.recordLength < MinimumRecordLength(h.pointFormat))
    Fail(name, "point records of " + std::to_string(h.recordLength) +
                   " bytes are too short for format " + std::to_string(h.pointFormat) + ".");
  if (h.pointOffset < h.headerSize) Fail(name, "the point data offset lies inside the header.");
  CheckScaleAndBounds(h, name);
  if (fileSize > 0) {
    const std::uint64_t available =
        fileSize > h.pointOffset ? (fileSize - h.pointOffset) / h.recordLength : 0;
    if (available < h.pointCount)
      Fail(name, "truncated: the header announces " + std::to_string(h.pointCount) +
                     " points, the file holds " + std::to_string(available) + ".");
  }
  return h;
}

LasHeader ReadLasHeader(const std::filesystem::path& path) {
  BlockReader reader(path, 1 << 12);
  char bytes[kLasHeaderReadSize] = {};
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const char* byte = reader.take(1);
    if (!byte) break;
    bytes[got++] = *byte;
  }
  return ParseLasHeader(bytes, got, Utf8Of(path), reader.fileSize());
}

Point DecodeLasPoint(const char* r, const LasHeader& h) {
  Point p;
  p.x = ReadLittle<std::int32_t>(r) * h.scale[0] + h.offset[0];
  p.y = ReadLittle<std::int32_t>(r + 4) * h.scale[1] + h.offset[1];
  p.z = ReadLittle<std::int32_t>(r + 8) * h.scale[2] + h.offset[2];
  p.classification = h.pointFormat >= 6 ? static_cast<std::uint8_t>(r[16])
                                        : static_cast<std::uint8_t>(r[15] & 0x1f);
  if (const int colour = ColourOffset(h.pointFormat); colour >= 0) {
    p.red = EightBit(r + colour);
    p.green = EightBit(r + colour + 2);
    p.blue = EightBit(r + colour + 4);
  }
  return p;
}

LasHeader ReadLasPoints(const std::filesystem::path& path,
                        const std::function<void(const Point&)>& onPoint) {
  const LasHeader header = ReadLasHeader(path);
  BlockReader reader(path);
  if (!reader.skip(header.pointOffset)) Fail(Utf8Of(path), "the file ends before its point data.");
  for (std::uint64_t i = 0; i < header.pointCount; ++i) {
    const char* record = reader.take(header.recordLength);
    if (!record)
      Fail(Utf8Of(path), "truncated: the file ends after " + std::to_string(i) + " of " +
                             std::to_string(header.pointCount) + " points.");
    onPoint(DecodeLasPoint(record, header));
  }
  return header;
}

}  // namespace dravo::demo
