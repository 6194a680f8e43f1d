// JSON text into values: RapidJSON's reader checks the syntax and the
// encoding, and its events build the tree here, within the nesting limit.
#include "json_storage.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>

namespace Qarn::mcp {

namespace {

// The decimal exponent of a JSON number's leading digit: above zero for a
// number out of range because it is too large, below zero when too small.
long ExponentOf(std::string_view number) {
  const auto e = number.find_first_of("eE");
  const std::string_view digits = number.substr(0, e);
  long exponent = 0;
  if (e != std::string_view::npos) {
    const auto text = number.substr(e + 1 + (number[e + 1] == '+'));
    if (std::from_chars(text.data(), text.data() + text.size(), exponent).ec != std::errc())
      exponent = text[0] == '-' ? -100000 : 100000;
    // Far beyond any double either way, and safe to add the digits' count to.
    exponent = std::clamp(exponent, -100000L, 100000L);
  }
  const auto point = std::min(digits.find('.'), digits.size());
  const auto first = digits.find_first_of("123456789");
  if (first == std::string_view::npos) return -100000;  // zero
  return exponent + (first < point ? long(point - first) - 1 : -long(first - point));
}

// The reader checks the raw bytes, but a lone surrogate written as a \u
// escape still decodes to bytes that are not UTF-8 (they start with 0xED);
// they become U+FFFD here, so that what is read is what is written back.
std::optional<std::string> LoneSurrogatesReplaced(std::string_view text) {
  if (text.find('\xED') == std::string_view::npos) return std::nullopt;
  return RepairedUtf8(text);
}

// Builds values from the parser's events with an explicit stack of open
// containers, so nesting costs heap, not call depth.
class TreeBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TreeBuilder> {
 public:
  VMCPJsonValue root;
  bool tooDeep = false;
  bool numberTooBig = false;

  bool Null() { return add(VMCPJsonValue()); }
  bool Bool(bool b) { return add(VMCPJsonValue(b)); }
  // The reader checks the syntax; the standard library converts, correctly
  // rounded, so that what was written reads back as the same number.
  bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
    const char* end = text + length;
    if (std::string_view(text, length).find_first_of(".eE") == std::string_view::npos) {
      std::int64_t integer = 0;
      if (std::from_chars(text, end, integer).ec == std::errc()) return add(VMCPJsonValue(integer));
      std::uint64_t big = 0;
      if (std::from_chars(text, end, big).ec == std::errc()) return add(VMCPJsonValue(big));
    }
    double number = 0;
    if (std::from_chars(text, end, number).ec == std::errc()) return add(VMCPJsonValue(number));
    if (ExponentOf(std::string_view(text, length)) > 0) return !(numberTooBig = true);
    return add(VMCPJsonValue(text[0] == '-' ? -0.0 : 0.0));  // too small: zero
  }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    const auto repaired = LoneSurrogatesReplaced({text, length});
    return add(VMCPJsonValue(repaired ? *repaired : std::string_view(text, length)));
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    const auto repaired = LoneSurrogatesReplaced({text, length});
    key_ = repaired ? *repaired : std::string_view(text, length);
    return true;
  }
  bool StartObject() { return open(VMCPJsonValue::MakeObject()); }
  bool EndObject(rapidjson::SizeType) { return close(); }
  bool StartArray() { return open(VMCPJsonValue::MakeArray()); }
  bool EndArray(rapidjson::SizeType) { return close(); }

 private:
  // A container's place stays put while it is open: its parent takes no
  // other value until it closes.
  VMCPJsonValue* place(VMCPJsonValue&& value) {
    if (open_.empty()) return &(root = std::move(value));
    VMCPJsonValue& container = *open_.back();
    if (container.isArray()) {
      container.push_back(std::move(value));
      return &JsonStorage::ElementsFor(container).back();
    }
    return &(container[key_] = std::move(value));  // a repeated key: the last one wins
  }
  bool add(VMCPJsonValue&& value) {
    place(std::move(value));
    return true;
  }
  bool open(VMCPJsonValue&& container) {
    if (open_.size() >= VMCPJsonValue::kMaxDepth) return !(tooDeep = true);
    open_.push_back(place(std::move(container)));
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  std::vector<VMCPJsonValue*> open_;
  std::string key_;
};

constexpr unsigned kParseFlags = rapidjson::kParseIterativeFlag |
                                 rapidjson::kParseNumbersAsStringsFlag |
                                 rapidjson::kParseValidateEncodingFlag;

}  // namespace

VMCPJsonValue VMCPJsonValue::Parse(std::string_view text) {
  // The reader takes a NUL for the end of the text; here it is an error.
  if (const auto nul = text.find('\0'); nul != std::string_view::npos)
    throw VMCPJsonParseError("A NUL byte is not allowed in JSON text.", nul + 1);
  rapidjson::MemoryStream in(text.data(), text.size());
  TreeBuilder builder;
  rapidjson::Reader reader;
  if (const auto result = reader.Parse<kParseFlags>(in, builder); result.IsError()) {
    const std::string message =
        builder.tooDeep        ? "Nesting is deeper than " + std::to_string(kMaxDepth) + " levels."
        : builder.numberTooBig ? "Number too big to be stored in double."
                               : rapidjson::GetParseError_En(result.Code());
    throw VMCPJsonParseError(message, result.Offset() + 1);
  }
  return std::move(builder.root);
}

VMCPJsonParseError::VMCPJsonParseError(const std::string& message, std::size_t position)
    : std::runtime_error(message), position_(position) {}

}  // namespace Qarn::mcp
