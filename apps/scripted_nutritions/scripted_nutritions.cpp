#include <scripted_nutritions/scripted_nutritions.h>

#include <dravo-host/path_text.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string_view>
#include <thread>

namespace dravo::host {

namespace {

using Qarn::VParameter;
using Qarn::mcp::VMCPJsonValue;

// Where a value sits in the document, for error messages.
struct Where {
  const std::string& source;
  std::string path;
  Where at(const std::string& key) const { return {source, path.empty() ? key : path + "." + key}; }
  Where at(std::size_t index) const { return {source, path + "[" + std::to_string(index) + "]"}; }
  [[noreturn]] void fail(const std::string& problem) const {
    throw ScriptError(source + ": at " + (path.empty() ? "top level" : path) + ": " + problem);
  }
};

void OnlyKeys(const VMCPJsonValue& object, const Where& where,
              std::initializer_list<const char*> allowed) {
  for (const auto& member : object.members()) {
    const std::string_view key = member.key();
    if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return key == a; })) {
      const std::string name(key);
      where.at(name).fail("unknown member \"" + name + "\"");
    }
  }
}

const VMCPJsonValue& Object(const VMCPJsonValue& value, const Where& where) {
  if (!value.isObject()) where.fail("expected an object");
  return value;
}

std::string Text(const VMCPJsonValue& object, const char* key, const Where& where,
                 bool required = false) {
  if (!object.has(key)) {
    if (required) where.at(key).fail("missing, a string is required");
    return {};
  }
  if (!object[key].isString()) where.at(key).fail("expected a string");
  return object[key].asString();
}

std::vector<std::string> Texts(const VMCPJsonValue& object, const char* key, const Where& where) {
  std::vector<std::string> texts;
  if (!object.has(key)) return texts;
  if (!object[key].isArray()) where.at(key).fail("expected an array of strings");
  const auto& items = object[key].asArray();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!items[i].isString()) where.at(key).at(i).fail("expected a string");
    texts.push_back(items[i].asString());
  }
  return texts;
}

std::int64_t Integer(const VMCPJsonValue& value, const Where& where) {
  if (!value.isInteger()) where.fail("expected an integer");
  return value.asInt();
}

double Number(const VMCPJsonValue& value, const Where& where) {
  if (value.kind != VMCPJsonValue::Number) where.fail("expected a number");
  return value.asDouble();
}

std::optional<ScriptedThrow> Throw(const VMCPJsonValue& throws, const char* key,
                                   const Where& where) {
  if (!throws.has(key)) return std::nullopt;
  const Where here = where.at(key);
  const auto& entry = Object(throws[key], here);
  OnlyKeys(entry, here, {"kind", "message"});
  const std::string kind = Text(entry, "kind", here, true);
  if (kind != "standard" && kind != "other")
    here.at("kind").fail("expected \"standard\" or \"other\"");
  return ScriptedThrow{kind == "standard", Text(entry, "message", here)};
}

Brasko::StrongPtr<VParameter> Parameter(const VMCPJsonValue& slot, const Where& where) {
  if (!slot.has("type")) {
    if (slot.has("value")) where.at("value").fail("a slot without \"type\" has no value");
    return {};
  }
  const std::string type = Text(slot, "type", where);
  const auto& value = slot["value"];
  const Where at = where.at("value");
  if (!slot.has("value")) at.fail("missing, the parameter's current value is required");
  if (type == "bool") {
    if (value.kind != VMCPJsonValue::Boolean) at.fail("expected true or false");
    return VParameter::MakeBool(value.asBool());
  }
  if (type == "integer") {
    const auto lowest = slot.has("min") ? Integer(slot["min"], where.at("min"))
                                        : std::numeric_limits<std::int64_t>::min();
    const auto highest = slot.has("max") ? Integer(slot["max"], where.at("max"))
                                         : std::numeric_limits<std::int64_t>::max();
    const auto current = Integer(value, at);
    if (current < lowest || current > highest) at.fail("outside [min, max]");
    return VParameter::MakeInteger(current, lowest, highest);
  }
  if (type == "float") return VParameter::MakeFloat(Number(value, at));
  if (type == "string") {
    if (!value.isString()) at.fail("expected a string");
    return VParameter::MakeString(value.asString());
  }
  if (type == "choice") {
    const auto options = Texts(slot, "options", where);
    if (options.empty()) where.at("options").fail("a choice needs at least one option");
    const auto found = std::find(options.begin(), options.end(), value.asString());
    if (!value.isString() || found == options.end()) at.fail("expected one of the options");
    return VParameter::MakeChoice(options, std::size_t(found - options.begin()));
  }
  if (type == "vector3") {
    if (!value.isArray() || value.size() != 3) at.fail("expected an array of three numbers");
    VParameter::Vector3 v{};
    for (std::size_t i = 0; i < 3; ++i) v[i] = Number(value.asArray()[i], at.at(i));
    return VParameter::MakeVector3(v);
  }
  where.at("type").fail("expected bool, integer, float, string, choice or vector3");
}

