#include <qarn/parameter.h>

#include <charconv>
#include <cmath>
#include <optional>

namespace Qarn {

namespace {

std::optional<std::int64_t> parseInteger(const std::string& text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}

std::optional<double> parseFloat(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || ptr != end || text.empty() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<VParameter::Vector3> parseVector3(const std::string& text) {
  VParameter::Vector3 vector{};
  std::size_t start = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t stop = i < 2 ? text.find(';', start) : text.size();
    if (stop == std::string::npos) return std::nullopt;
    const auto component = parseFloat(std::string_view(text).substr(start, stop - start));
    if (!component) return std::nullopt;
    vector[i] = *component;
    start = stop + 1;
  }
  return vector;
}

std::string formatFloat(double value) {
  char buffer[64];
  const auto [ptr, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return error == std::errc() ? std::string(buffer, ptr) : std::string("0");
}

std::string formatVector3(const VParameter::Vector3& v) {
  return formatFloat(v[0]) + ';' + formatFloat(v[1]) + ';' + formatFloat(v[2]);
}

std::optional<bool> parseBool(const std::string& text) {
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  return std::nullopt;
}

}  // namespace

VParameter::VParameter(Kind kind, Value value) : kind_(kind), value_(std::move(value)) {}
VParameter::~VParameter() = default;

Brasko::StrongPtr<VParameter> VParameter::MakeBool(bool value) {
  return Brasko::StrongPtr<VParameter>(new VParameter(Kind::Bool, value));
}

Brasko::StrongPtr<VParameter> VParameter::MakeInteger(std::int64_t value, std::int64_t lowest,
                                                      std::int64_t highest) {
  auto* parameter = new VParameter(Kind::Integer, value);
  parameter->lowest_ = lowest;
  parameter->highest_ = highest;
  return Brasko::StrongPtr<VParameter>(parameter);
}

Brasko::StrongPtr<VParameter> VParameter::MakeFloat(double value) {
  return Brasko::StrongPtr<VParameter>(new VParameter(Kind::Float, value));
}

Brasko::StrongPtr<VParameter> VParameter::MakeString(std::string value) {
  return Brasko::StrongPtr<VParameter>(new VParameter(Kind::String, std::move(value)));
}

Brasko::StrongPtr<VParameter> VParameter::MakeChoice(std::vector<std::string> options,
                                                     std::size_t selected) {
  std::string current = selected < options.size() ? options[selected] : std::string();
  auto* parameter = new VParameter(Kind::Choice, std::move(current));
  parameter->options_ = std::move(options);
  return Brasko::StrongPtr<VParameter>(parameter);
}

Brasko::StrongPtr<VParameter> VParameter::MakeVector3(Vector3 value) {
  return Brasko::StrongPtr<VParameter>(new VParameter(Kind::Vector3, value));
}

std::string VParameter::getValueAsText(const Brasko::StrongPtr<ValuePool>&, const std::string&,
                                       bool) const {
  std::lock_guard lock(mutex_);
  switch (kind_) {
    case Kind::Bool: return std::get<bool>(value_) ? "true" : "false";
    case Kind::Integer: return std::to_string(std::get<std::int64_t>(value_));
    case Kind::Float: return formatFloat(std::get<double>(value_));
    case Kind::String:
    case Kind::Choice: return std::get<std::string>(value_);
    case Kind::Vector3: return formatVector3(std::get<Vector3>(value_));
  }
  return {};
}

bool VParameter::setValueFromText(const std::string& text, const Brasko::StrongPtr<ValuePool>&,
                                  const std::string&, bool, const Brasko::WeakPtr<ValueNotifier>&,
                                  ValueNotifierList*, ValueMap*) const {
  std::optional<Value> parsed;
  switch (kind_) {
    case Kind::Bool:
      if (auto b = parseBool(text)) parsed = *b;
      break;
    case Kind::Integer:
      if (auto i = parseInteger(text); i && *i >= lowest_ && *i <= highest_) parsed = *i;
      break;
    case Kind::Float:
      if (auto f = parseFloat(text)) parsed = *f;
      break;
    case Kind::String: parsed = text; break;
    case Kind::Choice:
      for (const auto& option : options_)
        if (option == text) parsed = text;
      break;
    case Kind::Vector3:
      if (auto v = parseVector3(text)) parsed = *v;
      break;
  }
  if (!parsed) return false;
  std::lock_guard lock(mutex_);
  value_ = std::move(*parsed);
  return true;
}

bool VParameter::getBool() const {
  std::lock_guard lock(mutex_);
  const bool* value = std::get_if<bool>(&value_);
  return value && *value;
}

std::int64_t VParameter::getInteger() const {
  std::lock_guard lock(mutex_);
  const auto* value = std::get_if<std::int64_t>(&value_);
  return value ? *value : 0;
}

double VParameter::getFloat() const {
  std::lock_guard lock(mutex_);
  const auto* value = std::get_if<double>(&value_);
  return value ? *value : 0.0;
}

std::string VParameter::getString() const {
  std::lock_guard lock(mutex_);
  const auto* value = std::get_if<std::string>(&value_);
  return value ? *value : std::string();
}

VParameter::Vector3 VParameter::getVector3() const {
  std::lock_guard lock(mutex_);
  const auto* value = std::get_if<Vector3>(&value_);
  return value ? *value : Vector3{};
}

}  // namespace Qarn
