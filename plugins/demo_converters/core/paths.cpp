#include "paths.h"

#include <algorithm>
#include <cctype>

namespace dravo::demo {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string Quoted(const fs::path& path) {
  return "\"" + Utf8Of(path) + "\"";
}

std::string ExtensionOf(const std::string& path) {
  std::string extension = Utf8Of(PathOf(path).extension());
  if (!extension.empty()) extension.erase(0, 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

std::string StemOf(const std::string& path) {
  return Utf8Of(PathOf(path).stem());
}

fs::path ResolveOutputDir(const std::string& outputDir) {
  if (outputDir.empty()) return fs::current_path();
  const fs::path dir = PathOf(outputDir);
  std::error_code error;
  if (dir.is_absolute() || fs::is_directory(dir, error)) return dir;
  return fs::current_path();
}

std::string PredictedName(const std::string& outputDir, const std::string& fileName) {
  const fs::path dir = PathOf(outputDir);
  if (!outputDir.empty() && dir.is_absolute()) return Utf8Of(dir / PathOf(fileName));
  return fileName;
}

std::vector<fs::path> PathsOf(const std::set<std::string>& inputs) {
  std::vector<fs::path> paths;
  for (const auto& input : inputs) paths.push_back(PathOf(input));
  return paths;
}

}  // namespace dravo::demo
