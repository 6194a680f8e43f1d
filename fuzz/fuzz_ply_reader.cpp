// The PLY reader on arbitrary bytes: points or an error naming the file.
#include <demo_converters/core/ply_reader.h>

#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    dravo::demo::ReadPlyPoints(dravo::fuzz::InputFile(data, size, ".ply"), [](const auto&) {});
  } catch (const std::runtime_error&) {
  }
  return 0;
}
