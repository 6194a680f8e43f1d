// The fuzz input as a file, for readers that take a path; one per process.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace dravo::fuzz {

inline const std::filesystem::path& InputFile(const std::uint8_t* data, std::size_t size,
                                              const std::string& extension) {
  struct Scratch {
    std::filesystem::path path;
    ~Scratch() { std::filesystem::remove(path); }
  };
  static const Scratch scratch{std::filesystem::temp_directory_path() /
                               ("dravo_fuzz_" + std::to_string(getpid()) + extension)};
  std::ofstream(scratch.path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  return scratch.path;
}

}  // namespace dravo::fuzz
