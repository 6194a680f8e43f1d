#include <qarn/mcp/json_value.h>

#include "block_cache.h"
#include "block_vector.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>

namespace Qarn::mcp {

// Members are kept in the order they were first set. Small objects are
// scanned; past a few members an open-addressing table of positions finds a
// key in O(1).
struct MemberIndex {
  std::vector<std::uint32_t> slots;  // position + 1; 0 is an empty slot
};

namespace {

const VMCPJsonValue& nullValue() noexcept {
  static const VMCPJsonValue value{};
  return value;
}

using MemberTable = BlockVector<VMCPJsonValue::Member, MemberIndex>;
using ElementList = BlockVector<VMCPJsonValue, NoHeader>;

constexpr std::size_t kScannedMembers = 8;
constexpr std::size_t kFirstMembers = 5;   // a typical record at once, not 1, 2, 4, 8
constexpr std::size_t kFirstElements = 2;  // short lists are the common case

std::size_t Home(std::string_view key, std::size_t slots) noexcept {
  return std::hash<std::string_view>{}(key) & (slots - 1);
}

std::optional<std::size_t> Find(const MemberTable* table, std::string_view key) noexcept {
  if (!table) return std::nullopt;
  const auto members = table->span();
  const auto& slots = table->slots;
  if (slots.empty()) {
    for (std::size_t i = 0; i < members.size(); ++i)
      if (members[i].key() == key) return i;
    return std::nullopt;
  }
  for (std::size_t s = Home(key, slots.size());; s = (s + 1) & (slots.size() - 1)) {
    if (slots[s] == 0) return std::nullopt;
    if (members[slots[s] - 1].key() == key) return slots[s] - 1;
  }
}

void Place(MemberTable& table, std::size_t position) {
  auto& slots = table.slots;
  std::size_t s = Home(table.items()[position].key(), slots.size());
  while (slots[s] != 0) s = (s + 1) & (slots.size() - 1);
  slots[s] = std::uint32_t(position + 1);
}

void Reindex(MemberTable& table) {
  if (table.size <= kScannedMembers) return table.slots.clear();
  table.slots.assign(std::bit_ceil(4 * std::size_t(table.size)), 0);
  for (std::size_t i = 0; i < table.size; ++i) Place(table, i);
}

VMCPJsonValue& AddMember(MemberTable*& table, std::string_view key) {
  auto& member = MemberTable::Append(table, kFirstMembers, key);
  if (table->size > kScannedMembers) {
    if (table->slots.size() < 2 * std::size_t(table->size))
      Reindex(*table);
    else
      Place(*table, table->size - 1);
  }
  return member.value;
}

const char* KindName(VMCPJsonValue::Kind kind) {
  static const char* const names[] = {"null", "boolean", "number", "string", "array", "object"};
  return names[kind];
}

// A recycled block holding the text (see BlockText), and its release.
char* NewTextBlock(std::string_view text) {
  char* block = static_cast<char*>(AllocateBlock(sizeof(std::size_t) + text.size()));
  const std::size_t size = text.size();
  std::memcpy(block, &size, sizeof size);
  std::memcpy(block + sizeof size, text.data(), size);
  return block;
}
void FreeTextBlock(std::string_view blockText) noexcept {
  FreeBlock(const_cast<char*>(blockText.data()) - sizeof(std::size_t),
            sizeof(std::size_t) + blockText.size());
}

// Copies without a call for the short runs that most strings are.
inline void CopyBytes(char* to, const char* from, std::size_t count) noexcept {
  if (count > 16) return void(std::memcpy(to, from, count));
  if (count >= 8) {
    std::uint64_t head, tail;  // overlapping when count < 16
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + count - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + count - 8, &tail, 8);
  } else if (count >= 4) {
    std::uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + count - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + count - 4, &tail, 4);
  } else {
    for (std::size_t i = 0; i < count; ++i) to[i] = from[i];
  }
}

