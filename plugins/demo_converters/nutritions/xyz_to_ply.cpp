#include <demo_converters/nutritions/xyz_to_ply.h>

#include <demo_converters/core/paths.h>
#include <demo_converters/core/point_writer.h>

#include <qarn/parameter.h>

namespace dravo::demo {

namespace {

Delimiter DelimiterOf(const std::string& name) {
  for (Delimiter d : {Delimiter::Space, Delimiter::Comma, Delimiter::Semicolon, Delimiter::Tab})
    if (name == DelimiterName(d)) return d;
  return Delimiter::Auto;
}

}  // namespace

XyzToPlyNutrition::XyzToPlyNutrition() : VNutrition("XYZ to PLY") {
  description =
      "Reads <b>XYZ text</b> point clouds (x y z per line, then colour, intensity, normals or "
      "other columns) and writes them, every column kept, as PLY.";
  outputExtensions = {"ply"};
  genres = {"Point cloud"};
  outputScripts[1] = {"show_points", "Shows the converted points."};
  for (const char* extension : {"xyz", "txt", "csv"}) addExtension(extension);
  delimiter_ =
      AddParameter(*this, "Delimiter", "Column separator; auto guesses from the first line.",
                   Qarn::VParameter::MakeChoice({"auto", "space", "comma", "semicolon", "tab"}, 0));
  skipLines_ = AddParameter(*this, "SkipLines", "Header lines to skip at the top of each file.",
                            Qarn::VParameter::MakeInteger(0, 0));
  columns_ = AddParameter(*this, "Columns",
                          "Column names such as x,y,z,intensity,r,g,b; auto takes them from a "
                          "header line or the number of values.",
                          Qarn::VParameter::MakeString("auto"));
  scale_ = AddParameter(*this, "Scale", "Multiplies x;y;z before the offset is added.",
                        Qarn::VParameter::MakeVector3({1, 1, 1}));
  offset_ = AddParameter(*this, "Offset", "Added to x;y;z after scaling.",
                         Qarn::VParameter::MakeVector3({0, 0, 0}));
  binary_ = AddParameter(*this, "Binary", "Writes binary little-endian PLY; ASCII when false.",
                         Qarn::VParameter::MakeBool(true));
}

XyzOptions XyzToPlyNutrition::options() const {
  XyzOptions options;
  options.delimiter = DelimiterOf(delimiter_->getString());
  options.skipLines =
      static_cast<std::uint64_t>(std::max<std::int64_t>(0, skipLines_->getInteger()));
  options.scale = scale_->getVector3();
  options.offset = offset_->getVector3();
  options.columns = columns_->getString();
  return options;
}

std::string XyzToPlyNutrition::getQuickInfo(const FileSet& inputs) const {
  return QuickInfoOf(inputs);
}

Qarn::VNutrition::AnalysisTexts XyzToPlyNutrition::analyse(const FileSet& inputs) const {
  return AnalyseEach(inputs, [&](const std::string& input, std::string& log) {
    Bounds bounds;
    XyzSummary summary;
    log += "Read \"" + input + "\"\n";
    ReadXyzPoints(
        PathOf(input), options(), [&](const Point& p) { bounds.add(p); },
        [&](const std::string& notice) { log += notice + "\n"; }, summary);
    return "XYZ text, " + std::to_string(summary.points) + " points, delimiter " +
           DelimiterName(summary.delimiter) + ", columns " + summary.columns + ", bounds " +
           BoundsText(bounds) + ", " + std::to_string(summary.skippedLines) + " lines skipped";
  });
}

bool XyzToPlyNutrition::isDigestible(const std::string& path) const {
  return HasExtension(*this, path) &&
         ErrorTextOf([&] { ProbeXyz(PathOf(path), options()); }).empty();
}

bool XyzToPlyNutrition::getOutputFiles(std::set<std::string>& outputs, const std::string& outputDir,
                                       const FileSet& inputs) {
  for (const auto& input : inputs) outputs.insert(PredictedName(outputDir, StemOf(input) + ".ply"));
  return true;
}

std::string XyzToPlyNutrition::convert(const std::set<std::string>&, const std::string& outputDir,
                                       const NameMap&, const FileSet& inputs,
                                       const Brasko::StrongPtr<Brasko::LoaderProgress>& sink) {
  const Progress progress(sink);
  const XyzOptions settings = options();
  const PlyEncoding encoding =
      binary_->getBool() ? PlyEncoding::BinaryLittleEndian : PlyEncoding::Ascii;
  std::map<std::string, std::filesystem::path> plan;
  if (auto error = ErrorTextOf([&] { plan = PlanOneOutputEach(inputs, outputDir, "ply"); });
      !error.empty())
    return error;
  return ConvertEach(inputs, progress, [&](const std::string& input, Committed& committed) {
    const std::filesystem::path& target = plan.at(input);
    const std::string bytes = "bytes of " + input;
    // The writer opens at the first point, when the columns are known.
    XyzSummary summary;
    std::unique_ptr<PointWriter> writer;
    const auto open = [&] {
      writer = MakePlyWriter(target, encoding, ColumnsOf("all", summary.layout));
    };
    ReadXyzPoints(
        PathOf(input), settings,
        [&](const Point& p) {
          if (!writer) open();
          writer->write(p);
        },
        [&](const std::string& text) { progress.notice(text); }, summary,
        [&](std::uint64_t read, std::uint64_t size) { progress.counted(bytes, read, size); });
    if (!writer) open();
    writer->commit();
    committed.push_back(target);
    if (writer->count() == 0) return progress.message(NoPointsText(input, target));
    progress.message("Wrote " + std::to_string(writer->count()) + " points (" + summary.columns +
                     ") to " + Quoted(target) + ".");
  });
}

}  // namespace dravo::demo
