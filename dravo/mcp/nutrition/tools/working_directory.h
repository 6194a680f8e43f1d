// Changing the process working directory for a while, and putting it back.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace dravo::nutrition {

// Makes `directory` the working directory. On failure the directory stays as
// it was and the result's message is the system's own wording (on Windows the
// text the system gives for its error code, not the C runtime's errno text).
std::error_code ChangeWorkingDirectory(const std::filesystem::path& directory) noexcept;

// A platform path from UTF-8 text; throws when the text cannot be converted.
std::filesystem::path Utf8Path(const std::string& text);

// Remembers the working directory at construction and restores it on
// restore() or destruction, whichever comes first, once it has been changed.
class WorkingDirectoryChange {
 public:
  WorkingDirectoryChange();
  WorkingDirectoryChange(const WorkingDirectoryChange&) = delete;
  WorkingDirectoryChange& operator=(const WorkingDirectoryChange&) = delete;
  ~WorkingDirectoryChange() { restore(); }

  // Empty on success; on failure the directory is unchanged.
  std::error_code enter(const std::filesystem::path& directory) noexcept;
  // Errors are ignored: there is nobody left to tell.
  void restore() noexcept;

 private:
  std::filesystem::path saved_;
  bool entered_ = false;
};

}  // namespace dravo::nutrition
