// Pieces every demo nutrition shares: quick info, parameters, progress and
// the output-name checks done before anything is written.
#pragma once

#include <demo_converters/core/point.h>

#include <brasko/loader_progress.h>
#include <qarn/nutrition.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace dravo::demo {

using FileSet = Qarn::VNutrition::FileSet;
using ParameterPtr = Brasko::StrongPtr<Qarn::VParameter>;

// Adds an input slot and answers its parameter, which the nutrition keeps.
ParameterPtr AddParameter(Qarn::VNutrition& nutrition, const std::string& name,
                          const std::string& help, ParameterPtr parameter);

// "<b>2 files</b>, 1234 bytes" and one line per file.
std::string QuickInfoOf(const FileSet& inputs);
std::string BoundsText(const Bounds& bounds);
// True when the file begins with exactly these bytes.
bool StartsWithBytes(const std::string& path, const std::string& magic);
bool HasExtension(const Qarn::VNutrition& nutrition, const std::string& path);

// Reports that tolerate an empty sink.
class Progress {
 public:
  explicit Progress(const Brasko::StrongPtr<Brasko::LoaderProgress>& sink) : sink_(sink) {}
  void opening(const std::string& path) const {
    if (sink_.alive()) sink_->openingFile(path);
  }
  void message(const std::string& text) const {
    if (sink_.alive()) sink_->message(text);
  }
  void notice(const std::string& text) const {
    if (sink_.alive()) sink_->notice(text);
  }
  // Called every so many points or bytes, never per point: a report has a price.
  void counted(const std::string& text, std::uint64_t done, std::uint64_t total) const {
    if (sink_.alive()) sink_->progress(text, std::int64_t(done), std::int64_t(total));
  }

 private:
  const Brasko::StrongPtr<Brasko::LoaderProgress>& sink_;
};

// Maps each input to its one output file inside the resolved directory and
// refuses collisions and overwriting an input; throws with a clear text.
std::map<std::string, std::filesystem::path> PlanOneOutputEach(const FileSet& inputs,
                                                               const std::string& outputDir,
                                                               const std::string& extension);

// Runs body, turning an exception into the error text convert answers.
std::string ErrorTextOf(const std::function<void()>& body);

}  // namespace dravo::demo
