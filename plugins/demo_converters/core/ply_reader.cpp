#include <demo_converters/core/ply_reader.h>

#include <demo_converters/core/block_reader.h>
#include <demo_converters/core/byte_order.h>
#include <demo_converters/core/paths.h>
#include <demo_converters/core/text_fields.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <stdexcept>

namespace dravo::demo {

namespace {

constexpr int kMaxHeaderLines = 4096;
using Words = std::vector<std::string_view>;

[[noreturn]] void Fail(const BlockReader& reader, const std::string& what) {
  throw std::runtime_error(Quoted(reader.path()) + ": " + what);
}

bool ParseType(std::string_view text, PlyType& type) {
  static const std::map<std::string_view, PlyType> kTypes = {
      {"char", PlyType::Int8},      {"int8", PlyType::Int8},       {"uchar", PlyType::UInt8},
      {"uint8", PlyType::UInt8},    {"short", PlyType::Int16},     {"int16", PlyType::Int16},
      {"ushort", PlyType::UInt16},  {"uint16", PlyType::UInt16},   {"int", PlyType::Int32},
      {"int32", PlyType::Int32},    {"uint", PlyType::UInt32},     {"uint32", PlyType::UInt32},
      {"float", PlyType::Float32},  {"float32", PlyType::Float32}, {"double", PlyType::Float64},
      {"float64", PlyType::Float64}};
  const auto found = kTypes.find(text);
  if (found == kTypes.end()) return false;
  type = found->second;
  return true;
}

template <class T>
double Decode(const char* bytes, bool big) {
  return static_cast<double>(big ? ReadBig<T>(bytes) : ReadLittle<T>(bytes));
}

double DecodeScalar(const char* bytes, PlyType type, bool big) {
  switch (type) {
    case PlyType::Int8: return static_cast<std::int8_t>(bytes[0]);
    case PlyType::UInt8: return static_cast<std::uint8_t>(bytes[0]);
    case PlyType::Int16: return Decode<std::int16_t>(bytes, big);
    case PlyType::UInt16: return Decode<std::uint16_t>(bytes, big);
    case PlyType::Int32: return Decode<std::int32_t>(bytes, big);
    case PlyType::UInt32: return Decode<std::uint32_t>(bytes, big);
    case PlyType::Float32: return Decode<float>(bytes, big);
    case PlyType::Float64: return Decode<double>(bytes, big);
  }
  return 0;
}

void ParseFormatLine(BlockReader& reader, const Words& words, PlyHeader& header) {
  if (words.size() != 3) Fail(reader, "malformed PLY format line.");
  if (words[1] == "ascii")
    header.format = PlyFormat::Ascii;
  else if (words[1] == "binary_little_endian")
    header.format = PlyFormat::BinaryLittleEndian;
  else if (words[1] == "binary_big_endian")
    header.format = PlyFormat::BinaryBigEndian;
  else
    Fail(reader, "unknown PLY format \"" + std::string(words[1]) + "\".");
}

void ParseElementLine(BlockReader& reader, const Words& words, PlyHeader& header) {
  std::uint64_t count = 0;
  if (words.size() != 3 || !ParseUnsigned(words[2], count))
    Fail(reader, "malformed PLY element line.");
  header.elements.push_back({std::string(words[1]), count, {}});
}

void ParsePropertyLine(BlockReader& reader, const Words& words, PlyHeader& header) {
  if (header.elements.empty()) Fail(reader, "PLY property before any element.");
  PlyProperty property;
  const bool list = words.size() == 5 && words[1] == "list";
  if (list) {
    property.isList = true;
    if (!ParseType(words[2], property.countType) || !ParseType(words[3], property.type))
      Fail(reader, "unknown type in PLY list property \"" + std::string(words[4]) + "\".");
    property.name = std::string(words[4]);
  } else {
    if (words.size() != 3 || !ParseType(words[1], property.type))
      Fail(reader, "malformed PLY property line.");
    property.name = std::string(words[2]);
  }
  header.elements.back().properties.push_back(property);
}

bool IsChannel(const std::string& name, const char* colour) {
  return name == colour || name == std::string("diffuse_") + colour;
}

void LocateVertexProperties(BlockReader& reader, PlyHeader& header) {
  const auto vertex = std::find_if(header.elements.begin(), header.elements.end(),
                                   [](const PlyElement& e) { return e.name == "vertex"; });
  if (vertex == header.elements.end()) Fail(reader, "the PLY file has no vertex element.");
  header.vertexElement = static_cast<std::size_t>(vertex - header.elements.begin());
  std::vector<int> others;
  for (std::size_t i = 0; i < vertex->properties.size(); ++i) {
    const auto& property = vertex->properties[i];
    const int index = static_cast<int>(i);
    if (property.isList)
      header.warnings.push_back(Quoted(reader.path()) + ": the vertex list property \"" +
                                property.name + "\" is not kept.");
    else if (property.name == "x" && header.x < 0)
      header.x = index;
    else if (property.name == "y" && header.y < 0)
      header.y = index;
    else if (property.name == "z" && header.z < 0)
      header.z = index;
    else if (IsChannel(property.name, "red") && header.red < 0)
      header.red = index;
    else if (IsChannel(property.name, "green") && header.green < 0)
      header.green = index;
    else if (IsChannel(property.name, "blue") && header.blue < 0)
      header.blue = index;
    else
      others.push_back(index);
  }
  if (header.x < 0 || header.y < 0 || header.z < 0)
    Fail(reader, "the PLY vertex element lacks an x, y or z property.");
  header.layout.hasColour = header.red >= 0 && header.green >= 0 && header.blue >= 0;
  // A lone channel is an attribute like any other.
  if (!header.layout.hasColour)
    for (int channel : {header.red, header.green, header.blue})
      if (channel >= 0) others.push_back(channel);
  std::sort(others.begin(), others.end());
  for (int index : others) {
    const auto& property = vertex->properties[static_cast<std::size_t>(index)];
    header.layout.attributes.push_back({property.name, property.type});
    header.attributeProperties.push_back(index);
  }
}

// A list length must be a whole number in range; NaN fails every comparison,
// so the test is written to let only good values through.
bool IsListLength(double count, double limit) {
  return count >= 0 && count <= limit && count == std::floor(count);
}

// The fewest bytes one instance of the element can take: its scalars and list
// counts in binary, one character per value and a blank between in ASCII. At
// least one, so that no count can exceed the file's size.
std::uint64_t MinimumInstanceBytes(const PlyElement& element, PlyFormat format) {
  const std::uint64_t values = element.properties.size();
  if (format == PlyFormat::Ascii) return values == 0 ? 1 : 2 * values - 1;
  std::uint64_t bytes = 0;
  for (const auto& property : element.properties)
    bytes += SizeOf(property.isList ? property.countType : property.type);
  return std::max<std::uint64_t>(bytes, 1);
}

// Rejects counts the rest of the file cannot hold before they drive a loop.
void CheckCountsFit(BlockReader& reader, const PlyHeader& header) {
  std::uint64_t remaining = reader.fileSize() - std::min(reader.fileSize(), reader.offset());
  for (const PlyElement& element : header.elements) {
    const std::uint64_t bytes = MinimumInstanceBytes(element, header.format);
    if (element.count > remaining / bytes)
      Fail(reader, "truncated or corrupt: the header announces " + std::to_string(element.count) +
                       " \"" + element.name + "\" entries, the rest of the file holds at most " +
                       std::to_string(remaining / bytes) + ".");
    remaining -= element.count * bytes;
  }
}

// Reads one element instance in binary into values (list properties are skipped).
bool ReadBinaryInstance(BlockReader& reader, const PlyElement& element, bool big,
                        std::vector<double>& values) {
  values.assign(element.properties.size(), 0.0);
  for (std::size_t i = 0; i < element.properties.size(); ++i) {
    const auto& property = element.properties[i];
    if (property.isList) {
      const char* countBytes = reader.take(SizeOf(property.countType));
      if (!countBytes) return false;
      const double count = DecodeScalar(countBytes, property.countType, big);
      if (!IsListLength(count, 1e12))
        Fail(reader, "impossible list length in element \"" + element.name + "\".");
      if (!reader.skip(static_cast<std::uint64_t>(count) * SizeOf(property.type))) return false;
      continue;
    }
    const char* bytes = reader.take(SizeOf(property.type));
    if (!bytes) return false;
    values[i] = DecodeScalar(bytes, property.type, big);
  }
  return true;
}

// Reads one element instance from one ASCII line.
bool ReadAsciiInstance(BlockReader& reader, const PlyElement& element, std::string& line,
                       std::vector<double>& values) {
  if (!reader.readLine(line)) return false;
  const auto words = SplitWhitespace(line);
  values.assign(element.properties.size(), 0.0);
  std::size_t word = 0;
  for (std::size_t i = 0; i < element.properties.size(); ++i) {
    double value = 0;
    if (word >= words.size() || !ParseDouble(words[word++], value))
      Fail(reader, "unreadable \"" + element.name + "\" line: \"" + line.substr(0, 80) + "\".");
    if (element.properties[i].isList) {
      if (!IsListLength(value, static_cast<double>(words.size())))
        Fail(reader, "impossible list length in element \"" + element.name + "\".");
      word += static_cast<std::size_t>(value);
    } else {
      values[i] = value;
    }
  }
  return true;
}

// A colour channel of any stored type as 0..255: floats are taken as 0..1,
// wider integers are scaled down; clamped counts what lay outside.
std::uint8_t Channel(double value, PlyType type, std::uint64_t& clamped) {
  double scaled = value;
  switch (type) {
    case PlyType::Float32:
    case PlyType::Float64: scaled = value * 255; break;
    case PlyType::Int16:
    case PlyType::UInt16: scaled = value * 255 / 65535; break;
    case PlyType::Int32:
    case PlyType::UInt32: scaled = value * 255 / 4294967295.0; break;
    default: break;
  }
  if (!(scaled >= 0 && scaled <= 255)) {
    ++clamped;
    return scaled > 255 ? 255 : 0;
  }
  return static_cast<std::uint8_t>(std::lround(scaled));
}

}  // namespace

const char* FormatName(PlyFormat format) {
  switch (format) {
    case PlyFormat::Ascii: return "ascii";
    case PlyFormat::BinaryLittleEndian: return "binary little-endian";
    case PlyFormat::BinaryBigEndian: return "binary big-endian";
  }
  return "";
}

PlyHeader ReadPlyHeader(BlockReader& reader) {
  std::string line;
  if (!reader.readLine(line, 256) || line != "ply")
    Fail(reader, "not a PLY file (no \"ply\" magic).");
  PlyHeader header;
  bool sawFormat = false;
  for (int lines = 0; lines < kMaxHeaderLines; ++lines) {
    if (!reader.readLine(line, 4096)) Fail(reader, "the PLY header ends without end_header.");
    const auto words = SplitWhitespace(line);
    if (words.empty() || words[0] == "comment" || words[0] == "obj_info") continue;
    if (words[0] == "end_header") {
      if (!sawFormat) Fail(reader, "the PLY header has no format line.");
      LocateVertexProperties(reader, header);
      CheckCountsFit(reader, header);
      return header;
    }
    if (words[0] == "format") {
      ParseFormatLine(reader, words, header);
      sawFormat = true;
    } else if (words[0] == "element") {
      ParseElementLine(reader, words, header);
    } else if (words[0] == "property") {
      ParsePropertyLine(reader, words, header);
    } else {
      Fail(reader, "unknown PLY header line \"" + line.substr(0, 80) + "\".");
    }
  }
  Fail(reader, "the PLY header is too long.");
}

PlyHeader ReadPlyPoints(const std::filesystem::path& path,
                        const std::function<void(const Point&)>& onPoint,
                        const std::function<void(std::uint64_t, std::uint64_t)>& onBytes) {
  BlockReader reader(path);
  PlyHeader header = ReadPlyHeader(reader);
  const bool big = header.format == PlyFormat::BinaryBigEndian;
  const auto& vertexProperties = header.elements[header.vertexElement].properties;
  std::vector<double> values, attributes(header.attributeProperties.size());
  std::string line;
  for (std::size_t e = 0; e < header.elements.size(); ++e) {
    const PlyElement& element = header.elements[e];
    // A binary element without properties has no bytes to read, however many it announces.
    if (header.format != PlyFormat::Ascii && element.properties.empty()) continue;
    for (std::uint64_t i = 0; i < element.count; ++i) {
      const bool ok = header.format == PlyFormat::Ascii
                          ? ReadAsciiInstance(reader, element, line, values)
                          : ReadBinaryInstance(reader, element, big, values);
      if (!ok)
        Fail(reader, "truncated: the header announces " + std::to_string(element.count) + " \"" +
                         element.name + "\" entries, the file ends after " + std::to_string(i) +
                         ".");
      if ((i & 0xFFFF) == 0 && onBytes) onBytes(reader.offset(), reader.fileSize());
      if (e != header.vertexElement) continue;
      Point p;
      p.x = values[header.x];
      p.y = values[header.y];
      p.z = values[header.z];
      if (header.hasColour()) {
        const auto channel = [&](int at) {
          return Channel(values[at], vertexProperties[at].type, header.clampedColours);
        };
        p.red = channel(header.red);
        p.green = channel(header.green);
        p.blue = channel(header.blue);
      }
      for (std::size_t a = 0; a < attributes.size(); ++a)
        attributes[a] = values[header.attributeProperties[a]];
      p.values = attributes.data();
      onPoint(p);
    }
  }
  return header;
}

}  // namespace dravo::demo
