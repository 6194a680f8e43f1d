#include <demo_converters/core/output_file.h>

#include <demo_converters/core/paths.h>

#include <cstring>
#include <stdexcept>
#include <system_error>

namespace dravo::demo {

namespace fs = std::filesystem;

OutputFile::OutputFile(fs::path target, std::size_t bufferSize)
    : target_(std::move(target)), temporary_(target_), buffer_(bufferSize) {
  temporary_ += ".partial";
  stream_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!stream_)
    throw std::runtime_error(Quoted(target_) + ": cannot create the temporary output file " +
                             Quoted(temporary_) + ".");
}

OutputFile::~OutputFile() {
  if (committed_) return;
  stream_.close();
  std::error_code ignored;
  fs::remove(temporary_, ignored);
}

void OutputFile::flush() {
  stream_.write(buffer_.data(), static_cast<std::streamsize>(used_));
  used_ = 0;
  if (!stream_) throw std::runtime_error(Quoted(target_) + ": writing failed (disk full?).");
}

void OutputFile::write(const char* data, std::size_t size) {
  if (used_ + size > buffer_.size()) flush();
  if (size > buffer_.size()) {
    stream_.write(data, static_cast<std::streamsize>(size));
    if (!stream_) throw std::runtime_error(Quoted(target_) + ": writing failed (disk full?).");
  } else {
    std::memcpy(buffer_.data() + used_, data, size);
    used_ += size;
  }
  written_ += size;
}

void OutputFile::patch(std::uint64_t position, const std::string& text) {
  flush();
  stream_.seekp(static_cast<std::streamoff>(position));
  stream_.write(text.data(), static_cast<std::streamsize>(text.size()));
  stream_.seekp(0, std::ios::end);
  if (!stream_) throw std::runtime_error(Quoted(target_) + ": cannot update the header.");
}

void OutputFile::commit() {
  flush();
  stream_.close();
  if (stream_.fail()) throw std::runtime_error(Quoted(target_) + ": closing failed.");
  std::error_code error;
  fs::rename(temporary_, target_, error);
  if (error)
    throw std::runtime_error(
        Quoted(target_) + ": cannot move the finished file into place: " + error.message() + ".");
  committed_ = true;
}

void RefuseToOverwriteInput(const fs::path& target, const std::vector<fs::path>& inputs) {
  for (const auto& input : inputs) {
    std::error_code error;
    const bool same = fs::equivalent(target, input, error);
    if (same ||
        (error && fs::weakly_canonical(target, error) == fs::weakly_canonical(input, error)))
      throw std::runtime_error(Quoted(target) + ": this output would overwrite the input file " +
                               Quoted(input) + "; choose another output directory.");
  }
}

}  // namespace dravo::demo
