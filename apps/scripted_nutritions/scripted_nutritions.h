// Nutritions described in a JSON file, so that every path of every tool can
// be driven from outside the process. The format is in docs/. The catalogue
// reader (catalogue_reader.cpp) builds them; playback.cpp plays them back.
#pragma once

#include <brasko/reference.h>
#include <qarn/mcp/json_value.h>
#include <qarn/nutrition.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace dravo::host {

// A malformed file; the text names the file and where the problem is.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An exception a scripted operation raises instead of answering.
struct ScriptedThrow {
  bool standard = true;  // std::runtime_error, else a non-standard object
  std::string message;
};

struct ScriptedProgress {
  std::string kind;  // openingFile, tryLoader, progress, message, notice, abort_on_issue
  std::string text;
  std::int64_t done = 0;
  std::int64_t total = 0;
};

struct ScriptedBehaviour {
  std::string quickInfo;
  std::string analysisLog;
  std::string analysisText;
  enum class Digestible {
    ByExtension,
    Always,
    Never,
    BySuffix
  } digestible = Digestible::ByExtension;
  std::vector<std::string> digestibleSuffixes;
  std::vector<std::string> predictedOutputs;  // "{stem}" repeats a name per input file
  enum class Write { All, Some, None } write = Write::All;
  std::string content;
  std::int64_t delayMs = 0;
  std::vector<ScriptedProgress> progress;
  std::string error;
  std::optional<ScriptedThrow> throwsOnQuickInfo, throwsOnAnalyse, throwsOnDigestible,
      throwsOnOutputFiles, throwsOnConvert;
};

// What convert answers when the progress sink asks it to stop: nothing is
// written then.
inline constexpr const char* kCancelled = "Cancelled: the client stopped the conversion.";

class ScriptedNutrition : public Qarn::VNutrition {
 public:
  ScriptedNutrition(std::string name, ScriptedBehaviour behaviour);

  std::string catalogue;  // the file it was read from, for the log

  std::string getQuickInfo(const FileSet& inputs) const override;
  AnalysisTexts analyse(const FileSet& inputs) const override;
  bool isDigestible(const std::string& path) const override;
  bool getOutputFiles(std::set<std::string>& outputs, const std::string& outputDir,
                      const FileSet& inputs) override;
  std::string convert(const std::set<std::string>& outputs, const std::string& outputDir,
                      const NameMap& nameMap, const FileSet& inputs,
                      const Brasko::StrongPtr<Brasko::LoaderProgress>& progress) override;

 private:
  void WriteOutputs(const std::set<std::string>& outputs, const std::string& outputDir) const;

  ScriptedBehaviour behaviour_;
};

// Builds the nutritions of a parsed file; `source` names it in errors.
std::vector<Brasko::StrongPtr<ScriptedNutrition>> BuildScriptedNutritions(
    const Qarn::mcp::VMCPJsonValue& document, const std::string& source);
// Reads, parses and builds; ScriptError with file and position when malformed.
std::vector<Brasko::StrongPtr<ScriptedNutrition>> LoadScriptedNutritions(
    const std::filesystem::path& file);

// Keeps nutritions registered with the application for its own lifetime.
class NutritionRegistration {
 public:
  NutritionRegistration() = default;
  NutritionRegistration(const NutritionRegistration&) = delete;
  NutritionRegistration& operator=(const NutritionRegistration&) = delete;
  ~NutritionRegistration();

  void add(const Brasko::StrongPtr<ScriptedNutrition>& nutrition);

 private:
  std::vector<Brasko::StrongPtr<ScriptedNutrition>> nutritions_;
};

}  // namespace dravo::host
