#include "working_directory.h"

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace dravo::nutrition {

std::error_code ChangeWorkingDirectory(const std::filesystem::path& directory) noexcept {
#if defined(_WIN32)
  // The mingw standard library maps the failure to an errno value, which
  // loses the system's error code and its wording; ask the system directly.
  if (SetCurrentDirectoryW(directory.c_str())) return {};
  return {int(GetLastError()), std::system_category()};
#else
  std::error_code error;
  std::filesystem::current_path(directory, error);
  if (error) return {error.value(), std::system_category()};
  return {};
#endif
}

}  // namespace dravo::nutrition
