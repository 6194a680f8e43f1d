// Loads *.tolm plug-ins the way the application does and disables the ones
// that fail by renaming them to *.tolm~.
#pragma once

#include <brasko/shared_library.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dravo::host {

struct PluginLoadOptions {
  bool keepFailed = false;  // leave failed files as they are
  // One line per failed plug-in; standard error by default.
  std::function<void(const std::string&)> report;
};

class PluginLoader {
 public:
  explicit PluginLoader(PluginLoadOptions options);
  PluginLoader(const PluginLoader&) = delete;
  PluginLoader& operator=(const PluginLoader&) = delete;
  // Unloads in reverse order of loading.
  ~PluginLoader();

  // Loads every *.tolm directly in the directory, in name order.
  void loadDirectory(const std::filesystem::path& directory);
  // Loads one file; false when it was refused.
  bool load(const std::filesystem::path& file);
  void unloadAll() noexcept;

  const std::vector<std::filesystem::path>& loaded() const noexcept { return paths_; }

 private:
  void refuse(const std::filesystem::path& file, const std::string& reason);

  PluginLoadOptions options_;
  std::vector<Brasko::SharedLibrary> libraries_;
  std::vector<std::filesystem::path> paths_;
};

// The export a plug-in named by its file stem must offer.
std::string PluginEntryName(const std::filesystem::path& file);

}  // namespace dravo::host
