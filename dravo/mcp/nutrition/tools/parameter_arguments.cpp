#include <dravo/mcp/nutrition/tools/parameter_arguments.h>

#include <algorithm>

namespace dravo::nutrition {

namespace {

std::string CannotRead(std::string_view piece) {
  return "cannot read \"" + std::string(piece) +
         "\" as a parameter: it carries no '=' and continues nothing. Write name=value, "
         "separating parameters with newlines or semicolons; a value may itself contain "
         "semicolons, as in TileLength=250;250;0.";
}

// One piece, its trailing CR already dropped. False when it continues nothing.
bool TakePiece(std::string_view piece, char previousSeparator, ParameterAssignments& list) {
  if (piece.empty()) {
    // Blank lines are harmless; an empty piece after ';' is a doubled semicolon.
    if (previousSeparator != ';') return true;
    if (list.empty()) return false;
    list.back().value += ';';
    return true;
  }
  if (const auto equals = piece.find('='); equals != std::string_view::npos) {
    list.push_back({std::string(piece.substr(0, equals)), std::string(piece.substr(equals + 1))});
    return true;
  }
  if (list.empty()) return false;
  list.back().value += previousSeparator;
  list.back().value += piece;
  return true;
}

}  // namespace

std::variant<ParameterAssignments, std::string> ParseParameterArguments(std::string_view text) {
  ParameterAssignments list;
  // Every assignment needs an '=', so this bounds the list and saves regrowing it.
  list.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '=')));
  char previousSeparator = '\0';
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t separator = text.find_first_of("\n;", position);
    std::string_view piece = text.substr(position, separator - position);
    if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
    if (!TakePiece(piece, previousSeparator, list)) return CannotRead(piece);
    if (separator == std::string_view::npos) break;
    previousSeparator = text[separator];
    position = separator + 1;
  }
  return list;
}

std::optional<std::string> ApplyParameterAssignments(const Qarn::VSlotContainer& slots,
                                                     const std::string& requestedName,
                                                     const ParameterAssignments& assignments) {
  for (const auto& [name, value] : assignments) {
    int index = 0;
    const auto slot = slots.getSlot(name, index);
    if (!slot.alive())
      return "\"" + requestedName + "\" has no parameter named \"" + name +
             "\". describe_nutrition lists its parameters.";
    const auto& parameter = slot->parameter;
    const bool stored = parameter.alive() &&
                        parameter->setValueFromText(value, {}, "", false, {}, nullptr, nullptr);
    if (!stored)
      return "Could not set parameter \"" + name + "\" to \"" + value +
             "\" (wrong type or format). describe_nutrition shows each parameter's current "
             "value as an example.";
  }
  return std::nullopt;
}

}  // namespace dravo::nutrition
