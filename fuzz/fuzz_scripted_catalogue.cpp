// The scripted-catalogue reader: a catalogue loads or fails with ScriptError,
// and what loads answers the plain operations.
#include <scripted_nutritions/scripted_nutritions.h>

#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const Qarn::VNutrition::FileSet inputs{"a/in.xyz", "b.LAS"};
    for (const auto& nutrition :
         dravo::host::LoadScriptedNutritions(dravo::fuzz::InputFile(data, size, ".json"))) {
      std::set<std::string> outputs;
      try {
        nutrition->getQuickInfo(inputs);
        nutrition->analyse(inputs);
        nutrition->isDigestible("b.LAS");
        nutrition->getOutputFiles(outputs, "out", inputs);
      } catch (const dravo::host::ScriptedThrow&) {
      } catch (const std::runtime_error&) {
      }
    }
  } catch (const dravo::host::ScriptError&) {
  }
  return 0;
}
