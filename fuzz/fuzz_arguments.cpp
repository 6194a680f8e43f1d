// The "arguments" text of run_nutrition: never fails but by its message, and
// no name can hold a separator or an '='.
#include <dravo/mcp/nutrition/tools/parameter_arguments.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parsed = dravo::nutrition::ParseParameterArguments(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (const auto* list = std::get_if<dravo::nutrition::ParameterAssignments>(&parsed))
    for (const auto& assignment : *list)
      if (assignment.name.find_first_of("\n;=") != std::string::npos) std::abort();
  return 0;
}
