// An output file written under a temporary name in its own directory and
// renamed into place only when complete, so a failed run leaves nothing
// half-written behind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace dravo::demo {

class OutputFile {
 public:
  explicit OutputFile(std::filesystem::path target, std::size_t bufferSize = 1 << 20);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // removes the temporary file unless committed

  void write(const char* data, std::size_t size);
  void write(const std::string& text) { write(text.data(), text.size()); }
  std::uint64_t position() const { return written_; }
  // Overwrites bytes already written at an earlier position.
  void patch(std::uint64_t position, const std::string& text);
  void commit();

  const std::filesystem::path& target() const { return target_; }

 private:
  void flush();

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::ofstream stream_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
  bool committed_ = false;
};

// Throws when target names one of the inputs; a conversion never replaces its source.
void RefuseToOverwriteInput(const std::filesystem::path& target,
                            const std::vector<std::filesystem::path>& inputs);

}  // namespace dravo::demo
