// The XYZ reader on arbitrary bytes: points or an error naming the file.
#include <demo_converters/core/xyz_reader.h>

#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  dravo::demo::XyzSummary summary;
  try {
    dravo::demo::ReadXyzPoints(
        dravo::fuzz::InputFile(data, size, ".xyz"), {}, [](const auto&) {}, [](const auto&) {},
        summary);
  } catch (const std::runtime_error&) {
  }
  return 0;
}
