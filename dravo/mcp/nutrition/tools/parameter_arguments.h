// The "arguments" text of run_nutrition: name=value pieces and their application.
#pragma once

#include <qarn/slot_container.h>

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace dravo::nutrition {

struct ParameterAssignment {
  std::string name;
  std::string value;

  bool operator==(const ParameterAssignment&) const = default;
};

using ParameterAssignments = std::vector<ParameterAssignment>;

// The assignments in order of appearance, or the message for the piece that
// continues nothing. Linear in the size of the text.
std::variant<ParameterAssignments, std::string> ParseParameterArguments(std::string_view text);

// Sets each parameter in turn and stops at the first failure, whose message it
// returns; earlier assignments stay set.
std::optional<std::string> ApplyParameterAssignments(const Qarn::VSlotContainer& slots,
                                                     const std::string& requestedName,
                                                     const ParameterAssignments& assignments);

}  // namespace dravo::nutrition
