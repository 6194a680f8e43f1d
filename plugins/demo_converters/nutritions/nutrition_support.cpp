#include <demo_converters/nutritions/nutrition_support.h>

#include <demo_converters/core/output_file.h>
#include <demo_converters/core/paths.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace dravo::demo {

namespace fs = std::filesystem;

ParameterPtr AddParameter(Qarn::VNutrition& nutrition, const std::string& name,
                          const std::string& help, ParameterPtr parameter) {
  nutrition.addInput(name, help, parameter);
  return parameter;
}

std::string QuickInfoOf(const FileSet& inputs) {
  std::uint64_t total = 0;
  std::string lines;
  for (const auto& input : inputs) {
    std::error_code error;
    const auto size = fs::file_size(PathOf(input), error);
    // A real line break too: readers that strip the markup still see one file per line.
    lines += "<br/>\n" + StemOf(input) + "." + ExtensionOf(input) + ": ";
    lines += error ? std::string("<i>not found</i>") : std::to_string(size) + " bytes";
    if (!error) total += size;
  }
  const std::string count =
      std::to_string(inputs.size()) + (inputs.size() == 1 ? " file" : " files");
  return "<b>" + count + "</b>, " + std::to_string(total) + " bytes in all" + lines;
}

std::string BoundsText(const Bounds& b) {
  if (b.count == 0) return "empty";
  std::ostringstream text;
  text << "(" << b.min[0] << ", " << b.min[1] << ", " << b.min[2] << ") to (" << b.max[0] << ", "
       << b.max[1] << ", " << b.max[2] << ")";
  return text.str();
}

bool StartsWithBytes(const std::string& path, const std::string& magic) {
  std::ifstream stream(PathOf(path), std::ios::binary);
  std::string head(magic.size(), '\0');
  return stream.read(head.data(), static_cast<std::streamsize>(head.size())) && head == magic;
}

bool HasExtension(const Qarn::VNutrition& nutrition, const std::string& path) {
  const std::string extension = ExtensionOf(path);
  bool found = false;
  nutrition.getExtensions([&](const std::string& known) { found = found || known == extension; });
  return found;
}

std::map<std::string, fs::path> PlanOneOutputEach(const FileSet& inputs,
                                                  const std::string& outputDir,
                                                  const std::string& extension) {
  const fs::path dir = ResolveOutputDir(outputDir);
  const auto sources = PathsOf(inputs);
  std::map<std::string, fs::path> plan;
  std::map<fs::path, std::string> claimed;
  for (const auto& input : inputs) {
    const fs::path target = dir / PathOf(StemOf(input) + "." + extension);
    if (const auto other = claimed.find(target); other != claimed.end())
      throw std::runtime_error("\"" + input + "\" and \"" + other->second +
                               "\" would both be written to " + Quoted(target) +
                               "; convert them separately.");
    RefuseToOverwriteInput(target, sources);
    claimed.emplace(target, input);
    plan.emplace(input, target);
  }
  return plan;
}

std::string ErrorTextOf(const std::function<void()>& body) {
  try {
    body();
    return {};
  } catch (const std::exception& error) {
    return error.what();
  }
}

}  // namespace dravo::demo
