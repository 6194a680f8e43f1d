// Streaming reader for XYZ-style text point clouds: one point per line, in a
// column layout settled per file (from the Columns option, a header line
// naming x, y and z first, or the first data line) and applied to every line.
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
  // Column names separated by commas, such as "x,y,z,intensity,r,g,b"; empty
  // or "auto" settles them from the file.
  std::string columns;
};

struct XyzSummary {
  std::uint64_t points = 0;
  std::uint64_t skippedLines = 0;         // unparsable, not counting blanks and comments
  Delimiter delimiter = Delimiter::Auto;  // the one actually used
  CloudLayout layout;                     // colour and the other columns
  std::string columns;                    // the names of every column, by blanks
};

using NoticeSink = std::function<void(const std::string&)>;
// Bytes read so far of the file's size; called now and then and at the end.
using ByteProgress = std::function<void(std::uint64_t read, std::uint64_t size)>;

Delimiter DetectDelimiter(std::string_view line);
const char* DelimiterName(Delimiter delimiter);

// Fails unless a point line comes within the first lines (or the file holds
// none at all): the check a conversion makes before it writes anything.
XyzSummary ProbeXyz(const std::filesystem::path& path, const XyzOptions& options);

// summary is kept current while reading: the layout is settled before the
// first point reaches onPoint. A value that does not fit its column throws.
void ReadXyzPoints(const std::filesystem::path& path, const XyzOptions& options,
                   const std::function<void(const Point&)>& onPoint, const NoticeSink& onNotice,
                   XyzSummary& summary, const ByteProgress& onBytes = {});

}  // namespace dravo::demo
