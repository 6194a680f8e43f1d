// The LAS reader on arbitrary bytes: points or an error naming the file.
#include <demo_converters/core/las_format.h>

#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    dravo::demo::ReadLasPoints(dravo::fuzz::InputFile(data, size, ".las"), [](const auto&) {});
  } catch (const std::runtime_error&) {
  }
  return 0;
}
