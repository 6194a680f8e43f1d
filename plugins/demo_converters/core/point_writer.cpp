#include <demo_converters/core/point_writer.h>

#include <demo_converters/core/byte_order.h>

#include <charconv>
#include <string>

namespace dravo::demo {

namespace {

constexpr std::size_t kCountWidth = 20;  // room for any 64-bit count

// Shortest text that reads back to the same double.
char* AppendNumber(char* out, double value) {
  return std::to_chars(out, out + 32, value).ptr;
}

char* AppendNumber(char* out, unsigned value) {
  return std::to_chars(out, out + 8, value).ptr;
}

char* AppendXyzLine(char* out, const Point& p, bool withColour) {
  out = AppendNumber(out, p.x);
  *out++ = ' ';
  out = AppendNumber(out, p.y);
  *out++ = ' ';
  out = AppendNumber(out, p.z);
  if (withColour) {
    for (unsigned channel : {unsigned(p.red), unsigned(p.green), unsigned(p.blue)}) {
      *out++ = ' ';
      out = AppendNumber(out, channel);
    }
  }
  *out++ = '\n';
  return out;
}

class PlyWriter final : public PointWriter {
 public:
  PlyWriter(const std::filesystem::path& target, PlyEncoding encoding, bool withColour,
            std::size_t bufferSize)
      : file_(target, bufferSize), encoding_(encoding), withColour_(withColour) {
    file_.write(std::string("ply\nformat ") +
                (encoding == PlyEncoding::Ascii ? "ascii" : "binary_little_endian") +
                " 1.0\ncomment written by dravo_demo_converters\nelement vertex ");
    countPosition_ = file_.position();
    file_.write(std::string(kCountWidth, ' ') + "\n");
    file_.write("property double x\nproperty double y\nproperty double z\n");
    if (withColour) file_.write("property uchar red\nproperty uchar green\nproperty uchar blue\n");
    file_.write("end_header\n");
  }

  void write(const Point& p) override {
    char record[128];
    char* end = record;
    if (encoding_ == PlyEncoding::Ascii) {
      end = AppendXyzLine(record, p, withColour_);
    } else {
      for (double v : {p.x, p.y, p.z}) {
        WriteLittle(end, v);
        end += sizeof(double);
      }
      if (withColour_) {
        *end++ = static_cast<char>(p.red);
        *end++ = static_cast<char>(p.green);
        *end++ = static_cast<char>(p.blue);
      }
    }
    file_.write(record, static_cast<std::size_t>(end - record));
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
  bool withColour_;
  std::uint64_t countPosition_ = 0;
};

class XyzWriter final : public PointWriter {
 public:
  XyzWriter(const std::filesystem::path& target, bool withColour, std::size_t bufferSize)
      : file_(target, bufferSize), withColour_(withColour) {}

  void write(const Point& p) override {
    char line[160];
    char* end = AppendXyzLine(line, p, withColour_);
    file_.write(line, static_cast<std::size_t>(end - line));
    ++count_;
  }
  void commit() override { file_.commit(); }

 private:
  OutputFile file_;
  bool withColour_;
};

}  // namespace

std::unique_ptr<PointWriter> MakePlyWriter(const std::filesystem::path& target,
                                           PlyEncoding encoding, bool withColour,
                                           std::size_t bufferSize) {
  return std::make_unique<PlyWriter>(target, encoding, withColour, bufferSize);
}

std::unique_ptr<PointWriter> MakeXyzWriter(const std::filesystem::path& target, bool withColour,
                                           std::size_t bufferSize) {
  return std::make_unique<XyzWriter>(target, withColour, bufferSize);
}

}  // namespace dravo::demo
