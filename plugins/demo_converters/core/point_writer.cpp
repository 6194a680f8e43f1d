#include <demo_converters/core/point_writer.h>

#include <demo_converters/core/byte_order.h>
#include <demo_converters/core/text_fields.h>

#include <charconv>
#include <cstring>
#include <stdexcept>
#include <string>

namespace dravo::demo {

namespace {

constexpr std::size_t kCountWidth = 20;   // room for any 64-bit count
constexpr std::size_t kLongestText = 32;  // one number as text, with its separator

Column Coordinate(Column::Kind kind, std::string name) {
  return {kind, 0, std::move(name), PlyType::Float64};
}
Column Channel(Column::Kind kind, std::string name) {
  return {kind, 0, std::move(name), PlyType::UInt8};
}

void AddColour(Columns& columns) {
  columns.push_back(Channel(Column::Red, "red"));
  columns.push_back(Channel(Column::Green, "green"));
  columns.push_back(Channel(Column::Blue, "blue"));
}

void AddNamed(Columns& columns, std::string_view name, const CloudLayout& layout) {
  const auto needColour = [&] {
    if (!layout.hasColour)
      throw std::invalid_argument("this file has no colour for \"" + std::string(name) + "\".");
  };
  if (name == "all" || name == "xyz") {
    columns.push_back(Coordinate(Column::X, "x"));
    columns.push_back(Coordinate(Column::Y, "y"));
    columns.push_back(Coordinate(Column::Z, "z"));
  }
  if (name == "all" || name == "rgb") {
    if (layout.hasColour) AddColour(columns);
  }
  if (name == "all") {
    for (std::size_t i = 0; i < layout.attributes.size(); ++i)
      columns.push_back({Column::Value, i, layout.attributes[i].name, layout.attributes[i].type});
  }
  if (name == "all" || name == "xyz" || name == "rgb") return;
  if (name == "x" || name == "y" || name == "z") {
    const auto kind = Column::Kind(Column::X + (name[0] - 'x'));
    columns.push_back(Coordinate(kind, std::string(name)));
  } else if (name == "r" || name == "red") {
    needColour();
    columns.push_back(Channel(Column::Red, "red"));
  } else if (name == "g" || name == "green") {
    needColour();
    columns.push_back(Channel(Column::Green, "green"));
  } else if (name == "b" || name == "blue") {
    needColour();
    columns.push_back(Channel(Column::Blue, "blue"));
  } else {
    for (std::size_t i = 0; i < layout.attributes.size(); ++i)
      if (layout.attributes[i].name == name) {
        columns.push_back({Column::Value, i, layout.attributes[i].name, layout.attributes[i].type});
        return;
      }
    throw std::invalid_argument("this file has no attribute \"" + std::string(name) + "\".");
  }
}

double ValueOf(const Column& column, const Point& p) {
  switch (column.kind) {
    case Column::X: return p.x;
    case Column::Y: return p.y;
    case Column::Z: return p.z;
    case Column::Red: return p.red;
    case Column::Green: return p.green;
    case Column::Blue: return p.blue;
    case Column::Value: return p.values[column.index];
  }
  return 0;
}

// Shortest text that reads back to the same double.
char* AppendNumber(char* out, double value) {
  return std::to_chars(out, out + kLongestText - 1, value).ptr;
}

char* AppendTextLine(char* out, const Columns& columns, const Point& p) {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) *out++ = ' ';
    const double value = ValueOf(columns[i], p);
    // A float property reads back as the float it is, not as its double widening.
    out = columns[i].type == PlyType::Float32
              ? std::to_chars(out, out + kLongestText - 1, static_cast<float>(value)).ptr
              : AppendNumber(out, value);
  }
  *out++ = '\n';
  return out;
}

// One binary column as a single dispatch code: a coordinate, a channel, or
// a layout value by its type. Values come from the reader in their declared
// type, so the casts are exact.
// One step of a binary record: a coordinate, a channel, a layout value by
// its type, or bytes taken from the stored record. Neighbouring coordinates,
// channels and record bytes are merged into one step. Values come from the
// reader in their declared type, so the casts are exact.
struct BinaryStep {
  int code;
  std::size_t index = 0, size = 0;  // the value, or the record bytes
  std::uint8_t shift = 0, mask = 0;
};

constexpr int kValue = Column::Value;
constexpr int kXy = kValue + 8, kXyz = kXy + 1, kRg = kXy + 2, kRgb = kXy + 3, kBits = kXy + 4,
              kCopy = kXy + 5;

BinaryStep StepOf(const Column& c) {
  if (c.recordOffset >= 0 && c.bits > 0)
    return {kBits, std::size_t(c.recordOffset), 1, c.shift, std::uint8_t((1u << c.bits) - 1)};
  if (c.recordOffset >= 0) return {kCopy, std::size_t(c.recordOffset), SizeOf(c.type)};
  if (c.kind == Column::Value) return {kValue + static_cast<int>(c.type), c.index};
  return {static_cast<int>(c.kind)};
}

bool Merge(BinaryStep& last, const BinaryStep& next) {
  const auto into = [&](int code) { return last.code = code, true; };
  if (last.code == Column::X && next.code == Column::Y) return into(kXy);
  if (last.code == kXy && next.code == Column::Z) return into(kXyz);
  if (last.code == Column::Red && next.code == Column::Green) return into(kRg);
  if (last.code == kRg && next.code == Column::Blue) return into(kRgb);
  if (last.code == kCopy && next.code == kCopy && next.index == last.index + last.size)
    return last.size += next.size, true;
  return false;
}

