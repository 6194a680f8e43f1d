#include <demo_converters/core/xyz_reader.h>

#include <demo_converters/core/block_reader.h>
#include <demo_converters/core/paths.h>
#include <demo_converters/core/text_fields.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <stdexcept>
#include <vector>

namespace dravo::demo {

namespace {

constexpr std::uint64_t kNoticeLimit = 5;           // individual notices before only counting
constexpr std::uint64_t kBytesReportMask = 0xFFFF;  // progress every 65,536 lines
constexpr std::uint64_t kLinesBeforeData = 20;      // lines that may precede the first point
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class Kind { X, Y, Z, Red, Green, Blue, Value };

struct Layout {
  std::vector<Kind> kinds;  // one per column
  CloudLayout cloud;
};

std::vector<std::string_view> Fields(std::string_view line, Delimiter delimiter) {
  const char at = delimiter == Delimiter::Comma       ? ','
                  : delimiter == Delimiter::Semicolon ? ';'
                  : delimiter == Delimiter::Tab       ? '\t'
                                                      : ' ';
  if (at == ' ') return SplitWhitespace(line);
  auto fields = SplitAt(line, at);
  if (fields.size() > 1 && fields.back().empty()) fields.pop_back();  // a trailing delimiter
  return fields;
}

bool IsIgnorable(std::string_view line) {
  line = Trim(line);
  return line.empty() || line.front() == '#' || line.starts_with("//");
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

void AddColumn(Layout& layout, std::string_view given) {
  std::string name = Lower(Trim(given));
  static const std::pair<const char*, Kind> kKnown[] = {
      {"x", Kind::X},         {"y", Kind::Y},     {"z", Kind::Z},
      {"r", Kind::Red},       {"red", Kind::Red}, {"g", Kind::Green},
      {"green", Kind::Green}, {"b", Kind::Blue},  {"blue", Kind::Blue}};
  for (const auto& [known, kind] : kKnown)
    if (name == known) return layout.kinds.push_back(kind);
  if (name == "i") name = "intensity";
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') c = '_';
  const bool normal = name == "nx" || name == "ny" || name == "nz";
  const auto& taken = layout.cloud.attributes;
  const auto unique = [&](const std::string& candidate) {
    return std::none_of(taken.begin(), taken.end(),
                        [&](const Attribute& a) { return a.name == candidate; });
  };
  std::string property = name;
  for (int n = 2; !unique(property); ++n) property = name + "_" + std::to_string(n);
  layout.kinds.push_back(Kind::Value);
  layout.cloud.attributes.push_back({property, normal ? PlyType::Float32 : PlyType::Float64});
}

Layout LayoutOf(const std::vector<std::string_view>& names) {
  Layout layout;
  for (const auto name : names) AddColumn(layout, name);
  const auto has = [&](Kind kind) {
    return std::count(layout.kinds.begin(), layout.kinds.end(), kind) == 1;
  };
  if (!has(Kind::X) || !has(Kind::Y) || !has(Kind::Z) || layout.kinds[0] != Kind::X ||
      layout.kinds[1] != Kind::Y || layout.kinds[2] != Kind::Z)
    throw std::invalid_argument("Columns must start with x, y and z, each named once.");
  const int channels = has(Kind::Red) + has(Kind::Green) + has(Kind::Blue);
  if (channels != 0 && channels != 3)
    throw std::invalid_argument("Columns must name all of r, g and b, or none.");
  layout.cloud.hasColour = channels == 3;
  return layout;
}

Layout LayoutOf(const std::string& names) {
  std::vector<std::string_view> split;
  for (const auto name : SplitAt(names, ',')) split.push_back(name);
  return LayoutOf(split);
}

bool IsByte(std::string_view text) {
  std::uint64_t value = 0;
  return ParseUnsigned(text, value) && value <= 255;
}

// The usual layouts, told apart by the number of values on the first point line.
Layout LayoutFromValues(const std::vector<std::string_view>& fields) {
  const bool bytesAt3 =
      fields.size() >= 6 && IsByte(fields[3]) && IsByte(fields[4]) && IsByte(fields[5]);
  switch (fields.size()) {
    case 3: return LayoutOf("x,y,z");
    case 4: return LayoutOf("x,y,z,intensity");
    case 6: return LayoutOf(bytesAt3 ? "x,y,z,r,g,b" : "x,y,z,nx,ny,nz");
    case 7: return LayoutOf("x,y,z,intensity,r,g,b");
    case 9: return LayoutOf("x,y,z,r,g,b,nx,ny,nz");
    default: break;
  }
  std::string names = "x,y,z";
  for (std::size_t i = 4; i <= fields.size(); ++i) names += ",column_" + std::to_string(i);
  return LayoutOf(names);
}

// A header line names its columns, x, y and z first; a leading comment mark is allowed.
std::vector<std::string> HeaderNames(std::string_view line, Delimiter delimiter) {
  line = Trim(line);
  if (line.starts_with("//"))
    line.remove_prefix(2);
  else if (line.starts_with("#"))
    line.remove_prefix(1);
  auto names = Fields(Trim(line), delimiter);
  if (names.size() < 3 || Lower(names[0]) != "x" || Lower(names[1]) != "y" ||
      Lower(names[2]) != "z")
    return {};
  return {names.begin(), names.end()};
}

bool ParseXyz(const std::vector<std::string_view>& fields, Point& point) {
  return fields.size() >= 3 && ParseDouble(fields[0], point.x) && ParseDouble(fields[1], point.y) &&
         ParseDouble(fields[2], point.z);
}

class Reader {
 public:
  Reader(const std::filesystem::path& path, const XyzOptions& options, XyzSummary& summary)
      : path_(path), options_(options), summary_(summary), reader_(path) {
    summary_ = XyzSummary{};
    summary_.delimiter = options.delimiter;
    const std::string columns = Lower(Trim(options.columns));
    if (!columns.empty() && columns != "auto") given_ = LayoutOf(options.columns);
  }

  // Hands on points until the file ends, or only until the first when probing.
  void run(const std::function<void(const Point&)>& onPoint, const NoticeSink& onNotice,
           const ByteProgress& onBytes, bool probing) {
    std::string line;
    std::uint64_t number = 0;
    while (reader_.readLine(line)) {
      if ((++number & kBytesReportMask) == 0 && onBytes)
        onBytes(reader_.offset(), reader_.fileSize());
      Point p;
      if (!pointOf(line, number, p, onNotice)) continue;
      if (probing) return;
      take(p, number);
      p.x = p.x * options_.scale[0] + options_.offset[0];
      p.y = p.y * options_.scale[1] + options_.offset[1];
      p.z = p.z * options_.scale[2] + options_.offset[2];
      ++summary_.points;
      onPoint(p);
    }
    if (onBytes) onBytes(reader_.offset(), reader_.fileSize());
    finish(onNotice);
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error(Quoted(path_) + ": " + what);
  }

  // Reads x, y and z of a point line, settling the delimiter and the layout
  // at the first; false for a line without a point, which a header line
  // before the first point may name the columns of.
  bool pointOf(std::string& line, std::uint64_t number, Point& p, const NoticeSink& onNotice) {
    if (number == 1 && line.starts_with(kByteOrderMark)) line.erase(0, kByteOrderMark.size());
    if (number <= options_.skipLines) return false;
    const bool ignorable = IsIgnorable(line);
    if (!settled_ && summary_.delimiter == Delimiter::Auto && !ignorable)
      summary_.delimiter = DetectDelimiter(line);
    fields_ = Fields(line, summary_.delimiter);
    if (!ignorable && ParseXyz(fields_, p)) {
      if (!settled_) settle();
      return true;
    }
    if (auto names = HeaderNames(line, summary_.delimiter); !settled_ && !names.empty())
      header_ = std::move(names);
    if (!ignorable) skip(number, line, onNotice);
    if (!settled_ && summary_.skippedLines >= kLinesBeforeData)
      fail("no point line among the first " + std::to_string(kLinesBeforeData) +
           " lines; is the delimiter right?");
    return false;
  }

  void finish(const NoticeSink& onNotice) {
    if (summary_.skippedLines > 0 && !settled_)
      fail("no point lines found (" + std::to_string(summary_.skippedLines) +
           " unreadable); is the delimiter right?");
    if (!settled_) layout_ = LayoutOf("x,y,z");  // an empty cloud
    publish();
    if (summary_.skippedLines > kNoticeLimit && onNotice)
      onNotice(Quoted(path_) + ": skipped " + std::to_string(summary_.skippedLines) +
               " unreadable lines in all.");
  }

  void skip(std::uint64_t number, const std::string& line, const NoticeSink& onNotice) {
    if (++summary_.skippedLines <= kNoticeLimit && onNotice)
      onNotice(Quoted(path_) + ": skipped line " + std::to_string(number) +
               ", no three numbers in \"" + line.substr(0, 60) + "\".");
  }

  void settle() {
    if (given_)
      layout_ = *given_;
    else
      layout_ = HeaderLayout().value_or(LayoutFromValues(fields_));
    settled_ = true;
    values_.assign(layout_.cloud.attributes.size(), 0.0);
    publish();
  }

  // The header line's names, when they fit the first point line and make a layout.
  std::optional<Layout> HeaderLayout() const {
    if (header_.size() != fields_.size()) return std::nullopt;
    try {
      return LayoutOf(std::vector<std::string_view>(header_.begin(), header_.end()));
    } catch (const std::invalid_argument&) {
      return std::nullopt;
    }
  }

  void publish() {
    summary_.layout = layout_.cloud;
    summary_.columns.clear();
    std::size_t value = 0;
    for (const Kind kind : layout_.kinds) {
      static const char* const kNames[] = {"x", "y", "z", "red", "green", "blue"};
      if (!summary_.columns.empty()) summary_.columns += ' ';
      summary_.columns += kind == Kind::Value ? layout_.cloud.attributes[value++].name
                                              : kNames[static_cast<int>(kind)];
    }
  }

  // Reads every column after x, y and z into the point.
  void take(Point& p, std::uint64_t number) {
    const std::string where = "line " + std::to_string(number) + ": ";
    if (fields_.size() != layout_.kinds.size())
      fail(where + std::to_string(fields_.size()) + " values where the columns " +
           summary_.columns + " take " + std::to_string(layout_.kinds.size()) + ".");
    std::size_t value = 0;
    for (std::size_t i = 3; i < fields_.size(); ++i) {
      const Kind kind = layout_.kinds[i];
      if (kind == Kind::Value) {
        if (!ParseDouble(fields_[i], values_[value]))
          fail(where + "\"" + std::string(fields_[i]) + "\" is not a number for " +
               layout_.cloud.attributes[value].name + ".");
        ++value;
        continue;
      }
      std::uint64_t channel = 0;
      if (!ParseUnsigned(fields_[i], channel) || channel > 255)
        fail(where + "\"" + std::string(fields_[i]) +
             "\" does not fit a colour column (a whole number 0 to 255).");
      (kind == Kind::Red     ? p.red
       : kind == Kind::Green ? p.green
                             : p.blue) = static_cast<std::uint8_t>(channel);
    }
    p.values = values_.data();
  }

  std::filesystem::path path_;
  const XyzOptions& options_;
  XyzSummary& summary_;
  BlockReader reader_;
  std::optional<Layout> given_;
  Layout layout_;
  bool settled_ = false;
  std::vector<std::string_view> fields_;
  std::vector<std::string> header_;  // names from a line before the first point
  std::vector<double> values_;
};

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

XyzSummary ProbeXyz(const std::filesystem::path& path, const XyzOptions& options) {
  XyzSummary summary;
  Reader(path, options, summary).run([](const Point&) {}, {}, {}, true);
  return summary;
}

void ReadXyzPoints(const std::filesystem::path& path, const XyzOptions& options,
                   const std::function<void(const Point&)>& onPoint, const NoticeSink& onNotice,
                   XyzSummary& summary, const ByteProgress& onBytes) {
  Reader(path, options, summary).run(onPoint, onNotice, onBytes, false);
}

}  // namespace dravo::demo
