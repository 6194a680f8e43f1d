#include <demo_converters/core/xyz_reader.h>

#include <demo_converters/core/block_reader.h>
#include <demo_converters/core/paths.h>
#include <demo_converters/core/text_fields.h>

#include <stdexcept>
#include <vector>

namespace dravo::demo {

namespace {

constexpr std::uint64_t kNoticeLimit = 5;           // individual notices before only counting
constexpr std::uint64_t kBytesReportMask = 0xFFFF;  // progress every 65,536 lines

std::vector<std::string_view> Fields(std::string_view line, Delimiter delimiter) {
  switch (delimiter) {
    case Delimiter::Comma: return SplitAt(line, ',');
    case Delimiter::Semicolon: return SplitAt(line, ';');
    case Delimiter::Tab: return SplitAt(line, '\t');
    default: return SplitWhitespace(line);
  }
}

bool IsIgnorable(std::string_view line) {
  line = Trim(line);
  return line.empty() || line.front() == '#' || line.starts_with("//");
}

bool ParseChannel(std::string_view text, std::uint8_t& channel) {
  std::uint64_t value = 0;
  if (!ParseUnsigned(text, value) || value > 255) return false;
  channel = static_cast<std::uint8_t>(value);
  return true;
}

bool HasColourColumns(std::string_view line, Delimiter delimiter) {
  const auto fields = Fields(line, delimiter);
  std::uint8_t ignored = 0;
  return fields.size() >= 6 && ParseChannel(fields[3], ignored) &&
         ParseChannel(fields[4], ignored) && ParseChannel(fields[5], ignored);
}

}  // namespace

const char* DelimiterName(Delimiter delimiter) {
  switch (delimiter) {
    case Delimiter::Auto: return "auto";
    case Delimiter::Space: return "space";
    case Delimiter::Comma: return "comma";
    case Delimiter::Semicolon: return "semicolon";
    case Delimiter::Tab: return "tab";
  }
  return "";
}

Delimiter DetectDelimiter(std::string_view line) {
  if (line.find(';') != std::string_view::npos) return Delimiter::Semicolon;
  if (line.find(',') != std::string_view::npos) return Delimiter::Comma;
  return Delimiter::Space;
}

bool ParseXyzLine(std::string_view line, Delimiter delimiter, bool withColour, Point& point) {
  const auto fields = Fields(line, delimiter);
  if (fields.size() < 3 || !ParseDouble(fields[0], point.x) || !ParseDouble(fields[1], point.y) ||
      !ParseDouble(fields[2], point.z))
    return false;
  point.red = point.green = point.blue = 0;
  if (withColour && fields.size() >= 6) {
    ParseChannel(fields[3], point.red);
    ParseChannel(fields[4], point.green);
    ParseChannel(fields[5], point.blue);
  }
  return true;
}

void ReadXyzPoints(const std::filesystem::path& path, const XyzOptions& options,
                   const std::function<void(const Point&)>& onPoint, const NoticeSink& onNotice,
                   XyzSummary& summary, const ByteProgress& onBytes) {
  BlockReader reader(path);
  summary = XyzSummary{};
  summary.delimiter = options.delimiter;
  bool layoutKnown = false;
  std::string line;
  std::uint64_t number = 0;
  while (reader.readLine(line)) {
    if ((++number & kBytesReportMask) == 0 && onBytes) onBytes(reader.offset(), reader.fileSize());
    if (number <= options.skipLines || IsIgnorable(line)) continue;
    if (!layoutKnown) {
      if (summary.delimiter == Delimiter::Auto) summary.delimiter = DetectDelimiter(line);
      summary.hasColour = HasColourColumns(line, summary.delimiter);
    }
    Point p;
    if (!ParseXyzLine(line, summary.delimiter, summary.hasColour, p)) {
      if (++summary.skippedLines <= kNoticeLimit && onNotice)
        onNotice(Quoted(path) + ": skipped line " + std::to_string(number) +
                 ", no three numbers in \"" + line.substr(0, 60) + "\".");
      continue;
    }
    layoutKnown = true;
    p.x = p.x * options.scale[0] + options.offset[0];
    p.y = p.y * options.scale[1] + options.offset[1];
    p.z = p.z * options.scale[2] + options.offset[2];
    ++summary.points;
    onPoint(p);
  }
  if (summary.points == 0)
    throw std::runtime_error(Quoted(path) + ": no point lines found (" +
                             std::to_string(summary.skippedLines) +
                             " unreadable); is the delimiter right?");
  if (summary.skippedLines > kNoticeLimit && onNotice)
    onNotice(Quoted(path) + ": skipped " + std::to_string(summary.skippedLines) +
             " unreadable lines in all.");
}

}  // namespace dravo::demo