void AddSlots(ScriptedNutrition& nutrition, const VMCPJsonValue& entry, const Where& where) {
  if (!entry.has("slots")) return;
  if (!entry["slots"].isArray()) where.at("slots").fail("expected an array");
  const auto& slots = entry["slots"].asArray();
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const Where here = where.at("slots").at(i);
    const auto& slot = Object(slots[i], here);
    OnlyKeys(slot, here, {"name", "help", "type", "value", "min", "max", "options"});
    nutrition.addInput(Text(slot, "name", here, true), Text(slot, "help", here),
                       Parameter(slot, here));
  }
}

void AddOutputScripts(ScriptedNutrition& nutrition, const VMCPJsonValue& entry,
                      const Where& where) {
  if (!entry.has("output_scripts")) return;
  if (!entry["output_scripts"].isArray()) where.at("output_scripts").fail("expected an array");
  const auto& scripts = entry["output_scripts"].asArray();
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    const Where here = where.at("output_scripts").at(i);
    const auto& script = Object(scripts[i], here);
    OnlyKeys(script, here, {"id", "shortname", "description"});
    const int id = int(Integer(script["id"], here.at("id")));
    nutrition.outputScripts[id] = {Text(script, "shortname", here),
                                   Text(script, "description", here)};
  }
}

void ReadDigestible(ScriptedBehaviour& behaviour, const VMCPJsonValue& entry, const Where& where) {
  using D = ScriptedBehaviour::Digestible;
  if (!entry.has("digestible")) return;
  const auto& rule = entry["digestible"];
  if (rule.kind == VMCPJsonValue::Boolean) {
    behaviour.digestible = rule.asBool() ? D::Always : D::Never;
  } else if (rule.isArray()) {
    behaviour.digestible = D::BySuffix;
    behaviour.digestibleSuffixes = Texts(entry, "digestible", where);
  } else {
    where.at("digestible").fail("expected true, false or an array of path suffixes");
  }
}

void ReadConversion(ScriptedBehaviour& behaviour, const VMCPJsonValue& entry, const Where& where) {
  if (!entry.has("conversion")) return;
  const Where here = where.at("conversion");
  const auto& conversion = Object(entry["conversion"], here);
  OnlyKeys(conversion, here, {"write", "content", "delay_ms", "progress", "error"});
  const std::string write = conversion.has("write") ? Text(conversion, "write", here) : "all";
  using W = ScriptedBehaviour::Write;
  if (write == "all")
    behaviour.write = W::All;
  else if (write == "some")
    behaviour.write = W::Some;
  else if (write == "none")
    behaviour.write = W::None;
  else
    here.at("write").fail("expected \"all\", \"some\" or \"none\"");
  behaviour.content = Text(conversion, "content", here);
  if (conversion.has("delay_ms"))
    behaviour.delayMs = Integer(conversion["delay_ms"], here.at("delay_ms"));
  behaviour.error = Text(conversion, "error", here);
  if (!conversion.has("progress")) return;
  if (!conversion["progress"].isArray()) here.at("progress").fail("expected an array");
  const auto& reports = conversion["progress"].asArray();
  for (std::size_t i = 0; i < reports.size(); ++i) {
    const Where at = here.at("progress").at(i);
    const auto& report = Object(reports[i], at);
    OnlyKeys(report, at, {"kind", "text", "done", "total"});
    ScriptedProgress item{Text(report, "kind", at, true), Text(report, "text", at)};
    static const char* kinds[] = {"openingFile", "tryLoader", "progress",
                                  "message",     "notice",    "abort_on_issue"};
    if (std::find(std::begin(kinds), std::end(kinds), item.kind) == std::end(kinds))
      at.at("kind").fail(
          "expected openingFile, tryLoader, progress, message, notice or "
          "abort_on_issue");
    if (report.has("done")) item.done = Integer(report["done"], at.at("done"));
    if (report.has("total")) item.total = Integer(report["total"], at.at("total"));
    behaviour.progress.push_back(std::move(item));
  }
}

ScriptedBehaviour Behaviour(const VMCPJsonValue& entry, const Where& where) {
  ScriptedBehaviour behaviour;
  behaviour.quickInfo = Text(entry, "quick_info", where);
  if (entry.has("analysis")) {
    const Where here = where.at("analysis");
    const auto& analysis = Object(entry["analysis"], here);
    OnlyKeys(analysis, here, {"log", "text"});
    behaviour.analysisLog = Text(analysis, "log", here);
    behaviour.analysisText = Text(analysis, "text", here);
  }
  ReadDigestible(behaviour, entry, where);
  behaviour.predictedOutputs = Texts(entry, "predicted_outputs", where);
  ReadConversion(behaviour, entry, where);
  if (entry.has("throws")) {
    const Where here = where.at("throws");
    const auto& throws = Object(entry["throws"], here);
    OnlyKeys(throws, here, {"quick_info", "analyse", "digestible", "output_files", "convert"});
    behaviour.throwsOnQuickInfo = Throw(throws, "quick_info", here);
    behaviour.throwsOnAnalyse = Throw(throws, "analyse", here);
    behaviour.throwsOnDigestible = Throw(throws, "digestible", here);
    behaviour.throwsOnOutputFiles = Throw(throws, "output_files", here);
    behaviour.throwsOnConvert = Throw(throws, "convert", here);
  }
  return behaviour;
}

