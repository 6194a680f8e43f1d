// Streaming reader for XYZ-style text point clouds: three coordinates per
// line, optionally followed by red, green, blue in 0..255.
#pragma once

#include <demo_converters/core/point.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace dravo::demo {

enum class Delimiter { Auto, Space, Comma, Semicolon, Tab };

struct XyzOptions {
  Delimiter delimiter = Delimiter::Auto;
  std::uint64_t skipLines = 0;
  std::array<double, 3> scale{1, 1, 1};
  std::array<double, 3> offset{0, 0, 0};
};

struct XyzSummary {
  std::uint64_t points = 0;
  std::uint64_t skippedLines = 0;  // unparsable, not counting blanks and comments
  bool hasColour = false;
  Delimiter delimiter = Delimiter::Auto;  // the one actually used
};

using NoticeSink = std::function<void(const std::string&)>;
// Bytes read so far of the file's size; called now and then, not per point.
using ByteProgress = std::function<void(std::uint64_t read, std::uint64_t size)>;

// Parses one data line; false when it holds no three numbers.
bool ParseXyzLine(std::string_view line, Delimiter delimiter, bool withColour, Point& point);
Delimiter DetectDelimiter(std::string_view line);
const char* DelimiterName(Delimiter delimiter);

// summary is kept current while reading: hasColour is settled before the
// first point reaches onPoint.
void ReadXyzPoints(const std::filesystem::path& path, const XyzOptions& options,
                   const std::function<void(const Point&)>& onPoint, const NoticeSink& onNotice,
                   XyzSummary& summary, const ByteProgress& onBytes = {});

}  // namespace dravo::demo
