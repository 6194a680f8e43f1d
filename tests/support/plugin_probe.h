// What a loaded plug-in answers the host through its compatibility export.
#pragma once

#include <brasko/shared_library.h>
#include <qarn/initialization.h>
#include <qarn/testing.h>
#include "test_nutrition.h"

#include <string>
#include <vector>

namespace dravo::testing {

// Calls the export as a host answering yes, then no: "key=answer" for each
// call, the key the plug-in asked about and what the export answered.
inline Names AskExport(const Brasko::SharedLibrary& library, const std::string& symbol) {
  struct Host : Qarn::VInitialization {
    bool IsCompatible(const std::string& key) const override {
      asked = key;
      return answer;
    }
    bool answer = true;
    mutable std::string asked;
  } host;
  const auto entry =
      reinterpret_cast<bool (*)(Qarn::VInitialization*)>(library.symbol(symbol.c_str()));
  if (!entry) return {"no export " + symbol};
  Names calls;
  for (const bool answer : {true, false}) {
    host.answer = answer;
    calls.push_back(entry(&host) ? "=yes" : "=no");
    calls.back().insert(0, host.asked);
  }
  return calls;
}

}  // namespace dravo::testing
