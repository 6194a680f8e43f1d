// Streaming reader for PLY point clouds: ASCII and binary of either byte
// order. Only the vertex element is decoded; other elements are skipped by
// their declared layout. Colours of any type are scaled to 0..255.
#pragma once

#include <demo_converters/core/point.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dravo::demo {

enum class PlyFormat { Ascii, BinaryLittleEndian, BinaryBigEndian };

struct PlyProperty {
  std::string name;
  PlyType type = PlyType::Float32;
  bool isList = false;
  PlyType countType = PlyType::UInt8;
};

struct PlyElement {
  std::string name;
  std::uint64_t count = 0;
  std::vector<PlyProperty> properties;
};

struct PlyHeader {
  PlyFormat format = PlyFormat::Ascii;
  std::vector<PlyElement> elements;
  std::size_t vertexElement = 0;
  int x = -1, y = -1, z = -1, red = -1, green = -1, blue = -1;  // property positions
  CloudLayout layout;                    // colour and every other scalar vertex property
  std::vector<int> attributeProperties;  // the property of each layout attribute
  std::vector<std::string> warnings;     // what is read but not kept
  std::uint64_t clampedColours = 0;      // float channels outside 0..1, after reading
  bool hasColour() const { return layout.hasColour; }
  std::uint64_t vertexCount() const { return elements[vertexElement].count; }
};

const char* FormatName(PlyFormat format);

class BlockReader;
// Reads and checks the header, leaving the reader at the first data byte.
PlyHeader ReadPlyHeader(BlockReader& reader);
// Reads the header and streams every vertex to onPoint; the elements after
// the vertices are read through too, so a file cut short anywhere fails.
// onBytes, when given, hears now and then how many bytes of the file were read.
PlyHeader ReadPlyPoints(
    const std::filesystem::path& path, const std::function<void(const Point&)>& onPoint,
    const std::function<void(std::uint64_t read, std::uint64_t size)>& onBytes = {});

}  // namespace dravo::demo
