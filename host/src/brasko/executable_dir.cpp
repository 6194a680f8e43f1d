#include <brasko/executable_dir.h>
#include <brasko/testing.h>

#include <filesystem>
#include <mutex>

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace Brasko {

namespace {

std::mutex overrideMutex;
std::optional<std::string> overrideDir;

std::string realExecutableDir() {
  std::error_code error;
#if defined(_WIN32)
  std::wstring buffer(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  const std::filesystem::path exe(buffer);
#else
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
#endif
  const std::u8string text = exe.parent_path().u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

std::string getExecutableDir() {
  {
    std::lock_guard lock(overrideMutex);
    if (overrideDir) return *overrideDir;
  }
  // Asked on every listing; where the executable lies does not change.
  static const std::string dir = realExecutableDir();
  return dir;
}

namespace testing {

void setExecutableDirOverride(std::optional<std::string> directory) {
  std::lock_guard lock(overrideMutex);
  overrideDir = std::move(directory);
}

}  // namespace testing

}  // namespace Brasko
