// A typed, tunable value with a text form that round-trips.
#pragma once

#include <brasko/reference.h>
#include <qarn/export.h>
#include <qarn/value_types.h>

#include <array>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

namespace Qarn {

// Text forms: bool "true"/"false" (also "1"/"0" on input); integers in
// decimal; floating point in the shortest form that reads back exactly;
// strings as they are; a choice as one of its option texts; a 3-vector as
// "x;y;z". getValueAsText always gives what setValueFromText accepts, and a
// rejected text leaves the old value in place.
class QARN_API VParameter : public Brasko::ReferenceBase<VParameter> {
 public:
  enum class Kind { Bool, Integer, Float, String, Choice, Vector3 };
  using Vector3 = std::array<double, 3>;

  static Brasko::StrongPtr<VParameter> MakeBool(bool value);
  static Brasko::StrongPtr<VParameter> MakeInteger(
      std::int64_t value, std::int64_t lowest = std::numeric_limits<std::int64_t>::min(),
      std::int64_t highest = std::numeric_limits<std::int64_t>::max());
  static Brasko::StrongPtr<VParameter> MakeFloat(double value);
  static Brasko::StrongPtr<VParameter> MakeString(std::string value);
  static Brasko::StrongPtr<VParameter> MakeChoice(std::vector<std::string> options,
                                                  std::size_t selected);
  static Brasko::StrongPtr<VParameter> MakeVector3(Vector3 value);

  Kind kind() const noexcept { return kind_; }

  std::string getValueAsText(const Brasko::StrongPtr<ValuePool>& pool, const std::string& context,
                             bool forDisplay) const;
  bool setValueFromText(const std::string& text, const Brasko::StrongPtr<ValuePool>& pool,
                        const std::string& context, bool quiet,
                        const Brasko::WeakPtr<ValueNotifier>& notifier,
                        ValueNotifierList* notifiers, ValueMap* values) const;

  // Typed reads for converters; each answers the kind's natural default
  // when asked for another kind.
  bool getBool() const;
  std::int64_t getInteger() const;
  double getFloat() const;
  std::string getString() const;  // also the selected option of a choice
  Vector3 getVector3() const;
  const std::vector<std::string>& options() const noexcept { return options_; }

  ~VParameter() override;

 private:
  using Value = std::variant<bool, std::int64_t, double, std::string, Vector3>;
  VParameter(Kind kind, Value value);

  Kind kind_;
  std::int64_t lowest_ = std::numeric_limits<std::int64_t>::min();
  std::int64_t highest_ = std::numeric_limits<std::int64_t>::max();
  std::vector<std::string> options_;
  mutable std::mutex mutex_;  // a run may set while describe reads
  mutable Value value_;
};

}  // namespace Qarn
