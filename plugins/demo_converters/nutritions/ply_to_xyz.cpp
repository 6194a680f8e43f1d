#include <demo_converters/nutritions/ply_to_xyz.h>

#include <demo_converters/core/block_reader.h>
#include <demo_converters/core/paths.h>
#include <demo_converters/core/ply_reader.h>
#include <demo_converters/core/point_writer.h>

#include <qarn/parameter.h>

namespace dravo::demo {

namespace {

std::string PropertyList(const PlyHeader& header) {
  std::string names;
  for (const auto& property : header.elements[header.vertexElement].properties) {
    if (!names.empty()) names += ' ';
    names += property.name;
  }
  return names;
}

}  // namespace

PlyToXyzNutrition::PlyToXyzNutrition() : VNutrition("PLY to XYZ") {
  description =
      "Reads <b>PLY</b> point clouds (ASCII, binary little- or big-endian) and writes x y z, "
      "and red green blue when present, as text.";
  outputExtensions = {"xyz"};
  genres = {"Point cloud"};
  outputScripts[1] = {"show_points", "Shows the converted points."};
  addExtension("ply");
  colour_ = AddParameter(*this, "Colour", "Writes red green blue columns when the file has them.",
                         Qarn::VParameter::MakeBool(true));
}

std::string PlyToXyzNutrition::getQuickInfo(const FileSet& inputs) const {
  return QuickInfoOf(inputs);
}

Qarn::VNutrition::AnalysisTexts PlyToXyzNutrition::analyse(const FileSet& inputs) const {
  AnalysisTexts texts;
  for (const auto& input : inputs) {
    Bounds bounds;
    PlyHeader header;
    const std::string error = ErrorTextOf(
        [&] { header = ReadPlyPoints(PathOf(input), [&](const Point& p) { bounds.add(p); }); });
    texts.log += "Read \"" + input + "\"\n";
    if (!error.empty()) {
      texts.analysis += "<b>" + input + "</b>: " + error + "\n";
      continue;
    }
    texts.log += "  elements: " + std::to_string(header.elements.size()) +
                 ", vertex properties: " + PropertyList(header) + "\n";
    texts.analysis += "<b>" + input + "</b>: PLY 1.0 " + FormatName(header.format) + ", " +
                      std::to_string(bounds.count) +
                      " points, attributes: " + (header.hasColour() ? "rgb" : "none") +
                      ", bounds " + BoundsText(bounds) + "\n";
  }
  return texts;
}

bool PlyToXyzNutrition::isDigestible(const std::string& path) const {
  return HasExtension(*this, path) &&
         (StartsWithBytes(path, "ply\n") || StartsWithBytes(path, "ply\r\n"));
}

bool PlyToXyzNutrition::getOutputFiles(std::set<std::string>& outputs, const std::string& outputDir,
                                       const FileSet& inputs) {
  for (const auto& input : inputs) outputs.insert(PredictedName(outputDir, StemOf(input) + ".xyz"));
  return true;
}

std::string PlyToXyzNutrition::convert(const std::set<std::string>&, const std::string& outputDir,
                                       const NameMap&, const FileSet& inputs,
                                       const Brasko::StrongPtr<Brasko::LoaderProgress>& sink) {
  const Progress progress(sink);
  const bool wantColour = colour_->getBool();
  return ErrorTextOf([&] {
    for (const auto& [input, target] : PlanOneOutputEach(inputs, outputDir, "xyz")) {
      progress.opening(input);
      // The header decides the columns before any point is read.
      BlockReader headerReader(PathOf(input), 1 << 16);
      const PlyHeader header = ReadPlyHeader(headerReader);
      auto writer = MakeXyzWriter(target, wantColour && header.hasColour());
      const std::string bytes = "bytes of " + input;
      ReadPlyPoints(
          PathOf(input), [&](const Point& p) { writer->write(p); },
          [&](std::uint64_t read, std::uint64_t size) { progress.counted(bytes, read, size); });
      writer->commit();
      progress.message("Wrote " + std::to_string(writer->count()) + " points (" +
                       FormatName(header.format) + " PLY) to " + Quoted(target) + ".");
    }
  });
}

}  // namespace dravo::demo
