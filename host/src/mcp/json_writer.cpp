// JSON values into compact text: members in the order they were set,
// strings escaped, bytes that are not UTF-8 replaced by U+FFFD.
#include "json_storage.h"

#include <rapidjson/memorystream.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace Qarn::mcp {

namespace {

struct DiscardOutput {
  using Ch = char;
  void Put(char) {}
};

// RapidJSON's writer onto a string, without a buffer of its own.
struct AppendTo {
  using Ch = char;
  std::string& out;
  void Put(char c) { out.push_back(c); }
  void Flush() {}
};

// What a string literal holds for a byte below 0x20, a quote or a
// backslash: a short escape, or \u00XX.
std::string_view EscapeOf(unsigned char c, char (&hex)[6]) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default:
      hex[4] = kHex[c >> 4];
      hex[5] = kHex[c & 0xF];
      return {hex, 6};
  }
}

bool NeedsEscape(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\';
}

// Eight bytes at a time: the high bit of each byte that is zero, exactly.
std::uint64_t ZeroBytes(std::uint64_t eight) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
  return ~(((eight & kLow7) + kLow7) | eight | kLow7);
}
constexpr std::uint64_t kOnes = 0x0101010101010101u;
std::uint64_t ControlBytes(std::uint64_t eight) {
  return ZeroBytes(eight & (kOnes * 0xE0));
}
std::uint64_t QuoteBytes(std::uint64_t eight) {
  return ZeroBytes(eight ^ (kOnes * '"')) | ZeroBytes(eight ^ (kOnes * '\\'));
}
std::uint64_t EscapedBytes(std::uint64_t eight) {
  return ControlBytes(eight) | QuoteBytes(eight);
}

// Whether eight bytes from at all go into a string literal as they are.
bool EightPlain(const char* at) {
  std::uint64_t eight;
  std::memcpy(&eight, at, 8);
  return EscapedBytes(eight) == 0;
}

// The text as it reads inside a string literal, without the quotes. Its
// size is counted first, so that the string grows once, and eight bytes
// that need no escape, most of any text, are looked at and copied at once:
// a listing is answered about a third faster than byte by byte.
void AppendEscaped(std::string_view text, std::string& out) {
  char hex[6] = {'\\', 'u', '0', '0'};
  const char* const end = text.data() + text.size();
  std::size_t size = text.size();
  for (const char* at = text.data(); at != end;) {
    if (end - at >= 8) {
      std::uint64_t eight;
      std::memcpy(&eight, at, 8);
      if (ControlBytes(eight) == 0) {  // a quote or backslash takes one byte more
        // One high bit per quote; the multiply adds them up in the top byte.
        size += std::size_t(((QuoteBytes(eight) >> 7) * kOnes) >> 56);
        at += 8;
        continue;
      }
    }
    for (const char* stop = std::min(at + 8, end); at != stop; ++at)
      if (NeedsEscape(*at)) size += EscapeOf(static_cast<unsigned char>(*at), hex).size() - 1;
  }
  const std::size_t start = out.size();
  out.resize(start + size);
  char* to = out.data() + start;
  for (const char* at = text.data(); at != end;) {
    if (end - at >= 8 && EightPlain(at)) {
      to = std::copy_n(at, 8, to);
      at += 8;
      continue;
    }
    for (const char* stop = std::min(at + 8, end); at != stop; ++at) {
      if (!NeedsEscape(*at)) {
        *to++ = *at;
        continue;
      }
      const auto escape = EscapeOf(static_cast<unsigned char>(*at), hex);
      to = std::copy(escape.begin(), escape.end(), to);
    }
  }
}

bool IsPlainAscii(std::string_view text) {
  std::size_t at = 0;
  for (std::uint64_t eight; at + 8 <= text.size(); at += 8) {
    std::memcpy(&eight, text.data() + at, 8);
    if (((eight & 0x8080808080808080u) | EscapedBytes(eight)) != 0) return false;
  }
  for (; at < text.size(); ++at)
    if (static_cast<unsigned char>(text[at]) >= 0x80 || NeedsEscape(text[at])) return false;
  return true;
}

bool IsAscii(std::string_view text) {
  std::uint64_t bits = 0;
  std::size_t at = 0;
  for (std::uint64_t eight; at + 8 <= text.size(); at += 8) {
    std::memcpy(&eight, text.data() + at, 8);
    bits |= eight;
  }
  for (; at < text.size(); ++at) bits |= static_cast<unsigned char>(text[at]);
  return (bits & 0x8080808080808080u) == 0;
}

void AppendNumber(const VMCPJsonValue& value, std::string& out) {
  if (value.isInteger()) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value.asInt()).ptr;
    out.append(digits, end);
  } else if (std::isfinite(value.asDouble())) {
    // RapidJSON's shortest form, which reads back as the same double.
    AppendTo stream{out};
    rapidjson::Writer<AppendTo>(stream).Double(value.asDouble());
  } else {
    out.append("null");  // JSON has no infinities
  }
}

void Append(const VMCPJsonValue& value, std::string& out) {
  switch (value.kind) {
    case VMCPJsonValue::Null: out.append("null"); return;
    case VMCPJsonValue::Boolean: out.append(value.asBool() ? "true" : "false"); return;
    case VMCPJsonValue::Number: AppendNumber(value, out); return;
    case VMCPJsonValue::String: VMCPJsonValue::QuoteTo(JsonStorage::Text(value), out); return;
    case VMCPJsonValue::Array: {
      char separator = '[';
      for (const auto& element : value.asArray()) {
        out.push_back(std::exchange(separator, ','));
        Append(element, out);
      }
      out.append(separator == '[' ? "[]" : "]");
      return;
    }
    case VMCPJsonValue::Object: {
      char separator = '{';
      for (const auto& member : value.members()) {
        out.push_back(std::exchange(separator, ','));
        VMCPJsonValue::QuoteTo(member.key(), out);
        out.push_back(':');
        Append(member.value, out);
      }
      out.append(separator == '{' ? "{}" : "}");
      return;
    }
  }
}

}  // namespace

std::optional<std::string> RepairedUtf8(std::string_view text) {
  if (IsAscii(text)) return std::nullopt;
  DiscardOutput sink;
  std::optional<std::string> repaired;
  std::size_t copied = 0;
  for (std::size_t at = 0; at < text.size();) {
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

void VMCPJsonValue::QuoteTo(std::string_view text, std::string& out) {
  if (IsPlainAscii(text)) {  // most strings: one copy, no counting
    out.push_back('"');
    out.append(text).push_back('"');
    return;
  }
  const auto repaired = RepairedUtf8(text);
  out.push_back('"');
  AppendEscaped(repaired ? *repaired : text, out);
  out.push_back('"');
}

void VMCPJsonValue::dumpTo(std::string& out) const {
  Append(*this, out);
}

// Compact JSON text holds no control bytes and is valid UTF-8, so escaping
// it piece by piece gives the same bytes as escaping it whole.
void VMCPJsonValue::dumpTo(std::string& out, std::string& escaped, const Spill& spill,
                           std::size_t spillBytes) const {
  const std::size_t start = out.size();
  dumpTo(out);
  const std::string_view text = std::string_view(out).substr(start);
  const std::size_t piece = std::max<std::size_t>(spillBytes, 1);
  for (std::size_t at = 0; at < text.size(); at += piece) {
    AppendEscaped(text.substr(at, piece), escaped);
    if (spill && escaped.size() >= spillBytes) spill(escaped);
  }
}

std::string VMCPJsonValue::dump() const {
  std::string out;
  dumpTo(out);
  return out;
}

}  // namespace Qarn::mcp
