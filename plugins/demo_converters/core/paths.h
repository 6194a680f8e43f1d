// Small path helpers shared by the converters.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace dravo::demo {

// A UTF-8 path text as a platform path.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);
// The path in double quotes, for error texts.
std::string Quoted(const std::filesystem::path& path);
// Lower-case extension without the dot ("LAS" -> "las").
std::string ExtensionOf(const std::string& path);
std::string StemOf(const std::string& path);

// Where a conversion writes. run_nutrition changes into the output directory
// before converting, so a relative directory that cannot be found from here
// is taken to be the current one.
std::filesystem::path ResolveOutputDir(const std::string& outputDir);
// The name reported by getOutputFiles: joined to an absolute directory,
// bare otherwise (relative names are looked up inside the output directory).
std::string PredictedName(const std::string& outputDir, const std::string& fileName);

std::vector<std::filesystem::path> PathsOf(const std::set<std::string>& inputs);

}  // namespace dravo::demo
