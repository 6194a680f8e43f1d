#include <demo_converters/nutritions/nutrition_support.h>

#include <demo_converters/core/output_file.h>
#include <demo_converters/core/paths.h>

#include <algorithm>
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

namespace {

std::string NamingTheFile(const std::string& input, const std::string& error) {
  const std::string quoted = "\"" + input + "\"";
  return error.starts_with(quoted) ? error : quoted + ": " + error;
}

}  // namespace

std::string ConvertEach(const FileSet& inputs, const Progress& progress,
                        const std::function<void(const std::string&, Committed&)>& convertOne) {
  Committed committed;
  std::vector<std::string> failures;
  for (const auto& input : inputs) {
    try {
      progress.opening(input);
      convertOne(input, committed);
    } catch (const Cancelled& cancelled) {
      for (const auto& path : committed) {
        std::error_code ignored;
        fs::remove(path, ignored);
      }
      return cancelled.what();
    } catch (const std::exception& error) {
      failures.push_back(NamingTheFile(input, error.what()));
      progress.notice("Could not convert " + failures.back());
    }
  }
  if (failures.size() <= 1) return failures.empty() ? "" : failures.front();
  std::string text = "Could not convert " + std::to_string(failures.size()) + " of " +
                     std::to_string(inputs.size()) + " files:";
  for (const auto& failure : failures) text += "\n" + failure;
  return text;
}

Qarn::VNutrition::AnalysisTexts AnalyseEach(
    const FileSet& inputs,
    const std::function<std::string(const std::string&, std::string&)>& describe) {
  Qarn::VNutrition::AnalysisTexts texts;
  for (const auto& input : inputs) {
    std::string line;
    const std::string error = ErrorTextOf([&] { line = describe(input, texts.log); });
    if (!error.empty()) texts.log += "Could not read \"" + input + "\"\n";
    texts.analysis += "<b>" + input + "</b>: " + (error.empty() ? line : error) + "\n";
  }
  return texts;
}

Columns OutputColumns(const std::string& list, const CloudLayout& layout,
                      const std::string& parameter) {
  try {
    Columns columns = ColumnsOf(list, layout);
    for (const auto kind : {Column::X, Column::Y, Column::Z})
      if (std::none_of(columns.begin(), columns.end(),
                       [&](const Column& c) { return c.kind == kind; }))
        throw std::invalid_argument("x, y and z must be kept.");
    return columns;
  } catch (const std::invalid_argument& error) {
    throw std::invalid_argument(parameter + " \"" + list + "\": " + error.what());
  }
}

std::string NoPointsText(const std::string& input, const fs::path& target) {
  return "\"" + input + "\" holds no points; wrote the empty cloud " + Quoted(target) + ".";
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