Brasko::StrongPtr<ScriptedNutrition> Build(const VMCPJsonValue& entry, const Where& where) {
  Object(entry, where);
  OnlyKeys(entry, where,
           {"name", "description", "input_extensions", "output_extensions", "genres", "slots",
            "output_scripts", "quick_info", "analysis", "digestible", "predicted_outputs",
            "conversion", "throws"});
  const std::string name = Text(entry, "name", where, true);
  if (name.empty()) where.at("name").fail("must not be empty");
  auto nutrition = Brasko::MakeStrong<ScriptedNutrition>(name, Behaviour(entry, where));
  nutrition->description = Text(entry, "description", where);
  for (auto& extension : Texts(entry, "input_extensions", where))
    nutrition->addExtension(std::move(extension));
  for (auto& extension : Texts(entry, "output_extensions", where))
    nutrition->outputExtensions.insert(std::move(extension));
  for (auto& genre : Texts(entry, "genres", where)) nutrition->genres.insert(std::move(genre));
  AddSlots(*nutrition, entry, where);
  AddOutputScripts(*nutrition, entry, where);
  return nutrition;
}

[[noreturn]] void Raise(const ScriptedThrow& thrown) {
  if (thrown.standard) throw std::runtime_error(thrown.message);
  throw thrown;  // not derived from std::exception
}

void MaybeRaise(const std::optional<ScriptedThrow>& thrown) {
  if (thrown) Raise(*thrown);
}

std::string LineAndColumn(const std::string& text, std::size_t position) {
  position = std::min(position, text.size());
  const auto line = 1 + std::count(text.begin(), text.begin() + std::ptrdiff_t(position), '\n');
  const auto lineStart = text.rfind('\n', position == 0 ? 0 : position - 1);
  const auto column = position - (lineStart == std::string::npos ? 0 : lineStart + 1) + 1;
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
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
    auto& sink = *progress;
    if (report.kind == "openingFile")
      sink.openingFile(report.text);
    else if (report.kind == "tryLoader")
      sink.tryLoader(report.text);
    else if (report.kind == "progress")
      sink.progress(report.text, report.done, report.total);
    else if (report.kind == "message")
      sink.message(report.text);
    else if (report.kind == "notice")
      sink.notice(report.text);
    else
      sink.abort_on_issue(report.text);
  }
  std::this_thread::sleep_for(pause);
  using W = ScriptedBehaviour::Write;
  std::size_t toWrite = behaviour_.write == W::All    ? outputs.size()
                        : behaviour_.write == W::None ? 0
                                                      : (outputs.empty() ? 0 : outputs.size() - 1);
  for (const auto& name : outputs) {
    if (toWrite-- == 0) break;
    std::ofstream(PathFromUtf8(outputDir) / PathFromUtf8(name), std::ios::binary)
        << behaviour_.content;
  }
  MaybeRaise(behaviour_.throwsOnConvert);
  return behaviour_.error;
}

std::vector<Brasko::StrongPtr<ScriptedNutrition>> BuildScriptedNutritions(
    const VMCPJsonValue& document, const std::string& source) {
  const Where top{source, ""};
  Object(document, top);
  OnlyKeys(document, top, {"nutritions", "comment"});
  if (!document["nutritions"].isArray()) top.at("nutritions").fail("expected an array");
  std::vector<Brasko::StrongPtr<ScriptedNutrition>> nutritions;
  const auto& entries = document["nutritions"].asArray();
  for (std::size_t i = 0; i < entries.size(); ++i)
    nutritions.push_back(Build(entries[i], top.at("nutritions").at(i)));
  return nutritions;
}

std::vector<Brasko::StrongPtr<ScriptedNutrition>> LoadScriptedNutritions(
    const std::filesystem::path& file) {
  const std::string source = Utf8(file);
  std::ifstream in(file, std::ios::binary);
  if (!in) throw ScriptError(source + ": cannot be read");
  std::stringstream text;
  text << in.rdbuf();
  const std::string content = text.str();
  VMCPJsonValue document;
  try {
    document = VMCPJsonValue::Parse(content);
  } catch (const Qarn::mcp::VMCPJsonParseError& error) {
    throw ScriptError(source + ": at " +
                      LineAndColumn(content, error.position() > 0 ? error.position() - 1 : 0) +
                      ": invalid JSON: " + error.what());
  }
  return BuildScriptedNutritions(document, source);
}

NutritionRegistration::~NutritionRegistration() {
  for (auto& nutrition : nutritions_) Qarn::VManagedObject::unregisterObject(nutrition.get());
}

void NutritionRegistration::add(const Brasko::StrongPtr<ScriptedNutrition>& nutrition) {
  Qarn::RegisterManaged<Qarn::VNutrition>(nutrition);
  nutritions_.push_back(nutrition);
}

}  // namespace dravo::host
