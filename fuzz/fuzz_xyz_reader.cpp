// The XYZ reader on arbitrary bytes: its probe and its points, or an error
// naming the file.
#include <demo_converters/core/xyz_reader.h>

#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& path = dravo::fuzz::InputFile(data, size, ".xyz");
  dravo::demo::XyzSummary summary;
  try {
    dravo::demo::ProbeXyz(path, {});
  } catch (const std::runtime_error&) {
  }
  try {
    dravo::demo::ReadXyzPoints(
        path, {}, [](const auto&) {}, [](const auto&) {}, summary);
  } catch (const std::runtime_error&) {
  }
  return 0;
}