// Lets the writer append to a std::string through a cursor, one compare a
// byte. It grows as the string does: no room is set aside for worst-case
// escaping, which the writer asks for on every string. With a spill, what it
// holds is handed over each time it has grown past the spill's size.
class StringOutput {
 public:
  using Ch = char;
  explicit StringOutput(std::string& out, const VMCPJsonValue::Spill* spill = nullptr,
                        std::size_t spillBytes = 0)
      : out_(out),
        used_(out.size()),
        spill_(spill && *spill ? spill : nullptr),
        spillBytes_(spillBytes) {
    remap();
  }
  StringOutput(const StringOutput&) = delete;
  StringOutput& operator=(const StringOutput&) = delete;
  ~StringOutput() { out_.resize(size()); }

  void Put(char c) {
    if (cursor_ == end_) makeRoom(1);
    *cursor_++ = c;
  }
  void Flush() {}
  void Append(const char* bytes, std::size_t count) {
    if (std::size_t(end_ - cursor_) < count) makeRoom(count);
    CopyBytes(cursor_, bytes, count);
    cursor_ += count;
  }
  // The bytes between two quotes (one or two bytes each).
  void AppendQuoted(const char* bytes, std::size_t count, std::string_view quote = "\"") {
    const std::size_t room = count + 2 * quote.size();
    if (std::size_t(end_ - cursor_) < room) makeRoom(room);
    std::memcpy(cursor_, quote.data(), quote.size());
    CopyBytes(cursor_ + quote.size(), bytes, count);
    std::memcpy(cursor_ + quote.size() + count, quote.data(), quote.size());
    cursor_ += room;
  }
  std::size_t size() const noexcept { return used_ + std::size_t(cursor_ - start_); }

 private:
  void makeRoom(std::size_t count) {
    used_ = size();
    if (spill_ && used_ >= spillBytes_) {
      out_.resize(used_);
      (*spill_)(out_);
      used_ = out_.size();
    }
    // Small steps: the string's own growth is geometric, and only the bytes
    // stepped over are touched, not all the capacity.
    out_.resize(used_ + std::max(count, std::clamp<std::size_t>(used_, 256, 64 * 1024)));
    remap();
  }
  void remap() {
    start_ = cursor_ = out_.data() + used_;
    end_ = out_.data() + out_.size();
  }

  std::string& out_;
  std::size_t used_;  // bytes before start_
  const VMCPJsonValue::Spill* spill_;
  std::size_t spillBytes_;
  char* start_ = nullptr;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
};

bool IsQuote(char c) {
  return c == '"' || c == '\\';
}

// Writes the text twice at once: as it is, and as it reads inside a JSON
// string literal. The writer hands over plain runs, which hold no quote or
// backslash, and puts every other byte on its own.
class TwinOutput {
 public:
  using Ch = char;
  TwinOutput(StringOutput& plain, StringOutput& escaped) : plain_(plain), escaped_(escaped) {}

  void Put(char c) {
    plain_.Put(c);
    if (IsQuote(c)) escaped_.Put('\\');
    escaped_.Put(c);
  }
  void Flush() {}
  void Append(const char* bytes, std::size_t count) {
    plain_.Append(bytes, count);
    escaped_.Append(bytes, count);
  }
  void AppendQuoted(const char* bytes, std::size_t count) {
    plain_.AppendQuoted(bytes, count);
    escaped_.AppendQuoted(bytes, count, "\\\"");
  }

 private:
  StringOutput& plain_;
  StringOutput& escaped_;
};

// The writer reserves room and then puts unchecked; these streams check as
// they put, so reserving is not needed.
template <class Output>
concept CheckedOutput = std::same_as<Output, StringOutput> || std::same_as<Output, TwinOutput>;
template <CheckedOutput Output>
inline void PutReserve(Output&, std::size_t) {}
template <CheckedOutput Output>
inline void PutUnsafe(Output& out, char c) {
  out.Put(c);
}

