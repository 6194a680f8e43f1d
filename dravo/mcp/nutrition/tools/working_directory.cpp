#include <dravo/mcp/nutrition/tools/working_directory.h>

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace dravo::nutrition {

namespace fs = std::filesystem;

std::error_code ChangeWorkingDirectory(const fs::path& directory) noexcept {
#if defined(_WIN32)
  // The mingw standard library maps the failure to an errno value, which
  // loses the system's error code and its wording; ask the system directly.
  if (SetCurrentDirectoryW(directory.c_str())) return {};
  return {int(GetLastError()), std::system_category()};
#else
  std::error_code error;
  fs::current_path(directory, error);
  if (error) return {error.value(), std::system_category()};
  return {};
#endif
}

fs::path Utf8Path(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

WorkingDirectoryChange::WorkingDirectoryChange() {
  std::error_code ignored;  // an unreadable directory leaves saved_ empty
  saved_ = fs::current_path(ignored);
}

std::error_code WorkingDirectoryChange::enter(const fs::path& directory) noexcept {
  const std::error_code error = ChangeWorkingDirectory(directory);
  entered_ = !error;
  return error;
}

void WorkingDirectoryChange::restore() noexcept {
  if (!entered_) return;
  entered_ = false;
  (void)ChangeWorkingDirectory(saved_);
}

}  // namespace dravo::nutrition
