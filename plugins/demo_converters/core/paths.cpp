#include <demo_converters/core/paths.h>

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
  // Built by appending: g++ 12 at -O3 misreads prepending as an overlapping copy.
  std::string text = "\"";
  text += Utf8Of(path);
  text += '"';
  return text;
}

std::string ExtensionOf(const std::string& path) {
  const std::string dotted = Utf8Of(PathOf(path).extension());
  std::string extension;
  for (std::size_t i = 1; i < dotted.size(); ++i)
    extension.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(dotted[i]))));
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
