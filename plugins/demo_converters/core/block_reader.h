// Sequential buffered reading of an input file in bounded memory, with
// errors that name the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace dravo::demo {

class BlockReader {
 public:
  explicit BlockReader(const std::filesystem::path& path, std::size_t capacity = 1 << 20);

  // Points at the next size bytes and moves past them; nullptr when the
  // file ends first. size must not exceed the capacity.
  const char* take(std::size_t size);
  // Skips size bytes; false when the file ends first.
  bool skip(std::uint64_t size);
  // Reads up to LF (dropping a CR before it); false at end of file. Throws
  // when a line exceeds maxLength, which is how binary data shows itself.
  bool readLine(std::string& line, std::size_t maxLength = 1 << 16);

  std::uint64_t offset() const { return consumed_; }
  std::uint64_t fileSize() const { return fileSize_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  bool fill(std::size_t wanted);

  std::filesystem::path path_;
  std::ifstream stream_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  std::uint64_t consumed_ = 0;
  std::uint64_t fileSize_ = 0;
};

}  // namespace dravo::demo
