#include <qarn/mcp/json_value.h>

#include <nlohmann/json.hpp>

#include <limits>

namespace Qarn::mcp {

namespace {

const VMCPJsonValue& nullValue() noexcept {
  static const VMCPJsonValue value;
  return value;
}

const std::vector<VMCPJsonValue>& noElements() noexcept {
  static const std::vector<VMCPJsonValue> elements;
  return elements;
}

const std::vector<std::string>& noKeys() noexcept {
  static const std::vector<std::string> keys;
  return keys;
}

using Json = nlohmann::ordered_json;

Json toJson(const VMCPJsonValue& value) {
  switch (value.kind) {
    case VMCPJsonValue::Null: return nullptr;
    case VMCPJsonValue::Boolean: return value.asBool(false);
    case VMCPJsonValue::Number:
      return value.isInteger() ? Json(value.asInt()) : Json(value.asDouble());
    case VMCPJsonValue::String: return value.asString();
    case VMCPJsonValue::Array: {
      Json array = Json::array();
      for (const auto& element : value.asArray()) array.push_back(toJson(element));
      return array;
    }
    case VMCPJsonValue::Object: {
      Json object = Json::object();
      for (const auto& key : value.keys()) object[key] = toJson(value[key]);
      return object;
    }
  }
  return nullptr;
}

VMCPJsonValue fromJson(const Json& json) {
  switch (json.type()) {
    case Json::value_t::boolean: return json.get<bool>();
    case Json::value_t::number_integer: return json.get<std::int64_t>();
    case Json::value_t::number_unsigned: {
      const auto u = json.get<std::uint64_t>();
      return u <= std::uint64_t(std::numeric_limits<std::int64_t>::max())
                 ? VMCPJsonValue(std::int64_t(u))
                 : VMCPJsonValue(double(u));
    }
    case Json::value_t::number_float: return json.get<double>();
    case Json::value_t::string: return json.get<std::string>();
    case Json::value_t::array: {
      auto array = VMCPJsonValue::MakeArray();
      for (const auto& element : json) array.push_back(fromJson(element));
      return array;
    }
    case Json::value_t::object: {
      auto object = VMCPJsonValue::MakeObject();
      for (const auto& [key, member] : json.items()) object[key] = fromJson(member);
      return object;
    }
    default: return {};
  }
}

}  // namespace

VMCPJsonValue::VMCPJsonValue(bool value) : kind(Boolean), boolean_(value) {}
VMCPJsonValue::VMCPJsonValue(int value) : VMCPJsonValue(std::int64_t(value)) {}
VMCPJsonValue::VMCPJsonValue(std::int64_t value)
    : kind(Number), integral_(true), integer_(value), number_(double(value)) {}
VMCPJsonValue::VMCPJsonValue(std::uint64_t value)
    : VMCPJsonValue(value <= std::uint64_t(std::numeric_limits<std::int64_t>::max())
                        ? VMCPJsonValue(std::int64_t(value))
                        : VMCPJsonValue(double(value))) {}
VMCPJsonValue::VMCPJsonValue(double value) : kind(Number), number_(value) {}
VMCPJsonValue::VMCPJsonValue(const char* value) : kind(String), string_(value ? value : "") {}
VMCPJsonValue::VMCPJsonValue(std::string value) : kind(String), string_(std::move(value)) {}

VMCPJsonValue VMCPJsonValue::MakeObject() {
  VMCPJsonValue value;
  value.kind = Object;
  return value;
}

VMCPJsonValue VMCPJsonValue::MakeArray() {
  VMCPJsonValue value;
  value.kind = Array;
  return value;
}

VMCPJsonValue& VMCPJsonValue::operator[](const std::string& key) {
  if (kind != Object) *this = MakeObject();
  for (std::size_t i = 0; i < keys_.size(); ++i)
    if (keys_[i] == key) return elements_[i];
  keys_.push_back(key);
  elements_.emplace_back();
  return elements_.back();
}

const VMCPJsonValue& VMCPJsonValue::operator[](const std::string& key) const noexcept {
  if (kind == Object)
    for (std::size_t i = 0; i < keys_.size(); ++i)
      if (keys_[i] == key) return elements_[i];
  return nullValue();
}

bool VMCPJsonValue::has(const std::string& key) const noexcept {
  if (kind != Object) return false;
  for (const auto& k : keys_)
    if (k == key) return true;
  return false;
}

bool VMCPJsonValue::erase(const std::string& key) {
  if (kind != Object) return false;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] != key) continue;
    keys_.erase(keys_.begin() + std::ptrdiff_t(i));
    elements_.erase(elements_.begin() + std::ptrdiff_t(i));
    return true;
  }
  return false;
}

std::string VMCPJsonValue::asString(const std::string& fallback) const {
  return kind == String ? string_ : fallback;
}

bool VMCPJsonValue::asBool(bool fallback) const {
  return kind == Boolean ? boolean_ : fallback;
}

std::int64_t VMCPJsonValue::asInt(std::int64_t fallback) const {
  if (kind != Number) return fallback;
  return integral_ ? integer_ : std::int64_t(number_);
}

double VMCPJsonValue::asDouble(double fallback) const {
  return kind == Number ? number_ : fallback;
}

const std::vector<VMCPJsonValue>& VMCPJsonValue::asArray() const noexcept {
  return kind == Array ? elements_ : noElements();
}

const std::vector<std::string>& VMCPJsonValue::keys() const noexcept {
  return kind == Object ? keys_ : noKeys();
}

std::size_t VMCPJsonValue::size() const noexcept {
  return kind == Array || kind == Object ? elements_.size() : 0;
}

void VMCPJsonValue::push_back(const VMCPJsonValue& value) {
  push_back(VMCPJsonValue(value));
}

void VMCPJsonValue::push_back(VMCPJsonValue&& value) {
  if (kind != Array) *this = MakeArray();
  elements_.push_back(std::move(value));
}

std::string VMCPJsonValue::dump() const {
  return toJson(*this).dump(-1, ' ', false, Json::error_handler_t::replace);
}

VMCPJsonValue VMCPJsonValue::Parse(std::string_view text) {
  try {
    return fromJson(Json::parse(text));
  } catch (const Json::parse_error& error) {
    throw VMCPJsonParseError(error.what(), error.byte);
  }
}

bool operator==(const VMCPJsonValue& a, const VMCPJsonValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case VMCPJsonValue::Null: return true;
    case VMCPJsonValue::Boolean: return a.boolean_ == b.boolean_;
    case VMCPJsonValue::Number:
      return a.integral_ && b.integral_ ? a.integer_ == b.integer_ : a.number_ == b.number_;
    case VMCPJsonValue::String: return a.string_ == b.string_;
    case VMCPJsonValue::Array: return a.elements_ == b.elements_;
    case VMCPJsonValue::Object:
      if (a.keys_.size() != b.keys_.size()) return false;
      for (const auto& key : a.keys_)
        if (!b.has(key) || !(a[key] == b[key])) return false;
      return true;
  }
  return false;
}

VMCPJsonParseError::VMCPJsonParseError(const std::string& message, std::size_t position)
    : std::runtime_error(message), position_(position) {}

}  // namespace Qarn::mcp
