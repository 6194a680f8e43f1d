// A nutrition that turns comma-separated points (x,y,z per line) into the
// space-separated XYZ text that point-cloud tools read.
#include <qarn/parameter.h>
#include <qarn/plugin.h>

#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace

DRAVO_DEFINE_PLUGIN_ENTRY()

namespace {
const Qarn::NutritionPlugin plugin("csv_converter",
                                   {Brasko::StrongPtr<Qarn::VNutrition>(new CsvToXyz)});
}  // namespace