// The library's writer, and a way to put a string known to need no escape
// or repair in one piece: one check for room, not one per byte put.
template <class Output>
class ValueWriter : public rapidjson::Writer<Output> {
 public:
  using rapidjson::Writer<Output>::Writer;
  void PlainString(std::string_view text) {
    this->Prefix(rapidjson::kStringType);
    this->os_->AppendQuoted(text.data(), text.size());
    this->EndValue(true);
  }
};
using Writer = ValueWriter<StringOutput>;
using TwinWriter = ValueWriter<TwinOutput>;

// Eight bytes at a time: the high bit of each byte that is zero, exactly.
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
std::uint64_t ZeroBytes(std::uint64_t v) {
  return ~(((v & kLow7) + kLow7) | v | kLow7);
}
std::uint64_t BytesEqual(std::uint64_t v, char c) {
  return ZeroBytes(v ^ (kOnes * static_cast<unsigned char>(c)));
}
std::uint64_t ControlBytes(std::uint64_t v) {
  return ZeroBytes(v & (kOnes * 0xE0));
}
// Quotes and backslashes: in a string, a backslash goes before each.
std::uint64_t QuoteBytes(std::uint64_t v) {
  return BytesEqual(v, '"') | BytesEqual(v, '\\');
}
// The bytes that a JSON string cannot carry as they are.
std::uint64_t EscapedBytes(std::uint64_t v) {
  return ControlBytes(v) | QuoteBytes(v);
}

// Plain text is ASCII that a JSON string carries as it is: it needs no
// escape and no repair.
bool IsPlain(std::string_view text) noexcept {
  std::size_t at = 0;
  for (std::uint64_t eight; at + 8 <= text.size(); at += 8) {
    std::memcpy(&eight, text.data() + at, 8);
    if (((eight & 0x8080808080808080u) | EscapedBytes(eight)) != 0) return false;
  }
  for (; at < text.size(); ++at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x80 || c < 0x20 || IsQuote(char(c))) return false;
  }
  return true;
}

// Length of the run at the start of text that JSON strings carry as it is,
// looked at eight bytes at a time.
std::size_t PlainRun(const char* text, const char* end) {
  const char* at = text;
  for (std::uint64_t eight; end - at >= 8; at += 8) {
    std::memcpy(&eight, at, 8);
    const std::uint64_t escaped = EscapedBytes(eight);
    if (escaped == 0) continue;
    if constexpr (std::endian::native == std::endian::little)
      return std::size_t(at - text) + std::size_t(std::countr_zero(escaped) / 8);
    break;
  }
  while (at != end) {
    const auto c = static_cast<unsigned char>(*at);
    if (c < 0x20 || IsQuote(char(c))) break;
    ++at;
  }
  return std::size_t(at - text);
}

// The writer's hook for copying the plain runs of a string at once; it then
// escapes the byte the run stops at itself, as without the hook.
template <class Output>
bool WritePlainRun(rapidjson::StringStream& is, std::size_t length, Output& out) {
  const auto run = PlainRun(is.src_, is.head_ + length);
  out.Append(is.src_, run);
  is.src_ += run;
  return is.Tell() < length;
}

}  // namespace
}  // namespace Qarn::mcp

namespace rapidjson {
template <>
inline bool Writer<Qarn::mcp::StringOutput>::ScanWriteUnescapedString(StringStream& is,
                                                                      size_t length) {
  return Qarn::mcp::WritePlainRun(is, length, *os_);
}
template <>
inline bool Writer<Qarn::mcp::TwinOutput>::ScanWriteUnescapedString(StringStream& is,
                                                                    size_t length) {
  return Qarn::mcp::WritePlainRun(is, length, *os_);
}

}  // namespace rapidjson

