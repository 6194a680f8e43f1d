// The MCP library's JSON value: held by value, copies are deep.
#pragma once

#include <qarn/mcp/export.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Qarn::mcp {

class QARN_MCP_API VMCPJsonValue {
 public:
  // The numbering is part of the contract: plug-ins test kind 4 for arrays.
  enum Kind : int { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

  VMCPJsonValue() = default;
  VMCPJsonValue(std::nullptr_t) {}
  VMCPJsonValue(bool value);
  VMCPJsonValue(int value);
  VMCPJsonValue(std::int64_t value);
  VMCPJsonValue(std::uint64_t value);
  VMCPJsonValue(double value);
  VMCPJsonValue(const char* value);
  VMCPJsonValue(std::string value);

  static VMCPJsonValue MakeObject();
  static VMCPJsonValue MakeArray();

  Kind kind = Null;

  bool isNull() const noexcept { return kind == Null; }
  bool isArray() const noexcept { return kind == Array; }
  bool isObject() const noexcept { return kind == Object; }
  bool isString() const noexcept { return kind == String; }

  // The member, created (as null) when absent; a null value becomes an object.
  VMCPJsonValue& operator[](const std::string& key);
  // The member, or a shared null value; never throws.
  const VMCPJsonValue& operator[](const std::string& key) const noexcept;
  bool has(const std::string& key) const noexcept;
  // Removes a member; true when there was one.
  bool erase(const std::string& key);

  std::string asString(const std::string& fallback = "") const;
  bool asBool(bool fallback = true) const;
  std::int64_t asInt(std::int64_t fallback = 0) const;
  double asDouble(double fallback = 0.0) const;
  bool isInteger() const noexcept { return kind == Number && integral_; }
  // The elements of an array, or an empty list for every other kind.
  const std::vector<VMCPJsonValue>& asArray() const noexcept;
  // Member names of an object in the order they were first set.
  const std::vector<std::string>& keys() const noexcept;
  // Number of elements or members.
  std::size_t size() const noexcept;

  // Appends a copy; a null value becomes an array first.
  void push_back(const VMCPJsonValue& value);
  void push_back(VMCPJsonValue&& value);

  // Compact JSON text. Invalid UTF-8 in strings is replaced, never thrown on.
  std::string dump() const;
  // Parses JSON text; throws VMCPJsonParseError with the byte position.
  static VMCPJsonValue Parse(std::string_view text);

  friend QARN_MCP_API bool operator==(const VMCPJsonValue& a, const VMCPJsonValue& b);

 private:
  bool boolean_ = false;
  bool integral_ = false;
  std::int64_t integer_ = 0;
  double number_ = 0.0;
  std::string string_;
  std::vector<VMCPJsonValue> elements_;  // array elements, or object values
  std::vector<std::string> keys_;        // object keys, parallel to elements_
};

class QARN_MCP_API VMCPJsonParseError : public std::runtime_error {
 public:
  VMCPJsonParseError(const std::string& message, std::size_t position);
  std::size_t position() const noexcept { return position_; }

 private:
  std::size_t position_;
};

}  // namespace Qarn::mcp
