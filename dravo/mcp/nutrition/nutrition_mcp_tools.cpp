#include <dravo/mcp/nutrition/nutrition_mcp_tools.h>

#include <dravo/mcp/nutrition/tools/tool_functions.h>

#include <qarn/mcp/tool_declaration.h>

#include <utility>
#include <vector>

namespace Qarn {

namespace {

using mcp::VMCPJsonValue;

enum class PropKind { String, StringArray, Bool };

struct PropDecl {
  const char* name;
  PropKind kind;
  const char* description;
};

struct ToolDecl {
  const char* name;
  const char* description;
  std::vector<PropDecl> properties;
  std::vector<std::string> required;
  VMCPJsonValue (*function)(const VMCPJsonValue&);
};

constexpr const char* kNameHelp = "The nutrition's name, exactly as list_nutritions gives it.";

const std::vector<ToolDecl>& catalogue() {
  static const std::vector<ToolDecl> tools = {
      {"list_nutritions",
       "List the file-conversion nutritions registered in the running application. A nutrition "
       "is a named importer/converter that turns input files into output files. Each entry "
       "gives its name, what it is for, the input/output extensions it handles and its genres. "
       "Ask this before describe_nutrition/run_nutrition rather than guessing a name. If the "
       "result carries a 'disabled' list, a plugin failed to load and was renamed - a nutrition "
       "you expect may be missing for that reason.",
       {{"filter", PropKind::String,
         "Case-insensitive substring matching a nutrition's name, description or genre. Omit it "
         "to list every nutrition there is."},
        {"extension", PropKind::String,
         "Only list nutritions registered for this input file extension (no dot, e.g. \"las\" "
         "or \"sdc\"). Omit for all."}},
       {},
       &dravo::nutrition::ToolListNutritions},
      {"describe_nutrition",
       "Everything about one nutrition: its description, the input and output file extensions "
       "it handles, its genres, its tunable parameters (each with a help line and its current "
       "value, which shows the format to pass), and any output visualisation scripts it offers. "
       "Read this before running it: the parameter names are what run_nutrition's 'arguments' "
       "takes.",
       {{"name", PropKind::String, kNameHelp}},
       {"name"},
       &dravo::nutrition::ToolDescribeNutrition},
      {"analyse_nutrition",
       "Inspect input files with a nutrition without converting anything: a quick "
       "filename-level summary, a deeper analysis that opens the files, and whether each file "
       "is one this nutrition can handle. Reads only; writes nothing.",
       {{"name", PropKind::String, kNameHelp},
        {"files", PropKind::StringArray, "The input file paths to analyse (absolute paths)."}},
       {"name", "files"},
       &dravo::nutrition::ToolAnalyseNutrition},
      {"run_nutrition",
       "Run a nutrition to convert files, previewing by default. Preview reports the predicted "
       "output files and writes nothing; preview=false sets any given parameters and performs "
       "the conversion, then reports which output files actually landed on disk. Preview first, "
       "check the files, then run for real.",
       {{"name", PropKind::String, kNameHelp},
        {"files", PropKind::StringArray, "The input file paths to convert (absolute paths)."},
        {"output_path", PropKind::String,
         "Directory to write output into. Required for a real run (preview=false); the run also "
         "changes the working directory to it, since some nutritions write relative to it."},
        {"arguments", PropKind::String,
         "Parameter values as name=value, separated by newlines or semicolons. Names come from "
         "describe_nutrition. A VALUE may itself contain semicolons: a piece with no '=' "
         "continues the value before it, so the x;y;z triples some nutritions take are written "
         "TileLength=250;250;0. Anything omitted keeps its current value. A name that does not "
         "exist, a value that does not parse, and a piece that continues nothing each fail the "
         "whole call rather than being silently dropped."},
        {"preview", PropKind::Bool,
         "True (the default) writes nothing and reports the files the run WOULD produce. Read "
         "those, then run again with preview=false to convert for real. A GPU-only nutrition "
         "(e.g. \"Mandelbrot Demo\") cannot be run over MCP yet and says so."}},
       {"name", "files"},
       &dravo::nutrition::ToolRunNutrition},
  };
  return tools;
}

VMCPJsonValue propertySchema(const PropDecl& prop) {
  switch (prop.kind) {
    case PropKind::String: return mcp::StringProp(prop.description);
    case PropKind::StringArray: return mcp::StringArrayProp(prop.description);
    case PropKind::Bool: return mcp::BoolProp(prop.description);
  }
  return {};
}

}  // namespace

VNutritionMCPTools::~VNutritionMCPTools() = default;

void VNutritionMCPTools::declareTools(VMCPJsonValue& tools) {
  for (const auto& tool : catalogue()) {
    auto properties = VMCPJsonValue::MakeObject();
    for (const auto& prop : tool.properties) properties[prop.name] = propertySchema(prop);
    tools.push_back(mcp::DeclareTool(tool.name, tool.description, properties, tool.required));
  }
}

bool VNutritionMCPTools::callTool(const std::string& name, const VMCPJsonValue& arguments,
                                  const mcp::VMCPCallContext&, VMCPJsonValue& result) {
  for (const auto& tool : catalogue()) {
    if (name != tool.name) continue;  // whole, byte for byte: no folding, trimming or prefixes
    result = tool.function(arguments);
    return true;
  }
  return false;
}

}  // namespace Qarn