std::vector<BinaryStep> BinaryStepsOf(const Columns& columns) {
  std::vector<BinaryStep> steps;
  for (const auto& column : columns) {
    const BinaryStep step = StepOf(column);
    if (steps.empty() || !Merge(steps.back(), step)) steps.push_back(step);
  }
  return steps;
}

template <class T>
char* Put(char* out, double value) {
  WriteLittle(out, static_cast<T>(value));
  return out + sizeof(T);
}

char* AppendBinary(char* out, const BinaryStep& step, const Point& p) {
  const double* values = p.values;
  switch (step.code) {
    case Column::X: return Put<double>(out, p.x);
    case Column::Y: return Put<double>(out, p.y);
    case Column::Z: return Put<double>(out, p.z);
    case Column::Red: *out = static_cast<char>(p.red); return out + 1;
    case Column::Green: *out = static_cast<char>(p.green); return out + 1;
    case Column::Blue: *out = static_cast<char>(p.blue); return out + 1;
    case kValue + int(PlyType::Int8): return Put<std::int8_t>(out, values[step.index]);
    case kValue + int(PlyType::UInt8): return Put<std::uint8_t>(out, values[step.index]);
    case kValue + int(PlyType::Int16): return Put<std::int16_t>(out, values[step.index]);
    case kValue + int(PlyType::UInt16): return Put<std::uint16_t>(out, values[step.index]);
    case kValue + int(PlyType::Int32): return Put<std::int32_t>(out, values[step.index]);
    case kValue + int(PlyType::UInt32): return Put<std::uint32_t>(out, values[step.index]);
    case kValue + int(PlyType::Float32): return Put<float>(out, values[step.index]);
    case kValue + int(PlyType::Float64): return Put<double>(out, values[step.index]);
    case kXy: return Put<double>(Put<double>(out, p.x), p.y);
    case kXyz: return Put<double>(Put<double>(Put<double>(out, p.x), p.y), p.z);
    case kRg:
      out[0] = static_cast<char>(p.red);
      out[1] = static_cast<char>(p.green);
      return out + 2;
    case kRgb:
      out[0] = static_cast<char>(p.red);
      out[1] = static_cast<char>(p.green);
      out[2] = static_cast<char>(p.blue);
      return out + 3;
    case kBits:
      *out = static_cast<char>((static_cast<std::uint8_t>(p.record[step.index]) >> step.shift) &
                               step.mask);
      return out + 1;
    default: std::memcpy(out, p.record + step.index, step.size); return out + step.size;
  }
}

class PlyWriter final : public PointWriter {
 public:
  PlyWriter(const std::filesystem::path& target, PlyEncoding encoding, const Columns& columns,
            std::size_t bufferSize)
      : file_(target, bufferSize),
        encoding_(encoding),
        columns_(columns),
        binary_(BinaryStepsOf(columns)),
        record_(columns.size() * kLongestText + 1) {
    file_.write(std::string("ply\nformat ") +
                (encoding == PlyEncoding::Ascii ? "ascii" : "binary_little_endian") +
                " 1.0\ncomment written by dravo_demo_converters\nelement vertex ");
    countPosition_ = file_.position();
    file_.write(std::string(kCountWidth, ' ') + "\n");
    for (const auto& column : columns)
      file_.write(std::string("property ") + TypeName(column.type) + " " + column.name + "\n");
    file_.write("end_header\n");
  }

  void write(const Point& p) override {
    char* start = record_.data();
    char* end = start;
    if (encoding_ == PlyEncoding::Ascii) {
      end = AppendTextLine(end, columns_, p);
    } else {
      for (const auto& column : binary_) end = AppendBinary(end, column, p);
    }
    file_.write(start, static_cast<std::size_t>(end - start));
    ++count_;
  }

  void commit() override {
    std::string count = std::to_string(count_);
    count.resize(kCountWidth, ' ');
    file_.patch(countPosition_, count);
    file_.commit();
  }

 private:
  OutputFile file_;
  PlyEncoding encoding_;
  Columns columns_;
  std::vector<BinaryStep> binary_;
  std::vector<char> record_;
  std::uint64_t countPosition_ = 0;
};

class XyzWriter final : public PointWriter {
 public:
  XyzWriter(const std::filesystem::path& target, const Columns& columns, std::size_t bufferSize)
      : file_(target, bufferSize), columns_(columns), line_(columns.size() * kLongestText + 1) {}

  void write(const Point& p) override {
    char* end = AppendTextLine(line_.data(), columns_, p);
    file_.write(line_.data(), static_cast<std::size_t>(end - line_.data()));
    ++count_;
  }
  void commit() override { file_.commit(); }

 private:
  OutputFile file_;
  Columns columns_;
  std::vector<char> line_;
};

}  // namespace

Columns ColumnsOf(const std::string& list, const CloudLayout& layout) {
  Columns columns;
  for (const auto name : SplitAt(list, ',')) {
    if (name.empty()) throw std::invalid_argument("\"" + list + "\" holds an empty name.");
    AddNamed(columns, name, layout);
  }
  return columns;
}

std::string NamesOf(const Columns& columns) {
  std::string names;
  for (const auto& column : columns) AppendListed(names, column.name, " ");
  return names;
}

std::unique_ptr<PointWriter> MakePlyWriter(const std::filesystem::path& target,
                                           PlyEncoding encoding, const Columns& columns,
                                           std::size_t bufferSize) {
  return std::make_unique<PlyWriter>(target, encoding, columns, bufferSize);
}

std::unique_ptr<PointWriter> MakeXyzWriter(const std::filesystem::path& target,
                                           const Columns& columns, std::size_t bufferSize) {
  return std::make_unique<XyzWriter>(target, columns, bufferSize);
}

}  // namespace dravo::demo
