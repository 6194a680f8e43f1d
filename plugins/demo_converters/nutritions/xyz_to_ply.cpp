#include <demo_converters/nutritions/xyz_to_ply.h>

#include <demo_converters/core/block_reader.h>
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

// The first few lines decide: one of them must hold three numbers.
bool LooksLikeXyz(const std::string& path) {
  try {
    BlockReader reader(PathOf(path), 1 << 16);
    std::string line;
    Point ignored;
    for (int i = 0; i < 20 && reader.readLine(line, 4096); ++i)
      if (ParseXyzLine(line, DetectDelimiter(line), false, ignored)) return true;
  } catch (const std::exception&) {
  }
  return false;
}

}  // namespace

XyzToPlyNutrition::XyzToPlyNutrition() : VNutrition("XYZ to PLY") {
  description =
      "Reads <b>XYZ text</b> point clouds (x y z per line, optional red green blue) and writes "
      "them as PLY.";
  outputExtensions = {"ply"};
  genres = {"Point cloud"};
  outputScripts[1] = {"show_points", "Shows the converted points."};
  for (const char* extension : {"xyz", "txt", "csv"}) addExtension(extension);
  delimiter_ =
      AddParameter(*this, "Delimiter", "Column separator; auto guesses from the first line.",
                   Qarn::VParameter::MakeChoice({"auto", "space", "comma", "semicolon", "tab"}, 0));
  skipLines_ = AddParameter(*this, "SkipLines", "Header lines to skip at the top of each file.",
                            Qarn::VParameter::MakeInteger(0, 0));
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
  return options;
}

std::string XyzToPlyNutrition::getQuickInfo(const FileSet& inputs) const {
  return QuickInfoOf(inputs);
}

Qarn::VNutrition::AnalysisTexts XyzToPlyNutrition::analyse(const FileSet& inputs) const {
  AnalysisTexts texts;
  for (const auto& input : inputs) {
    Bounds bounds;
    XyzSummary summary;
    const std::string error = ErrorTextOf([&] {
      ReadXyzPoints(
          PathOf(input), options(), [&](const Point& p) { bounds.add(p); },
          [&](const std::string& notice) { texts.log += notice + "\n"; }, summary);
    });
    texts.log += "Read \"" + input + "\"\n";
    if (!error.empty()) {
      texts.analysis += "<b>" + input + "</b>: " + error + "\n";
      continue;
    }
    texts.analysis += "<b>" + input + "</b>: XYZ text, " + std::to_string(summary.points) +
                      " points, delimiter " + DelimiterName(summary.delimiter) +
                      (summary.hasColour ? ", attributes: rgb" : ", attributes: none") +
                      ", bounds " + BoundsText(bounds) + ", " +
                      std::to_string(summary.skippedLines) + " lines skipped\n";
  }
  return texts;
}

bool XyzToPlyNutrition::isDigestible(const std::string& path) const {
  return HasExtension(*this, path) && LooksLikeXyz(path);
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
  return ErrorTextOf([&] {
    for (const auto& planned : PlanOneOutputEach(inputs, outputDir, "ply")) {
      const std::string& input = planned.first;
      const std::filesystem::path& target = planned.second;  // lambdas cannot capture bindings
      progress.opening(input);
      const std::string bytes = "bytes of " + input;
      // The writer opens at the first point, when the colour columns are known.
      XyzSummary summary;
      std::unique_ptr<PointWriter> writer;
      ReadXyzPoints(
          PathOf(input), settings,
          [&](const Point& p) {
            if (!writer) writer = MakePlyWriter(target, encoding, summary.hasColour);
            writer->write(p);
          },
          [&](const std::string& text) { progress.notice(text); }, summary,
          [&](std::uint64_t read, std::uint64_t size) { progress.counted(bytes, read, size); });
      writer->commit();
      progress.message("Wrote " + std::to_string(writer->count()) + " points" +
                       (summary.hasColour ? " with colour" : "") + " to " + Quoted(target) + ".");
    }
  });
}

}  // namespace dravo::demo
