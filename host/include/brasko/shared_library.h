// The one seam for loading shared libraries (dlopen / LoadLibrary).
#pragma once

#include <brasko/export.h>

#include <filesystem>
#include <string>

namespace Brasko {

class BRASKO_API SharedLibrary {
 public:
  SharedLibrary() = default;
  SharedLibrary(SharedLibrary&& other) noexcept;
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  ~SharedLibrary();

  // Loads the library; on failure returns an unloaded one and sets error.
  static SharedLibrary open(const std::filesystem::path& path, std::string& error);

  bool loaded() const noexcept { return handle_ != nullptr; }
  void* symbol(const char* name) const noexcept;
  // Unloads now (the destructor does it too).
  void close() noexcept;

 private:
  void* handle_ = nullptr;
};

}  // namespace Brasko
