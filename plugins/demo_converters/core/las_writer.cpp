#include <demo_converters/core/las_format.h>

#include <demo_converters/core/byte_order.h>
#include <demo_converters/core/output_file.h>
#include <demo_converters/core/paths.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace dravo::demo {

namespace {

std::string HeaderBytes(const LasLayout& layout, std::uint64_t count, const Bounds& bounds) {
  const std::uint16_t headerSize = HeaderSizeOf(layout.versionMinor);
  std::string h(headerSize, '\0');
  char* b = h.data();
  std::memcpy(b, "LASF", 4);
  b[24] = 1;
  b[25] = static_cast<char>(layout.versionMinor);
  std::memcpy(b + 26, "dravo demo", 10);
  std::memcpy(b + 58, "dravo_demo_samples", 18);
  WriteLittle<std::uint16_t>(b + 94, headerSize);
  WriteLittle<std::uint32_t>(b + 96, headerSize);
  b[104] = static_cast<char>(layout.pointFormat);
  WriteLittle<std::uint16_t>(b + 105, MinimumRecordLength(layout.pointFormat));
  const bool legacyFits =
      layout.pointFormat < 6 && count <= std::numeric_limits<std::uint32_t>::max();
  WriteLittle<std::uint32_t>(b + 107, legacyFits ? static_cast<std::uint32_t>(count) : 0);
  for (int i = 0; i < 3; ++i) {
    WriteLittle<double>(b + 131 + 8 * i, layout.scale[i]);
    WriteLittle<double>(b + 155 + 8 * i, layout.offset[i]);
    WriteLittle<double>(b + 179 + 16 * i, count ? bounds.max[i] : 0.0);
    WriteLittle<double>(b + 187 + 16 * i, count ? bounds.min[i] : 0.0);
  }
  if (layout.versionMinor >= 4) WriteLittle<std::uint64_t>(b + 247, count);
  return h;
}

std::int32_t Quantise(double value, double scale, double offset) {
  return static_cast<std::int32_t>(std::llround((value - offset) / scale));
}

void EncodeRecord(char* r, const Point& p, const LasLayout& layout) {
  const std::uint8_t format = layout.pointFormat;
  std::memset(r, 0, MinimumRecordLength(format));
  WriteLittle(r, Quantise(p.x, layout.scale[0], layout.offset[0]));
  WriteLittle(r + 4, Quantise(p.y, layout.scale[1], layout.offset[1]));
  WriteLittle(r + 8, Quantise(p.z, layout.scale[2], layout.offset[2]));
  WriteLittle<std::uint16_t>(r + 12, 100);  // intensity
  if (format >= 6) {
    r[14] = 0x11;  // return 1 of 1
    r[16] = static_cast<char>(p.classification);
  } else {
    r[14] = 0x09;  // return 1 of 1
    r[15] = static_cast<char>(p.classification & 0x1f);
  }
  const int colour = format == 2                                  ? 20
                     : format == 3 || format == 5                 ? 28
                     : format == 7 || format == 8 || format == 10 ? 30
                                                                  : -1;
  if (colour >= 0) {
    WriteLittle<std::uint16_t>(r + colour, static_cast<std::uint16_t>(p.red * 257));
    WriteLittle<std::uint16_t>(r + colour + 2, static_cast<std::uint16_t>(p.green * 257));
    WriteLittle<std::uint16_t>(r + colour + 4, static_cast<std::uint16_t>(p.blue * 257));
  }
}

}  // namespace

std::uint64_t WriteLas(const std::filesystem::path& path, const LasLayout& layout,
                       const std::function<bool(Point&)>& nextPoint) {
  const std::uint16_t length = MinimumRecordLength(layout.pointFormat);
  if (length == 0 || layout.versionMinor < 0 || layout.versionMinor > 4)
    throw std::invalid_argument(Quoted(path) + ": cannot write this LAS version or format.");
  OutputFile file(path);
  Bounds bounds;
  file.write(HeaderBytes(layout, 0, bounds));
  std::vector<char> record(length);
  Point p;
  while (nextPoint(p)) {
    // Bounds of the stored, quantised values, so readers see them exactly.
    Point stored = p;
    stored.x =
        Quantise(p.x, layout.scale[0], layout.offset[0]) * layout.scale[0] + layout.offset[0];
    stored.y =
        Quantise(p.y, layout.scale[1], layout.offset[1]) * layout.scale[1] + layout.offset[1];
    stored.z =
        Quantise(p.z, layout.scale[2], layout.offset[2]) * layout.scale[2] + layout.offset[2];
    bounds.add(stored);
    EncodeRecord(record.data(), p, layout);
    file.write(record.data(), record.size());
  }
  file.patch(0, HeaderBytes(layout, bounds.count, bounds));
  file.commit();
  return bounds.count;
}

}  // namespace dravo::demo
