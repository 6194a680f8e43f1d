#include "working_directory.h"

namespace dravo::nutrition {

namespace fs = std::filesystem;

fs::path Utf8Path(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

WorkingDirectoryChange::WorkingDirectoryChange() {
  std::error_code ignored;  // an unreadable directory leaves saved_ empty
  saved_ = fs::current_path(ignored);
}

std::error_code WorkingDirectoryChange::enter(const fs::path& directory) noexcept {
  std::error_code error;
  fs::current_path(directory, error);
  entered_ = !error;
  return error;
}

void WorkingDirectoryChange::restore() noexcept {
  if (!entered_) return;
  entered_ = false;
  std::error_code ignored;
  fs::current_path(saved_, ignored);
}

}  // namespace dravo::nutrition
