#include <brasko/shared_library.h>

#include <system_error>
#include <utility>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

namespace Brasko {

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

SharedLibrary::~SharedLibrary() {
  close();
}

#if defined(_WIN32)

SharedLibrary SharedLibrary::open(const std::filesystem::path& path, std::string& error) {
  SharedLibrary library;
  // A server has nobody to click away the system's "cannot load" dialog box.
  DWORD previousMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode);
  library.handle_ = reinterpret_cast<void*>(LoadLibraryW(path.c_str()));
  const DWORD failure = GetLastError();
  SetThreadErrorMode(previousMode, nullptr);
  if (!library.handle_) error = std::system_category().message(int(failure));
  return library;
}

void* SharedLibrary::symbol(const char* name) const noexcept {
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void SharedLibrary::close() noexcept {
  if (auto* handle = std::exchange(handle_, nullptr)) FreeLibrary(static_cast<HMODULE>(handle));
}

#else

SharedLibrary SharedLibrary::open(const std::filesystem::path& path, std::string& error) {
  SharedLibrary library;
  library.handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library.handle_) {
    const char* text = dlerror();
    error = text ? text : "cannot load the library";
  }
  return library;
}

void* SharedLibrary::symbol(const char* name) const noexcept {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

void SharedLibrary::close() noexcept {
  if (auto* handle = std::exchange(handle_, nullptr)) dlclose(handle);
}

#endif

}  // namespace Brasko
