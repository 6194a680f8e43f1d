// A nutrition that turns comma-separated points (x,y,z per line) into the
// space-separated XYZ text that point-cloud tools read, and an MCP provider
// beside it: a resource that describes the input format, and a tool that
// removes converted files once the user confirmed it.
#include <qarn/mcp/content.h>
#include <qarn/mcp/registry.h>
#include <qarn/mcp/tool_declaration.h>
#include <qarn/parameter.h>
#include <qarn/plugin.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class CsvToXyz : public Qarn::VNutrition {
 public:
  CsvToXyz() : VNutrition("CSV to XYZ") {
    description = "Writes each <b>x,y,z</b> line of a CSV file as <b>x y z</b>.";
    outputExtensions = {"xyz"};
    genres = {"Point cloud"};
    addExtension("csv");
    skipHeader_ = Qarn::VParameter::MakeBool(true);
    addInput("SkipHeader", "Leaves out the first line.", skipHeader_);
  }

  std::string getQuickInfo(const FileSet& inputs) const override {
    return std::to_string(inputs.size()) + " CSV file(s)";
  }

  bool isDigestible(const std::string& path) const override {
    return fs::path(path).extension() == ".csv";
  }

  bool getOutputFiles(std::set<std::string>& outputs, const std::string& outputDir,
                      const FileSet& inputs) override {
    for (const auto& input : inputs) outputs.insert(OutputOf(input, outputDir).string());
    return true;
  }

  std::string convert(const std::set<std::string>&, const std::string& outputDir, const NameMap&,
                      const FileSet& inputs,
                      const Brasko::StrongPtr<Brasko::LoaderProgress>& progress) override {
    for (const auto& input : inputs) {
      if (progress.alive()) progress->openingFile(input);
      std::ifstream in(input);
      std::ofstream out(OutputOf(input, outputDir));
      if (!in || !out) return "Cannot convert \"" + input + "\".";
      std::string line;
      if (skipHeader_->getBool()) std::getline(in, line);
      while (std::getline(in, line)) {
        for (char& c : line)
          if (c == ',') c = ' ';
        out << line << '\n';
      }
      if (!out) return "Cannot write the output of \"" + input + "\".";
    }
    return {};
  }

 private:
  static fs::path OutputOf(const std::string& input, const std::string& outputDir) {
    return fs::path(outputDir) / fs::path(input).stem().concat(".xyz");
  }

  Brasko::StrongPtr<Qarn::VParameter> skipHeader_;
};

using Qarn::mcp::VMCPJsonValue;

constexpr char kFormatUri[] = "csv-converter://format";
constexpr char kRemoveTool[] = "remove_xyz_outputs";

class CsvTools : public Qarn::mcp::VMCPToolProvider {
 public:
  void declareTools(VMCPJsonValue& tools) override {
    auto properties = VMCPJsonValue::MakeObject();
    properties["folder"] = Qarn::mcp::StringProp("The folder whose .xyz files go.");
    tools.push_back(Qarn::mcp::DeclareTool(
        kRemoveTool, "Removes the .xyz files in a folder, after the user confirmed it.", properties,
        {"folder"}));
  }
  bool callTool(const std::string&, const VMCPJsonValue&, const Qarn::mcp::VMCPCallContext&,
                VMCPJsonValue&) override {
    return false;  // the one tool answers with content items
  }
  bool runTool(const std::string& name, const VMCPJsonValue& arguments,
               const Qarn::mcp::VMCPCallContext& context,
               Qarn::mcp::VMCPToolResult& result) override {
    if (name != kRemoveTool) return false;
    const fs::path folder = arguments["folder"].asString();
    std::vector<fs::path> outputs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
      if (entry.path().extension() == ".xyz") outputs.push_back(entry.path());
    const auto& answer = context.acceptedContent("confirm");
    if (answer.isNull() && context.inputResponse("confirm").isNull()) {
      // First call: ask, and come back with the answer.
      auto schema = VMCPJsonValue::Parse(
          R"({"type":"object","properties":{"remove":{"type":"boolean"}},"required":["remove"]})");
      result.input.elicit("confirm",
                          "Remove " + std::to_string(outputs.size()) + " .xyz file(s) from \"" +
                              folder.string() + "\"?",
                          schema);
      return true;
    }
    std::size_t removed = 0;
    if (answer["remove"].asBool(false))
      for (const auto& output : outputs) removed += fs::remove(output, error) ? 1 : 0;
    result.content.push_back(
        Qarn::mcp::TextContent("Removed " + std::to_string(removed) + " file(s)."));
    return true;
  }

  void declareResources(VMCPJsonValue& resources) override {
    resources.push_back(Qarn::mcp::DeclareResource(kFormatUri, "csv-format",
                                                   "What \"CSV to XYZ\" reads", "text/markdown"));
  }
  bool readResource(const std::string& uri, const Qarn::mcp::VMCPCallContext&,
                    Qarn::mcp::VMCPResourceResult& result) override {
    if (uri != kFormatUri) return false;
    result.contents.push_back(Qarn::mcp::TextResourceContents(
        uri, "text/markdown",
        "One point per line: `x,y,z`. The first line is a header unless SkipHeader is off."));
    return true;
  }
};

// Registers the provider while the plug-in is loaded.
struct ToolsRegistration {
  ToolsRegistration() {
    Qarn::mcp::VMCPRegistry::Register("csv-converter",
                                      Brasko::StrongPtr<Qarn::mcp::VMCPToolProvider>(new CsvTools));
  }
  ~ToolsRegistration() { Qarn::mcp::VMCPRegistry::Unregister("csv-converter"); }
};

}  // namespace

DRAVO_DEFINE_PLUGIN_ENTRY()

namespace {
const Qarn::NutritionPlugin plugin("csv_converter",
                                   {Brasko::StrongPtr<Qarn::VNutrition>(new CsvToXyz)});
const ToolsRegistration tools;
}  // namespace