namespace Qarn::mcp {
namespace {

struct DiscardOutput {
  using Ch = char;
  void Put(char) {}
};

// The text with every byte that is not part of valid UTF-8 replaced by
// U+FFFD, or nothing when the text is valid already (the common case).
std::optional<std::string> RepairedUtf8(std::string_view text) {
  DiscardOutput sink;
  std::optional<std::string> repaired;
  std::size_t copied = 0;
  for (std::size_t at = 0; at < text.size();) {
    if (at + 8 <= text.size()) {
      std::uint64_t eight;
      std::memcpy(&eight, text.data() + at, 8);
      if ((eight & 0x8080808080808080u) == 0) {
        at += 8;  // plain ASCII, eight bytes at a time
        continue;
      }
    }
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    rapidjson::MemoryStream in(text.data() + at, text.size() - at);
    if (rapidjson::UTF8<>::Validate(in, sink)) {
      at += in.Tell();
      continue;
    }
    if (!repaired) repaired.emplace();
    repaired->append(text.substr(copied, at - copied)).append("\xEF\xBF\xBD");
    copied = ++at;
  }
  if (repaired) repaired->append(text.substr(copied));
  return repaired;
}

// Most strings are ASCII: checked inline, they skip what a repair costs.
bool IsAscii(std::string_view text) {
  std::uint64_t high = 0;
  std::size_t at = 0;
  for (std::uint64_t eight; at + 8 <= text.size(); at += 8) {
    std::memcpy(&eight, text.data() + at, 8);
    high |= eight;
  }
  for (; at < text.size(); ++at) high |= static_cast<unsigned char>(text[at]);
  return (high & 0x8080808080808080u) == 0;
}

// Bytes that are not UTF-8 are written as U+FFFD.
template <class W>
void WriteString(std::string_view text, W& writer) {
  if (IsPlain(text)) return writer.PlainString(text);  // most are: in one piece
  std::optional<std::string> repaired;
  if (!IsAscii(text)) repaired = RepairedUtf8(text);
  if (repaired)
    writer.String(repaired->data(), rapidjson::SizeType(repaired->size()));
  else
    writer.String(text.data(), rapidjson::SizeType(text.size()));
}

// The reader checks the raw bytes, but a lone surrogate written as a \u
// escape still decodes to bytes that are not UTF-8 (they start with 0xED);
// they become U+FFFD here, so that what is read is what is written back.
std::optional<std::string> LoneSurrogatesReplaced(std::string_view text) {
  if (text.find('\xED') == std::string_view::npos) return std::nullopt;
  return RepairedUtf8(text);
}

// Counts the quotes and backslashes in text; false when it holds a control
// byte, which needs more than a backslash before it.
bool CountQuotes(std::string_view text, std::size_t& quotes) {
  std::size_t at = 0;
  for (std::uint64_t eight; at + 8 <= text.size(); at += 8) {
    std::memcpy(&eight, text.data() + at, 8);
    if (ControlBytes(eight) != 0) return false;
    // One high bit per match; the multiply adds them up in the top byte.
    quotes += std::size_t(((QuoteBytes(eight) >> 7) * kOnes) >> 56);
  }
  for (; at < text.size(); ++at) {
    if (static_cast<unsigned char>(text[at]) < 0x20) return false;
    quotes += IsQuote(text[at]);
  }
  return true;
}

// Text without control bytes as a string literal: a backslash before each of
// its quotes and backslashes, written into room made at once. Compact JSON
// text is such text, and quoting it is how a result becomes its text item.
void QuotePlainTo(std::string_view text, std::size_t quotes, std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + text.size() + quotes + 2);
  char* to = out.data() + start;
  *to++ = '"';
  const char* from = text.data();
  const char* const end = from + text.size();
  const auto copyOne = [&to](char c) {
    if (IsQuote(c)) *to++ = '\\';
    *to++ = c;
  };
  for (std::uint64_t eight; end - from >= 8; from += 8) {
    std::memcpy(&eight, from, 8);
    if (QuoteBytes(eight) == 0) {
      std::memcpy(to, &eight, 8);
      to += 8;
    } else {
      for (int i = 0; i < 8; ++i) copyOne(from[i]);
    }
  }
  while (from != end) copyOne(*from++);
  *to = '"';
}

}  // namespace

