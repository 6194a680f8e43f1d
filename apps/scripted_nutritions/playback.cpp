// Plays a scripted nutrition back: its answers, exceptions, progress reports
// and output files, as the catalogue entry describes them.
#include <scripted_nutritions/scripted_nutritions.h>

#include <dravo-host/path_text.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <thread>

namespace dravo::host {

namespace {

[[noreturn]] void Raise(const ScriptedThrow& thrown) {
  if (thrown.standard) throw std::runtime_error(thrown.message);
  throw thrown;  // not derived from std::exception
}

void MaybeRaise(const std::optional<ScriptedThrow>& thrown) {
  if (thrown) Raise(*thrown);
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The extension that std::filesystem finds, without the dot, read off the
// text: building a path for each file made large analyses slow.
std::string_view ExtensionOf(std::string_view path) {
#if defined(_WIN32)
  const auto separator = path.find_last_of("/\\:");
#else
  const auto separator = path.rfind('/');
#endif
  const auto name = separator == std::string_view::npos ? path : path.substr(separator + 1);
  const auto dot = name.rfind('.');
  if (name == ".." || dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

std::string AsciiLower(std::string text) {
  for (auto& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

// Passes one report on; false when the sink answers that the run should stop.
bool Report(Brasko::LoaderProgress& sink, const ScriptedProgress& report) {
  if (report.kind == "openingFile") return sink.openingFile(report.text);
  if (report.kind == "progress") return sink.progress(report.text, report.done, report.total);
  if (report.kind == "tryLoader")
    sink.tryLoader(report.text);
  else if (report.kind == "message")
    sink.message(report.text);
  else if (report.kind == "notice")
    sink.notice(report.text);
  else
    sink.abort_on_issue(report.text);  // its answer asks about an issue, not whether to go on
  return true;
}

}  // namespace

ScriptedNutrition::ScriptedNutrition(std::string name, ScriptedBehaviour behaviour)
    : VNutrition(std::move(name)), behaviour_(std::move(behaviour)) {}

std::string ScriptedNutrition::getQuickInfo(const FileSet&) const {
  MaybeRaise(behaviour_.throwsOnQuickInfo);
  return behaviour_.quickInfo;
}

Qarn::VNutrition::AnalysisTexts ScriptedNutrition::analyse(const FileSet&) const {
  MaybeRaise(behaviour_.throwsOnAnalyse);
  return {behaviour_.analysisLog, behaviour_.analysisText};
}

bool ScriptedNutrition::isDigestible(const std::string& path) const {
  MaybeRaise(behaviour_.throwsOnDigestible);
  using D = ScriptedBehaviour::Digestible;
  switch (behaviour_.digestible) {
    case D::Always: return true;
    case D::Never: return false;
    case D::BySuffix:
      return std::any_of(behaviour_.digestibleSuffixes.begin(), behaviour_.digestibleSuffixes.end(),
                         [&](const std::string& suffix) { return EndsWith(path, suffix); });
    case D::ByExtension: break;
  }
  const std::string extension = AsciiLower(std::string(ExtensionOf(path)));
  bool found = false;
  getExtensions([&](const std::string& own) { found = found || extension == AsciiLower(own); });
  return found;
}

bool ScriptedNutrition::getOutputFiles(std::set<std::string>& outputs, const std::string&,
                                       const FileSet& inputs) {
  MaybeRaise(behaviour_.throwsOnOutputFiles);
  static const std::string stem = "{stem}";
  for (const auto& name : behaviour_.predictedOutputs) {
    const auto at = name.find(stem);
    if (at == std::string::npos) {
      outputs.insert(name);
      continue;
    }
    for (const auto& input : inputs) {
      auto expanded = name;
      expanded.replace(at, stem.size(), Utf8(PathFromUtf8(input).stem()));
      outputs.insert(expanded);
    }
  }
  return true;
}

std::string ScriptedNutrition::convert(const std::set<std::string>& outputs,
                                       const std::string& outputDir, const NameMap&, const FileSet&,
                                       const Brasko::StrongPtr<Brasko::LoaderProgress>& progress) {
  // The delay is shared out between the reports, so that they arrive over the whole run.
  const auto pause = std::chrono::milliseconds(std::max<std::int64_t>(behaviour_.delayMs, 0) /
                                               std::int64_t(behaviour_.progress.size() + 1));
  for (const auto& report : behaviour_.progress) {
    std::this_thread::sleep_for(pause);
    if (!progress.alive()) break;
    if (!Report(*progress, report)) return kCancelled;
  }
  std::this_thread::sleep_for(pause);
  WriteOutputs(outputs, outputDir);
  MaybeRaise(behaviour_.throwsOnConvert);
  return behaviour_.error;
}

// Each file is written under a temporary name and renamed once complete.
void ScriptedNutrition::WriteOutputs(const std::set<std::string>& outputs,
                                     const std::string& outputDir) const {
  using W = ScriptedBehaviour::Write;
  std::size_t toWrite = behaviour_.write == W::All    ? outputs.size()
                        : behaviour_.write == W::None ? 0
                                                      : (outputs.empty() ? 0 : outputs.size() - 1);
  for (const auto& name : outputs) {
    if (toWrite-- == 0) break;
    const auto path = PathFromUtf8(outputDir) / PathFromUtf8(name);
    auto partial = path;
    partial += ".partial";
    std::ofstream(partial, std::ios::binary) << behaviour_.content;
    std::error_code ignored;  // a file that cannot be written is missing from the result
    std::filesystem::rename(partial, path, ignored);
  }
}

NutritionRegistration::~NutritionRegistration() {
  for (auto& nutrition : nutritions_) Qarn::VManagedObject::unregisterObject(nutrition.get());
}

void NutritionRegistration::add(const Brasko::StrongPtr<ScriptedNutrition>& nutrition) {
  Qarn::RegisterManaged<Qarn::VNutrition>(nutrition, "catalogue \"" + nutrition->catalogue + "\"");
  nutritions_.push_back(nutrition);
}

}  // namespace dravo::host
