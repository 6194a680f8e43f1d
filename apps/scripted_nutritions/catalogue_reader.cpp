// Reads a scripted catalogue: the schema checks its keys and types, then
// each entry becomes a nutrition, with the checks a schema cannot state.
#include <scripted_nutritions/catalogue_schema.h>
#include <scripted_nutritions/scripted_nutritions.h>

#include <dravo-host/path_text.h>

#include <rapidjson/document.h>
#include <rapidjson/pointer.h>
#include <rapidjson/schema.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>

namespace dravo::host {

namespace {

using Qarn::VParameter;
using Qarn::mcp::VMCPJsonValue;

// Where a value sits in the document, for error messages.
struct Where {
  const std::string& source;
  std::string path;
  Where at(std::string_view key) const {
    return {source, path.empty() ? std::string(key) : path + "." + std::string(key)};
  }
  Where at(std::size_t index) const { return {source, path + "[" + std::to_string(index) + "]"}; }
  [[noreturn]] void fail(const std::string& problem) const {
    throw ScriptError(source + ": at " + (path.empty() ? "top level" : path) + ": " + problem);
  }
};

// Feeds a value to a reader's handler as the parser would have.
template <class Handler>
bool Replay(const VMCPJsonValue& value, Handler& handler) {
  switch (value.kind) {
    case VMCPJsonValue::Null: return handler.Null();
    case VMCPJsonValue::Boolean: return handler.Bool(value.asBool());
    case VMCPJsonValue::Number:
      return value.isInteger() ? handler.Int64(value.asInt()) : handler.Double(value.asDouble());
    case VMCPJsonValue::String: {
      const std::string text = value.asString();
      return handler.String(text.data(), rapidjson::SizeType(text.size()), true);
    }
    case VMCPJsonValue::Array:
      if (!handler.StartArray()) return false;
      for (const auto& element : value.asArray())
        if (!Replay(element, handler)) return false;
      return handler.EndArray(rapidjson::SizeType(value.size()));
    case VMCPJsonValue::Object:
      if (!handler.StartObject()) return false;
      for (const auto& member : value.members()) {
        const std::string_view key = member.key();
        if (!handler.Key(key.data(), rapidjson::SizeType(key.size()), true) ||
            !Replay(member.value, handler))
          return false;
      }
      return handler.EndObject(rapidjson::SizeType(value.size()));
  }
  return false;
}

// The schema's text, for the error texts it carries, and its checks.
struct CatalogueSchema {
  static rapidjson::Document Parsed() {
    rapidjson::Document document;
    document.Parse(kCatalogueSchema);
    return document;
  }
  const rapidjson::Document text = Parsed();
  const rapidjson::SchemaDocument checks{text};
};

const CatalogueSchema& TheSchema() {
  static const CatalogueSchema schema;
  return schema;
}

// A schema, its reference followed.
const rapidjson::Value& Resolved(const rapidjson::Value& schema) {
  if (!schema.IsObject() || !schema.HasMember("$ref")) return schema;
  const std::string_view ref = schema["$ref"].GetString();
  return *rapidjson::Pointer(std::string(ref.substr(1)).c_str()).Get(TheSchema().text);
}

std::string ErrorText(const rapidjson::Value& schema, const char* keyword) {
  const auto& resolved = Resolved(schema);
  if (resolved.HasMember("errors") && resolved["errors"].HasMember(keyword))
    return resolved["errors"][keyword].GetString();
  return std::string("does not match the catalogue's \"") + keyword + "\" rule";
}

// The first member of object that the schema's properties do not name.
std::string UnknownMember(const VMCPJsonValue& object, const rapidjson::Value& schema) {
  for (const auto& member : object.members())
    if (!schema["properties"].HasMember(std::string(member.key()).c_str()))
      return std::string(member.key());
  return {};
}

// Turns the validator's first complaint into the text a reader is shown.
[[noreturn]] void Refuse(const rapidjson::SchemaValidator& validator, const VMCPJsonValue& document,
                         const std::string& source) {
  Where where{source, ""};
  const VMCPJsonValue* value = &document;
  std::string lastKey;
  const auto& pointer = validator.GetInvalidDocumentPointer();
  for (std::size_t i = 0; i < pointer.GetTokenCount(); ++i) {
    const auto& token = pointer.GetTokens()[i];
    lastKey.clear();
    if (value->isArray()) {
      where.path = where.at(std::size_t(token.index)).path;
      value = &value->asArray()[token.index];
    } else {
      lastKey.assign(token.name, token.length);
      where.path = where.at(lastKey).path;
      value = &(*value)[lastKey];
    }
  }
  const auto& schema = *validator.GetInvalidSchemaPointer().Get(TheSchema().text);
  const std::string keyword = validator.GetInvalidSchemaKeyword();
  if (keyword == "additionalProperties") {
    // The validator may stop on the member's name, before its value.
    if (!lastKey.empty() && !schema["properties"].HasMember(lastKey.c_str()))
      where.fail("unknown member \"" + lastKey + "\"");
    const std::string name = UnknownMember(*value, schema);
    where.at(name).fail("unknown member \"" + name + "\"");
  }
  if (keyword == "required") {
    for (const auto& required : schema["required"].GetArray()) {
      const std::string_view key = required.GetString();
      if (!value->has(key))
        where.at(key).fail(ErrorText(schema["properties"][required], "required"));
    }
  }
  where.fail(ErrorText(schema, keyword.c_str()));
}

std::vector<std::string> Texts(const VMCPJsonValue& strings) {
  std::vector<std::string> texts;
  for (const auto& text : strings.asArray()) texts.push_back(text.asString());
  return texts;
}

std::optional<ScriptedThrow> Throw(const VMCPJsonValue& throws, const char* key) {
  if (!throws.has(key)) return std::nullopt;
  return ScriptedThrow{throws[key]["kind"].asString() == "standard",
                       throws[key]["message"].asString()};
}

std::int64_t Bound(const VMCPJsonValue& slot, const char* key, std::int64_t otherwise) {
  return slot.has(key) ? slot[key].asInt() : otherwise;
}

double Number(const VMCPJsonValue& value, const Where& where) {
  if (value.kind != VMCPJsonValue::Number) where.fail("expected a number");
  return value.asDouble();
}

Brasko::StrongPtr<VParameter> Parameter(const VMCPJsonValue& slot, const Where& where) {
  if (!slot.has("type")) {
    if (slot.has("value")) where.at("value").fail("a slot without \"type\" has no value");
    return {};
  }
  const std::string type = slot["type"].asString();
  const auto& value = slot["value"];
  const Where at = where.at("value");
  if (!slot.has("value")) at.fail("missing, the parameter's current value is required");
  if (type == "bool") {
    if (value.kind != VMCPJsonValue::Boolean) at.fail("expected true or false");
    return VParameter::MakeBool(value.asBool());
  }
  if (type == "integer") {
    const auto lowest = Bound(slot, "min", std::numeric_limits<std::int64_t>::min());
    const auto highest = Bound(slot, "max", std::numeric_limits<std::int64_t>::max());
    if (!value.isInteger()) at.fail("expected an integer");
    const auto current = value.asInt();
    if (current < lowest || current > highest) at.fail("outside [min, max]");
    return VParameter::MakeInteger(current, lowest, highest);
  }
  if (type == "float") return VParameter::MakeFloat(Number(value, at));
  if (type == "string") {
    if (!value.isString()) at.fail("expected a string");
    return VParameter::MakeString(value.asString());
  }
  if (type == "choice") {
    const auto options = Texts(slot["options"]);
    if (options.empty()) where.at("options").fail("a choice needs at least one option");
    const auto found = std::find(options.begin(), options.end(), value.asString());
    if (!value.isString() || found == options.end()) at.fail("expected one of the options");
    return VParameter::MakeChoice(options, std::size_t(found - options.begin()));
  }
  // vector3, the last type the schema lets through
  if (!value.isArray() || value.size() != 3) at.fail("expected an array of three numbers");
  VParameter::Vector3 v{};
  for (std::size_t i = 0; i < 3; ++i) v[i] = Number(value.asArray()[i], at.at(i));
  return VParameter::MakeVector3(v);
}

void AddSlots(ScriptedNutrition& nutrition, const VMCPJsonValue& entry, const Where& where) {
  const auto& slots = entry["slots"].asArray();
  for (std::size_t i = 0; i < slots.size(); ++i)
    nutrition.addInput(slots[i]["name"].asString(), slots[i]["help"].asString(),
                       Parameter(slots[i], where.at("slots").at(i)));
}

void AddOutputScripts(ScriptedNutrition& nutrition, const VMCPJsonValue& entry) {
  for (const auto& script : entry["output_scripts"].asArray())
    nutrition.outputScripts[int(script["id"].asInt())] = {script["shortname"].asString(),
                                                          script["description"].asString()};
}

ScriptedBehaviour::Digestible DigestibleRule(const VMCPJsonValue& rule) {
  using D = ScriptedBehaviour::Digestible;
  if (rule.isArray()) return D::BySuffix;
  if (rule.kind == VMCPJsonValue::Boolean) return rule.asBool() ? D::Always : D::Never;
  return D::ByExtension;
}

ScriptedBehaviour::Write WriteRule(const VMCPJsonValue& conversion) {
  using W = ScriptedBehaviour::Write;
  const std::string write = conversion["write"].asString("all");
  return write == "some" ? W::Some : write == "none" ? W::None : W::All;
}

ScriptedBehaviour Behaviour(const VMCPJsonValue& entry) {
  ScriptedBehaviour behaviour;
  behaviour.quickInfo = entry["quick_info"].asString();
  behaviour.analysisLog = entry["analysis"]["log"].asString();
  behaviour.analysisText = entry["analysis"]["text"].asString();
  behaviour.digestible = DigestibleRule(entry["digestible"]);
  behaviour.digestibleSuffixes = Texts(entry["digestible"]);
  behaviour.predictedOutputs = Texts(entry["predicted_outputs"]);
  const auto& conversion = entry["conversion"];
  behaviour.write = WriteRule(conversion);
  behaviour.content = conversion["content"].asString();
  behaviour.delayMs = conversion["delay_ms"].asInt();
  behaviour.error = conversion["error"].asString();
  for (const auto& report : conversion["progress"].asArray())
    behaviour.progress.push_back({report["kind"].asString(), report["text"].asString(),
                                  report["done"].asInt(), report["total"].asInt()});
  const auto& throws = entry["throws"];
  behaviour.throwsOnQuickInfo = Throw(throws, "quick_info");
  behaviour.throwsOnAnalyse = Throw(throws, "analyse");
  behaviour.throwsOnDigestible = Throw(throws, "digestible");
  behaviour.throwsOnOutputFiles = Throw(throws, "output_files");
  behaviour.throwsOnConvert = Throw(throws, "convert");
  return behaviour;
}

Brasko::StrongPtr<ScriptedNutrition> Build(const VMCPJsonValue& entry, const Where& where) {
  auto nutrition =
      Brasko::MakeStrong<ScriptedNutrition>(entry["name"].asString(), Behaviour(entry));
  nutrition->catalogue = where.source;
  nutrition->description = entry["description"].asString();
  for (auto& extension : Texts(entry["input_extensions"]))
    nutrition->addExtension(std::move(extension));
  for (auto& extension : Texts(entry["output_extensions"]))
    nutrition->outputExtensions.insert(std::move(extension));
  for (auto& genre : Texts(entry["genres"])) nutrition->genres.insert(std::move(genre));
  AddSlots(*nutrition, entry, where);
  AddOutputScripts(*nutrition, entry);
  return nutrition;
}

std::string LineAndColumn(const std::string& text, std::size_t position) {
  position = std::min(position, text.size());
  const auto line = 1 + std::count(text.begin(), text.begin() + std::ptrdiff_t(position), '\n');
  const auto lineStart = text.rfind('\n', position == 0 ? 0 : position - 1);
  const auto column = position - (lineStart == std::string::npos ? 0 : lineStart + 1) + 1;
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

std::vector<Brasko::StrongPtr<ScriptedNutrition>> BuildScriptedNutritions(
    const VMCPJsonValue& document, const std::string& source) {
  rapidjson::SchemaValidator validator(TheSchema().checks);
  if (!Replay(document, validator)) Refuse(validator, document, source);
  const Where top{source, ""};
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

}  // namespace dravo::host
