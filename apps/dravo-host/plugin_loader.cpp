#include <dravo-host/plugin_loader.h>

#include <dravo-host/path_text.h>

#include <qarn/initialization.h>

#include <algorithm>
#include <iostream>
#include <system_error>

namespace dravo::host {

namespace {

using EntryFunction = bool (*)(Qarn::VInitialization*);

}  // namespace

std::string PluginEntryName(const std::filesystem::path& file) {
  return std::string(Qarn::kApiVersionTag) + "__" + Utf8(file.stem());
}

PluginLoader::PluginLoader(PluginLoadOptions options) : options_(std::move(options)) {
  if (!options_.report)
    options_.report = [](const std::string& line) { std::cerr << line << std::endl; };
}

PluginLoader::~PluginLoader() {
  unloadAll();
}

void PluginLoader::loadDirectory(const std::filesystem::path& directory) {
  std::error_code error;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    if (entry.path().extension() == ".tolm" && !entry.is_directory(error))
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) load(file);
}

bool PluginLoader::load(const std::filesystem::path& file) {
  std::string error;
  auto library = Brasko::SharedLibrary::open(file, error);
  if (!library.loaded()) {
    refuse(file, "cannot be loaded: " + error);
    return false;
  }
  const std::string entryName = PluginEntryName(file);
  auto entry = reinterpret_cast<EntryFunction>(library.symbol(entryName.c_str()));
  if (!entry) {
    library.close();
    refuse(file, "has no export " + entryName);
    return false;
  }
  Qarn::VInitialization initialization;
  if (!entry(&initialization)) {
    library.close();
    refuse(file, "is not compatible with this application (" + std::string(Qarn::kApiKey) + ")");
    return false;
  }
  libraries_.push_back(std::move(library));
  paths_.push_back(file);
  return true;
}

void PluginLoader::unloadAll() noexcept {
  while (!libraries_.empty()) {
    libraries_.back().close();
    libraries_.pop_back();
    paths_.pop_back();
  }
}

void PluginLoader::refuse(const std::filesystem::path& file, const std::string& reason) {
  std::string line = "dravo-host: plug-in \"" + Utf8(file) + "\" " + reason;
  if (options_.keepFailed) {
    options_.report(line + "; left in place (--keep-failed).");
    return;
  }
  auto disabled = file;
  disabled += "~";
  std::error_code error;
  std::filesystem::rename(file, disabled, error);
  if (error)
    line += "; could not disable it: " + error.message();
  else
    line += "; disabled as \"" + Utf8(disabled) + "\".";
  options_.report(line);
}

}  // namespace dravo::host
