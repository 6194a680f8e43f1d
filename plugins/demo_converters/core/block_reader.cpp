#include <demo_converters/core/block_reader.h>

#include <demo_converters/core/paths.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace dravo::demo {

BlockReader::BlockReader(const std::filesystem::path& path, std::size_t capacity) : path_(path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error))
    throw std::runtime_error(Quoted(path) + ": is a directory, not a file.");
  stream_.open(path, std::ios::binary);
  if (!stream_) throw std::runtime_error(Quoted(path) + ": cannot open the file.");
  const auto size = std::filesystem::file_size(path, error);
  fileSize_ = error ? 0 : size;
  // Nothing larger than a small file can be taken from it, so its buffer stays small.
  buffer_.resize(fileSize_ > 0 ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                     capacity, std::max<std::uint64_t>(fileSize_, 4096)))
                               : capacity);
}

bool BlockReader::fill(std::size_t wanted) {
  if (end_ - begin_ >= wanted) return true;
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (end_ < wanted && stream_) {
    stream_.read(buffer_.data() + end_, static_cast<std::streamsize>(buffer_.size() - end_));
    end_ += static_cast<std::size_t>(stream_.gcount());
  }
  if (stream_.bad()) throw std::runtime_error(Quoted(path_) + ": reading failed.");
  return end_ >= wanted;
}

const char* BlockReader::take(std::size_t size) {
  if (size > buffer_.size() || !fill(size)) return nullptr;
  const char* data = buffer_.data() + begin_;
  begin_ += size;
  consumed_ += size;
  return data;
}

bool BlockReader::skip(std::uint64_t size) {
  while (size > 0) {
    const std::size_t step =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer_.size()));
    if (!take(step)) return false;
    size -= step;
  }
  return true;
}

bool BlockReader::readLine(std::string& line, std::size_t maxLength) {
  line.clear();
  for (;;) {
    if (begin_ == end_ && !fill(1)) return !line.empty();
    const char* start = buffer_.data() + begin_;
    const std::size_t available = end_ - begin_;
    const void* newline = std::memchr(start, '\n', available);
    const std::size_t length =
        newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) : available;
    line.append(start, length);
    const std::size_t used = length + (newline ? 1 : 0);
    begin_ += used;
    consumed_ += used;
    if (line.size() > maxLength)
      throw std::runtime_error(Quoted(path_) + ": a line is longer than " +
                               std::to_string(maxLength) +
                               " bytes; this does not look like a text file.");
    if (newline) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
  }
}

}  // namespace dravo::demo
