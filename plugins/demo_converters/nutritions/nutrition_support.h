// Pieces every demo nutrition shares: quick info, parameters, progress and
// the output-name checks done before anything is written.
#pragma once

#include <demo_converters/core/point.h>
#include <demo_converters/core/point_writer.h>

#include <brasko/loader_progress.h>
#include <qarn/nutrition.h>

#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace dravo::demo {

using FileSet = Qarn::VNutrition::FileSet;
using ParameterPtr = Brasko::StrongPtr<Qarn::VParameter>;

// Adds an input slot and answers its parameter, which the nutrition keeps.
ParameterPtr AddParameter(Qarn::VNutrition& nutrition, const std::string& name,
                          const std::string& help, ParameterPtr parameter);

// "<b>2 files</b>, 1234 bytes" and one line per file.
std::string QuickInfoOf(const FileSet& inputs);
std::string BoundsText(const Bounds& bounds);
bool HasExtension(const Qarn::VNutrition& nutrition, const std::string& path);

inline constexpr const char* kCancelledText = "Cancelled: the client stopped the conversion.";

// Thrown when the client answers a report with false: the run stops at once.
struct Cancelled : std::runtime_error {
  Cancelled() : std::runtime_error(kCancelledText) {}
};

// Reports that tolerate an empty sink. opening and counted throw Cancelled
// when the sink answers false.
class Progress {
 public:
  explicit Progress(const Brasko::StrongPtr<Brasko::LoaderProgress>& sink) : sink_(sink) {}
  void opening(const std::string& path) const {
    if (sink_.alive() && !sink_->openingFile(path)) throw Cancelled();
  }
  void message(const std::string& text) const {
    if (sink_.alive()) sink_->message(text);
  }
  void notice(const std::string& text) const {
    if (sink_.alive()) sink_->notice(text);
  }
  // Called every so many points or bytes, never per point: a report has a price.
  void counted(const std::string& text, std::uint64_t done, std::uint64_t total) const {
    if (sink_.alive() && !sink_->progress(text, std::int64_t(done), std::int64_t(total)))
      throw Cancelled();
  }

 private:
  const Brasko::StrongPtr<Brasko::LoaderProgress>& sink_;
};

// The files a run has put in place, taken away again if it is cancelled.
using Committed = std::vector<std::filesystem::path>;

// Converts every input with convertOne, going on past a file that fails; the
// log names each failure. Answers convert's text: empty, the failures, or
// the cancel text once every file this run committed is removed.
std::string ConvertEach(
    const FileSet& inputs, const Progress& progress,
    const std::function<void(const std::string& input, Committed&)>& convertOne);

// describe answers a file's analysis after its name and may add to the log;
// what it throws becomes the file's analysis.
Qarn::VNutrition::AnalysisTexts AnalyseEach(
    const FileSet& inputs,
    const std::function<std::string(const std::string& input, std::string& log)>& describe);

// The columns a list names (see ColumnsOf), which must keep x, y and z;
// parameter names the list in the error.
Columns OutputColumns(const std::string& list, const CloudLayout& layout,
                      const std::string& parameter);

// The line a conversion logs for a file without points.
std::string NoPointsText(const std::string& input, const std::filesystem::path& target);

// Maps each input to its one output file inside the resolved directory and
// refuses collisions and overwriting an input; throws with a clear text.
std::map<std::string, std::filesystem::path> PlanOneOutputEach(const FileSet& inputs,
                                                               const std::string& outputDir,
                                                               const std::string& extension);

// Runs body, turning an exception into the error text convert answers.
std::string ErrorTextOf(const std::function<void()>& body);

}  // namespace dravo::demo