// The parser and the writer reach the payload through here.
class JsonValueAccess {
 public:
  static VMCPJsonValue MakeString(std::string_view text) {
    VMCPJsonValue value;
    value.setText(text);
    return value;
  }
  static VMCPJsonValue& Append(VMCPJsonValue& array, VMCPJsonValue&& value) {
    array.push_back(std::move(value));
    return array.p_.elements->items()[array.p_.elements->size - 1];
  }
  // Invalid UTF-8 in a string is replaced as it is written, so that what
  // has been written can go out before the rest.
  template <class W>
  static void Write(const VMCPJsonValue& value, W& writer);
};

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
    return add(JsonValueAccess::MakeString(repaired ? *repaired : std::string_view(text, length)));
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
  VMCPJsonValue* place(VMCPJsonValue&& value) {
    if (open_.empty()) return &(root = std::move(value));
    VMCPJsonValue& container = *open_.back();
    if (container.isArray()) return &JsonValueAccess::Append(container, std::move(value));
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

template <class W>
void JsonValueAccess::Write(const VMCPJsonValue& value, W& writer) {
  switch (value.kind) {
    case VMCPJsonValue::Null: writer.Null(); return;
    case VMCPJsonValue::Boolean: writer.Bool(value.p_.boolean); return;
    case VMCPJsonValue::Number:
      if (value.integral_)
        writer.Int64(value.p_.integer);
      else if (std::isfinite(value.p_.number))
        writer.Double(value.p_.number);
      else
        writer.Null();  // JSON has no infinities
      return;
    case VMCPJsonValue::String: WriteString(value.text(), writer); return;
    case VMCPJsonValue::Array:
      writer.StartArray();
      for (const auto& element : value.asArray()) Write(element, writer);
      writer.EndArray();
      return;
    case VMCPJsonValue::Object:
      writer.StartObject();
      for (const auto& member : value.members()) {
        WriteString(member.key(), writer);
        Write(member.value, writer);
      }
      writer.EndObject();
      return;
  }
}

VMCPJsonValue::VMCPJsonValue(bool value) noexcept : kind(Boolean) {
  p_.boolean = value;
}
VMCPJsonValue::VMCPJsonValue(int value) noexcept : VMCPJsonValue(std::int64_t(value)) {}
VMCPJsonValue::VMCPJsonValue(std::int64_t value) noexcept : kind(Number), integral_(true) {
  p_.integer = value;
}
VMCPJsonValue::VMCPJsonValue(std::uint64_t value) noexcept
    : VMCPJsonValue(value <= std::uint64_t(std::numeric_limits<std::int64_t>::max())
                        ? VMCPJsonValue(std::int64_t(value))
                        : VMCPJsonValue(double(value))) {}
VMCPJsonValue::VMCPJsonValue(double value) noexcept : kind(Number) {
  p_.number = value;
}
VMCPJsonValue::VMCPJsonValue(const char* value)
    : VMCPJsonValue(value ? std::string_view(value) : std::string_view()) {}
VMCPJsonValue::VMCPJsonValue(const std::string& value) : VMCPJsonValue(std::string_view(value)) {}
VMCPJsonValue::VMCPJsonValue(std::string_view value) {
  setText(value);
}

void VMCPJsonValue::setText(std::string_view value) {
  kind = String;
  if (value.size() <= kInlineText) {
    inlineSize_ = std::uint8_t(value.size() + 1);
    if (!value.empty()) std::memcpy(p_.inlineText, value.data(), value.size());
    return;
  }
  p_.text = NewTextBlock(value);
}

VMCPJsonValue::VMCPJsonValue(const VMCPJsonValue& other)
    : kind(other.kind), integral_(other.integral_), inlineSize_(other.inlineSize_) {
  switch (kind) {
    case Null: break;
    case Boolean: p_.boolean = other.p_.boolean; break;
    case Number: p_ = other.p_; break;
    case String:
      if (inlineSize_ != 0)
        p_ = other.p_;
      else
        p_.text = NewTextBlock(other.text());
      break;
    case Array: p_.elements = ElementList::Copy(other.p_.elements); break;
    case Object: p_.members = MemberTable::Copy(other.p_.members); break;
  }
}

VMCPJsonValue::VMCPJsonValue(VMCPJsonValue&& other) noexcept
    : kind(other.kind), integral_(other.integral_), inlineSize_(other.inlineSize_), p_(other.p_) {
  other.kind = Null;
  other.inlineSize_ = 0;
  other.p_ = {};
}

VMCPJsonValue& VMCPJsonValue::operator=(const VMCPJsonValue& other) {
  if (this != &other) *this = VMCPJsonValue(other);
  return *this;
}

VMCPJsonValue& VMCPJsonValue::operator=(VMCPJsonValue&& other) noexcept {
  if (this == &other) return *this;
  VMCPJsonValue taken(std::move(other));  // other may live inside this value
  release();
  kind = taken.kind;
  integral_ = taken.integral_;
  inlineSize_ = taken.inlineSize_;
  p_ = taken.p_;
  taken.kind = Null;
  taken.inlineSize_ = 0;
  return *this;
}

VMCPJsonValue::~VMCPJsonValue() {
  release();
}

void VMCPJsonValue::release() noexcept {
  switch (kind) {
    case String:
      if (inlineSize_ == 0) FreeTextBlock(text());
      break;
    case Array: ElementList::Free(p_.elements); break;
    case Object: MemberTable::Free(p_.members); break;
    default: break;
  }
  kind = Null;
  inlineSize_ = 0;
  p_ = {};
}

VMCPJsonValue::Member::Member(std::string_view key) {
  if (key.size() <= kInlineKey) {
    std::memcpy(key_, key.data(), key.size());
    key_[kInlineKey] = char(key.size());
    return;
  }
  char* block = NewTextBlock(key);
  std::memcpy(key_, &block, sizeof block);
  key_[kInlineKey] = char(kKeyOnHeap);
}

VMCPJsonValue::Member::Member(const Member& other) : Member(other.key()) {
  value = other.value;
}

VMCPJsonValue::Member::Member(Member&& other) noexcept : value(std::move(other.value)) {
  std::memcpy(key_, other.key_, sizeof key_);
  other.key_[kInlineKey] = 0;  // the block, if any, is this one's now
}

VMCPJsonValue::Member& VMCPJsonValue::Member::operator=(Member&& other) noexcept {
  if (this == &other) return *this;
  release();
  std::memcpy(key_, other.key_, sizeof key_);
  other.key_[kInlineKey] = 0;
  value = std::move(other.value);
  return *this;
}

VMCPJsonValue::Member::~Member() {
  release();
}

void VMCPJsonValue::Member::release() noexcept {
  if (static_cast<unsigned char>(key_[kInlineKey]) != kKeyOnHeap) return;
  FreeTextBlock(key());
  key_[kInlineKey] = 0;
}

VMCPJsonValue VMCPJsonValue::MakeObject() {
  VMCPJsonValue value;
  value.kind = Object;
  value.p_.members = nullptr;
  return value;
}

VMCPJsonValue VMCPJsonValue::MakeArray() {
  VMCPJsonValue value;
  value.kind = Array;
  value.p_.elements = nullptr;
  return value;
}

const VMCPJsonValue::Members* VMCPJsonValue::table() const noexcept {
  return kind == Object ? p_.members : nullptr;
}

VMCPJsonValue& VMCPJsonValue::operator[](std::string_view key) {
  if (kind == Null) *this = MakeObject();
  if (kind != Object)
    throw std::logic_error(std::string("VMCPJsonValue: a ") + KindName(kind) +
                           " has no members; only null and objects take operator[]");
  if (auto found = Find(p_.members, key)) return p_.members->items()[*found].value;
  return AddMember(p_.members, key);
}

const VMCPJsonValue& VMCPJsonValue::operator[](std::string_view key) const noexcept {
  if (auto found = Find(table(), key)) return p_.members->items()[*found].value;
  return nullValue();
}

bool VMCPJsonValue::has(std::string_view key) const noexcept {
  return Find(table(), key).has_value();
}

bool VMCPJsonValue::erase(std::string_view key) {
  auto found = Find(table(), key);
  if (!found) return false;
  p_.members->erase(*found);
  Reindex(*p_.members);
  return true;
}

std::string VMCPJsonValue::asString(const std::string& fallback) const {
  return kind == String ? std::string(text()) : fallback;
}

bool VMCPJsonValue::asBool(bool fallback) const {
  return kind == Boolean ? p_.boolean : fallback;
}

std::int64_t VMCPJsonValue::asInt(std::int64_t fallback) const {
  if (kind != Number) return fallback;
  return integral_ ? p_.integer : std::int64_t(p_.number);
}

double VMCPJsonValue::asDouble(double fallback) const {
  if (kind != Number) return fallback;
  return integral_ ? double(p_.integer) : p_.number;
}

std::span<const VMCPJsonValue> VMCPJsonValue::asArray() const noexcept {
  if (kind != Array || !p_.elements) return {};
  return std::as_const(*p_.elements).span();
}

std::span<const VMCPJsonValue::Member> VMCPJsonValue::members() const noexcept {
  if (const auto* members = table()) return members->span();
  return {};
}

std::size_t VMCPJsonValue::size() const noexcept {
  if (kind == Array) return asArray().size();
  return members().size();
}

void VMCPJsonValue::push_back(const VMCPJsonValue& value) {
  push_back(VMCPJsonValue(value));
}

void VMCPJsonValue::push_back(VMCPJsonValue&& value) {
  if (kind == Null) *this = MakeArray();
  if (kind != Array)
    throw std::logic_error(std::string("VMCPJsonValue: cannot append to a ") + KindName(kind) +
                           "; only null and arrays take push_back");
  ElementList::Append(p_.elements, kFirstElements, std::move(value));
}

void VMCPJsonValue::dumpTo(std::string& out) const {
  StringOutput output(out);
  Writer writer(output);
  JsonValueAccess::Write(*this, writer);
}

void VMCPJsonValue::dumpTo(std::string& out, std::string& escaped, const Spill& spill,
                           std::size_t spillBytes) const {
  StringOutput plain(out);
  StringOutput escapedOutput(escaped, &spill, spillBytes);
  TwinOutput twin(plain, escapedOutput);
  TwinWriter writer(twin);
  JsonValueAccess::Write(*this, writer);
}

std::string VMCPJsonValue::dump() const {
  std::string out;
  dumpTo(out);
  return out;
}

void VMCPJsonValue::QuoteTo(std::string_view text, std::string& out) {
  const auto repaired = RepairedUtf8(text);
  if (repaired) text = *repaired;
  std::size_t quotes = 0;
  if (CountQuotes(text, quotes)) return QuotePlainTo(text, quotes, out);
  StringOutput output(out);
  Writer writer(output);
  writer.String(text.data(), rapidjson::SizeType(text.size()));  // repaired already
}

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

bool operator==(const VMCPJsonValue& a, const VMCPJsonValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case VMCPJsonValue::Null: return true;
    case VMCPJsonValue::Boolean: return a.p_.boolean == b.p_.boolean;
    case VMCPJsonValue::Number:
      return a.integral_ && b.integral_ ? a.p_.integer == b.p_.integer
                                        : a.asDouble() == b.asDouble();
    case VMCPJsonValue::String: return a.text() == b.text();
    case VMCPJsonValue::Array: return std::ranges::equal(a.asArray(), b.asArray());
    case VMCPJsonValue::Object:
      if (a.size() != b.size()) return false;
      for (const auto& member : a.members())
        if (!b.has(member.key()) || !(member.value == b[member.key()])) return false;
      return true;
  }
  return false;
}

VMCPJsonParseError::VMCPJsonParseError(const std::string& message, std::size_t position)
    : std::runtime_error(message), position_(position) {}

}  // namespace Qarn::mcp
