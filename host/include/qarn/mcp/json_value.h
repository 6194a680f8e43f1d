// The MCP library's JSON value: held by value, copies are deep.
#pragma once

#include <qarn/mcp/export.h>

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Qarn::mcp {

class QARN_MCP_API VMCPJsonValue {
 public:
  // The numbering is part of the contract: plug-ins test kind 4 for arrays.
  enum Kind : int { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

  // Deepest nesting Parse accepts; copies, destruction and dump recurse once
  // per level, so the limit also keeps them off the end of the stack.
  static constexpr std::size_t kMaxDepth = 512;

  VMCPJsonValue() noexcept = default;
  VMCPJsonValue(std::nullptr_t) noexcept {}
  VMCPJsonValue(bool value) noexcept;
  VMCPJsonValue(int value) noexcept;
  VMCPJsonValue(std::int64_t value) noexcept;
  VMCPJsonValue(std::uint64_t value) noexcept;
  VMCPJsonValue(double value) noexcept;
  VMCPJsonValue(const char* value);
  VMCPJsonValue(const std::string& value);
  VMCPJsonValue(std::string_view value);
  VMCPJsonValue(const VMCPJsonValue& other);
  VMCPJsonValue(VMCPJsonValue&& other) noexcept;
  VMCPJsonValue& operator=(const VMCPJsonValue& other);
  VMCPJsonValue& operator=(VMCPJsonValue&& other) noexcept;
  ~VMCPJsonValue();

  static VMCPJsonValue MakeObject();
  static VMCPJsonValue MakeArray();

  // Read only: the payload follows it.
  Kind kind = Null;

  bool isNull() const noexcept { return kind == Null; }
  bool isArray() const noexcept { return kind == Array; }
  bool isObject() const noexcept { return kind == Object; }
  bool isString() const noexcept { return kind == String; }

  // The member, created (as null) when absent. A null value becomes an
  // object; any other non-object throws std::logic_error.
  VMCPJsonValue& operator[](std::string_view key);
  // The member, or a shared null value; never throws.
  const VMCPJsonValue& operator[](std::string_view key) const noexcept;
  bool has(std::string_view key) const noexcept;
  // Removes a member; true when there was one.
  bool erase(std::string_view key);

  std::string asString(const std::string& fallback = "") const;
  bool asBool(bool fallback = true) const;
  std::int64_t asInt(std::int64_t fallback = 0) const;
  double asDouble(double fallback = 0.0) const;
  bool isInteger() const noexcept;
  // The elements of an array, or an empty list for every other kind.
  std::span<const VMCPJsonValue> asArray() const noexcept;
  // An object's members in the order they were first set; empty for every
  // other kind.
  class Member;
  std::span<const Member> members() const noexcept;
  // Number of elements or members.
  std::size_t size() const noexcept;

  // Appends a copy. A null value becomes an array; any other non-array
  // throws std::logic_error.
  void push_back(const VMCPJsonValue& value);
  void push_back(VMCPJsonValue&& value);

  // Compact JSON text, members in the order they were first set. Invalid
  // UTF-8 in strings is replaced, never thrown on.
  std::string dump() const;
  // Appends the compact text to out.
  void dumpTo(std::string& out) const;
  // Takes what an escaped copy holds so far, and may empty it.
  using Spill = std::function<void(std::string& escaped)>;
  // As dumpTo, then appends the text again to escaped, as it reads inside a
  // JSON string literal (without the quotes): how a tool result becomes its
  // text item. When set, spill is handed escaped each time it has grown past
  // spillBytes, so that a large text goes out in pieces.
  void dumpTo(std::string& out, std::string& escaped, const Spill& spill = {},
              std::size_t spillBytes = 64 * 1024) const;
  // Appends text as one JSON string literal (quoted and escaped) to out.
  static void QuoteTo(std::string_view text, std::string& out);
  // Parses JSON text; throws VMCPJsonParseError with the byte position.
  static VMCPJsonValue Parse(std::string_view text);

  friend QARN_MCP_API bool operator==(const VMCPJsonValue& a, const VMCPJsonValue& b);

 private:
  // How a value keeps what it holds is the library's own business: only its
  // sources read these.
  friend struct JsonStorage;
  std::uint32_t detail_ = 0;
  std::uint64_t word_ = 0;
};

// An object's member: its name and its value.
class QARN_MCP_API VMCPJsonValue::Member {
 public:
  explicit Member(std::string_view key) : name_(key) {}
  std::string_view key() const noexcept;
  VMCPJsonValue value;

 private:
  VMCPJsonValue name_;  // a string
};

class QARN_MCP_API VMCPJsonParseError : public std::runtime_error {
 public:
  VMCPJsonParseError(const std::string& message, std::size_t position);
  // The 1-based byte at which the text stopped being valid.
  std::size_t position() const noexcept { return position_; }

 private:
  std::size_t position_;
};

}  // namespace Qarn::mcp
