// Streaming reader for PLY point clouds: ASCII and binary of either byte
// order. Only the vertex element is decoded; elements before it are
// skipped by their declared layout.
#pragma once

#include <demo_converters/core/point.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dravo::demo {

enum class PlyFormat { Ascii, BinaryLittleEndian, BinaryBigEndian };
enum class PlyType { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64 };

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
  bool hasColour() const { return red >= 0 && green >= 0 && blue >= 0; }
  std::uint64_t vertexCount() const { return elements[vertexElement].count; }
};

const char* FormatName(PlyFormat format);

class BlockReader;
// Reads and checks the header, leaving the reader at the first data byte.
PlyHeader ReadPlyHeader(BlockReader& reader);
// Reads the header and streams every vertex to onPoint.
// onBytes, when given, hears now and then how many bytes of the file were read.
PlyHeader ReadPlyPoints(
    const std::filesystem::path& path, const std::function<void(const Point&)>& onPoint,
    const std::function<void(std::uint64_t read, std::uint64_t size)>& onBytes = {});

}  // namespace dravo::demo
