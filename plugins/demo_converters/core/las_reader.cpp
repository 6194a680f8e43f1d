#include <demo_converters/core/las_format.h>

#include <demo_converters/core/block_reader.h>
#include <demo_converters/core/byte_order.h>
#include <demo_converters/core/paths.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <stdexcept>

namespace dravo::demo {

namespace {

using Raw = LasField::Raw;

constexpr std::size_t kRecordHeaderSize = 54;   // of a variable-length record
constexpr std::size_t kExtraBytesSize = 192;    // one extra-bytes description
constexpr std::uint16_t kExtraBytesRecord = 4;  // its record id under "LASF_Spec"

[[noreturn]] void Fail(const std::string& name, const std::string& what) {
  throw std::runtime_error("\"" + name + "\": " + what);
}

int ColourOffset(std::uint8_t format) {
  switch (format) {
    case 2: return 20;
    case 3:
    case 5: return 28;
    case 7:
    case 8:
    case 10: return 30;
    default: return -1;
  }
}

int GpsTimeOffset(std::uint8_t format) {
  if (format >= 6) return 22;
  return format == 1 || format >= 3 ? 20 : -1;
}

int WavePacketOffset(std::uint8_t format) {
  switch (format) {
    case 4: return 28;
    case 5: return 34;
    case 9: return 30;
    case 10: return 38;
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

void Add(LasHeader& h, std::string name, PlyType type, LasField field) {
  h.layout.attributes.push_back({std::move(name), type});
  h.fields.push_back(field);
}

LasField Bits(std::uint16_t offset, std::uint8_t shift, std::uint8_t bits) {
  return {offset, Raw::U8, shift, bits};
}

void AddLegacyFields(LasHeader& h) {
  Add(h, "return_number", PlyType::UInt8, Bits(14, 0, 3));
  Add(h, "number_of_returns", PlyType::UInt8, Bits(14, 3, 3));
  Add(h, "scan_direction_flag", PlyType::UInt8, Bits(14, 6, 1));
  Add(h, "edge_of_flight_line", PlyType::UInt8, Bits(14, 7, 1));
  Add(h, "classification", PlyType::UInt8, Bits(15, 0, 5));
  Add(h, "classification_flags", PlyType::UInt8, Bits(15, 5, 3));
  Add(h, "scan_angle", PlyType::Int8, {16, Raw::I8});
  Add(h, "user_data", PlyType::UInt8, {17, Raw::U8});
  Add(h, "point_source_id", PlyType::UInt16, {18, Raw::U16});
}

void AddExtendedFields(LasHeader& h) {
  Add(h, "return_number", PlyType::UInt8, Bits(14, 0, 4));
  Add(h, "number_of_returns", PlyType::UInt8, Bits(14, 4, 4));
  Add(h, "classification_flags", PlyType::UInt8, Bits(15, 0, 4));
  Add(h, "scanner_channel", PlyType::UInt8, Bits(15, 4, 2));
  Add(h, "scan_direction_flag", PlyType::UInt8, Bits(15, 6, 1));
  Add(h, "edge_of_flight_line", PlyType::UInt8, Bits(15, 7, 1));
  Add(h, "classification", PlyType::UInt8, {16, Raw::U8});
  Add(h, "user_data", PlyType::UInt8, {17, Raw::U8});
  Add(h, "scan_angle", PlyType::Float32, {18, Raw::I16, 0, 0, 0.006});  // degrees
  Add(h, "point_source_id", PlyType::UInt16, {20, Raw::U16});
}

// Every field the point format defines, colour aside.
void AddFormatFields(LasHeader& h) {
  const std::uint8_t format = h.pointFormat;
  Add(h, "intensity", PlyType::UInt16, {12, Raw::U16});
  if (format < 6)
    AddLegacyFields(h);
  else
    AddExtendedFields(h);
  if (const int at = GpsTimeOffset(format); at >= 0)
    Add(h, "gps_time", PlyType::Float64, {std::uint16_t(at), Raw::F64});
  if (format == 8 || format == 10) Add(h, "nir", PlyType::UInt16, {36, Raw::U16});
  if (const int at = WavePacketOffset(format); at >= 0) {
    const auto o = static_cast<std::uint16_t>(at);
    Add(h, "wave_packet_index", PlyType::UInt8, {o, Raw::U8});
    Add(h, "wave_byte_offset", PlyType::Float64, {std::uint16_t(o + 1), Raw::U64});
    Add(h, "wave_packet_size", PlyType::UInt32, {std::uint16_t(o + 9), Raw::U32});
    Add(h, "wave_return_location", PlyType::Float32, {std::uint16_t(o + 13), Raw::F32});
    Add(h, "wave_x_t", PlyType::Float32, {std::uint16_t(o + 17), Raw::F32});
    Add(h, "wave_y_t", PlyType::Float32, {std::uint16_t(o + 21), Raw::F32});
    Add(h, "wave_z_t", PlyType::Float32, {std::uint16_t(o + 25), Raw::F32});
  }
  h.layout.hasColour = ColourOffset(format) >= 0;
}

std::size_t RawSize(Raw raw) {
  constexpr std::size_t kSizes[] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8};
  return kSizes[static_cast<int>(raw)];
}

PlyType TypeOfRaw(Raw raw) {
  constexpr PlyType kTypes[] = {
      PlyType::Int8,   PlyType::UInt8,   PlyType::Int16,   PlyType::UInt16,  PlyType::Int32,
      PlyType::UInt32, PlyType::Float64, PlyType::Float64, PlyType::Float32, PlyType::Float64};
  return kTypes[static_cast<int>(raw)];
}

// Property names are single words; a clash with an earlier name gets a suffix.
std::string UniqueName(std::string name, const LasHeader& h) {
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') c = '_';
  if (name.empty()) name = "extra";
  std::set<std::string> taken;
  for (const auto& attribute : h.layout.attributes) taken.insert(attribute.name);
  std::string unique = name;
  for (int n = 2; taken.count(unique); ++n) unique = name + "_" + std::to_string(n);
  return unique;
}

// Adds the fields one extra-bytes description declares at byte at of the
// record; false when it cannot be placed.
bool AddExtraBytes(LasHeader& h, const char* d, std::size_t& at) {
  const int type = static_cast<unsigned char>(d[2]);
  const int options = static_cast<unsigned char>(d[3]);
  const std::string name = UniqueName(std::string(d + 4, std::find(d + 4, d + 36, '\0')), h);
  if (type == 0) {  // undocumented bytes, options holds their count
    if (at + static_cast<std::size_t>(options) > h.recordLength) return false;
    for (int i = 0; i < options; ++i)
      Add(h, UniqueName(name + "_" + std::to_string(i), h), PlyType::UInt8,
          {std::uint16_t(at++), Raw::U8});
    return true;
  }
  if (type > 30) return false;
  const Raw raw = Raw((type - 1) % 10);
  const int elements = (type - 1) / 10 + 1;  // 11 to 30: deprecated pairs and triples
  if (at + RawSize(raw) * static_cast<std::size_t>(elements) > h.recordLength) return false;
  for (int i = 0; i < elements; ++i) {
    LasField field{std::uint16_t(at), raw};
    if (options & 0x08) field.scale = ReadLittle<double>(d + 112 + 8 * i);
    if (options & 0x10) field.add = ReadLittle<double>(d + 136 + 8 * i);
    const bool scaled = field.scale != 1 || field.add != 0;
    if (!std::isfinite(field.scale) || !std::isfinite(field.add)) return false;
    Add(h, elements == 1 ? name : UniqueName(name + "_" + std::to_string(i), h),
        scaled ? PlyType::Float64 : TypeOfRaw(raw), field);
    at += RawSize(raw);
  }
  return true;
}

void ReadExtraBytes(LasHeader& h, const char* bytes, std::size_t size, const std::string& name) {
  std::size_t at = MinimumRecordLength(h.pointFormat);
  for (std::size_t d = 0; d + kExtraBytesSize <= size; d += kExtraBytesSize)
    if (!AddExtraBytes(h, bytes + d, at)) {
      h.warnings.push_back("\"" + name + "\": an extra-bytes description does not fit the " +
                           std::to_string(h.recordLength) +
                           "-byte records; it and those after "
                           "it are not kept.");
      return;
    }
}

// Walks the variable-length records between the header and the points.
void ReadRecords(BlockReader& reader, LasHeader& h, const std::string& name) {
  if (!reader.skip(h.headerSize)) return;
  for (std::uint32_t i = 0; i < h.recordCount; ++i) {
    if (reader.offset() + kRecordHeaderSize > h.pointOffset) break;
    const char* head = reader.take(kRecordHeaderSize);
    if (!head) break;
    const bool extraBytes = std::strncmp(head + 2, "LASF_Spec", 16) == 0 &&
                            ReadLittle<std::uint16_t>(head + 18) == kExtraBytesRecord;
    const std::uint16_t length = ReadLittle<std::uint16_t>(head + 20);
    if (reader.offset() + length > h.pointOffset) break;
    if (!extraBytes) {
      if (!reader.skip(length)) break;
      continue;
    }
    const char* body = reader.take(length);
    if (!body) break;
    ReadExtraBytes(h, body, length, name);
    return;
  }
}

void WarnAboutUndescribedBytes(LasHeader& h, const std::string& name) {
  std::size_t used = MinimumRecordLength(h.pointFormat);
  for (const auto& field : h.fields)
    if (field.offset >= used) used = field.offset + RawSize(field.raw);
  if (used < h.recordLength)
    h.warnings.push_back("\"" + name + "\": " + std::to_string(h.recordLength - used) +
                         " bytes of each point record are not described by an extra-bytes "
                         "record and are not kept.");
}

double RawValue(const char* b, Raw raw) {
  switch (raw) {
    case Raw::I8: return static_cast<std::int8_t>(*b);
    case Raw::U8: return static_cast<std::uint8_t>(*b);
    case Raw::I16: return ReadLittle<std::int16_t>(b);
    case Raw::U16: return ReadLittle<std::uint16_t>(b);
    case Raw::I32: return ReadLittle<std::int32_t>(b);
    case Raw::U32: return ReadLittle<std::uint32_t>(b);
    case Raw::I64: return static_cast<double>(ReadLittle<std::int64_t>(b));
    case Raw::U64: return static_cast<double>(ReadLittle<std::uint64_t>(b));
    case Raw::F32: return ReadLittle<float>(b);
    case Raw::F64: return ReadLittle<double>(b);
  }
  return 0;
}

double FieldValue(const char* record, const LasField& f) {
  if (f.bits > 0)
    return (static_cast<unsigned>(static_cast<std::uint8_t>(record[f.offset])) >> f.shift) &
           ((1u << f.bits) - 1);
  return RawValue(record + f.offset, f.raw) * f.scale + f.add;
}

}  // namespace

bool StoredAs(const LasField& f, PlyType type) {
  constexpr PlyType kSame[] = {
      PlyType::Int8,   PlyType::UInt8,   PlyType::Int16,   PlyType::UInt16,  PlyType::Int32,
      PlyType::UInt32, PlyType::Float64, PlyType::Float64, PlyType::Float32, PlyType::Float64};
  const bool whole = f.raw != LasField::Raw::I64 && f.raw != LasField::Raw::U64;
  return whole && f.bits == 0 && f.scale == 1 && f.add == 0 && kSame[int(f.raw)] == type;
}

std::string LasHeader::version() const {
  return std::to_string(versionMajor) + "." + std::to_string(versionMinor);
}

std::uint16_t MinimumRecordLength(std::uint8_t format) {
  constexpr std::uint16_t kLengths[] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  return format < 11 ? kLengths[format] : 0;
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
  h.recordCount = ReadLittle<std::uint32_t>(b + 100);
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
    if (h.pointCount != 0 && h.pointCount != count64)
      h.warnings.push_back("\"" + name + "\": the header's 32-bit point count " +
                           std::to_string(h.pointCount) + " disagrees with its 64-bit count " +
                           std::to_string(count64) + "; the 64-bit count is used.");
    h.pointCount = count64;
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
  AddFormatFields(h);
  return h;
}

LasHeader ReadLasHeader(const std::filesystem::path& path) {
  BlockReader reader(path, 1 << 16);
  char bytes[kLasHeaderReadSize] = {};
  std::size_t got = std::min<std::uint64_t>(reader.fileSize(), sizeof bytes);
  const char* head = reader.take(got);
  if (head) std::memcpy(bytes, head, got);
  const std::string name = Utf8Of(path);
  LasHeader header = ParseLasHeader(bytes, head ? got : 0, name, reader.fileSize());
  BlockReader records(path, 1 << 16);
  ReadRecords(records, header, name);
  WarnAboutUndescribedBytes(header, name);
  return header;
}

Point DecodeLasPoint(const char* r, const LasHeader& h, const std::vector<std::size_t>& decoded,
                     double* values) {
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
  for (const std::size_t i : decoded) values[i] = FieldValue(r, h.fields[i]);
  p.values = values;
  p.record = r;
  return p;
}

LasHeader ReadLasPoints(const std::filesystem::path& path,
                        const std::function<void(const Point&)>& onPoint,
                        const std::function<bool(std::size_t)>& wanted) {
  const LasHeader header = ReadLasHeader(path);
  BlockReader reader(path);
  if (!reader.skip(header.pointOffset)) Fail(Utf8Of(path), "the file ends before its point data.");
  std::vector<double> values(header.fields.size());
  std::vector<std::size_t> decoded;
  for (std::size_t i = 0; i < header.fields.size(); ++i)
    if (!wanted || wanted(i)) decoded.push_back(i);
  for (std::uint64_t i = 0; i < header.pointCount; ++i) {
    const char* record = reader.take(header.recordLength);
    if (!record)
      Fail(Utf8Of(path), "truncated: the file ends after " + std::to_string(i) + " of " +
                             std::to_string(header.pointCount) + " points.");
    onPoint(DecodeLasPoint(record, header, decoded, values.data()));
  }
  return header;
}

}  // namespace dravo::demo
