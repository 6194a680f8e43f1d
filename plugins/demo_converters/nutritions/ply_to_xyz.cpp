#include <demo_converters/nutritions/ply_to_xyz.h>

#include <demo_converters/core/block_reader.h>
#include <demo_converters/core/paths.h>
#include <demo_converters/core/ply_reader.h>
#include <demo_converters/core/point_writer.h>
#include <demo_converters/core/text_fields.h>

#include <qarn/parameter.h>

#include <algorithm>

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

std::string AttributeList(const CloudLayout& layout) {
  std::string names = layout.hasColour ? "rgb" : "";
  for (const auto& attribute : layout.attributes) AppendListed(names, attribute.name, ", ");
  return names.empty() ? "none" : names;
}

PlyHeader CheckPlyHeader(const std::string& path) {
  BlockReader reader(PathOf(path), 1 << 16);
  return ReadPlyHeader(reader);
}

void ReportReading(const Progress& progress, const PlyHeader& header) {
  for (const auto& warning : header.warnings) progress.notice(warning);
  if (header.clampedColours > 0)
    progress.notice(std::to_string(header.clampedColours) +
                    " colour values lay outside their range and were clamped.");
}

}  // namespace

PlyToXyzNutrition::PlyToXyzNutrition() : VNutrition("PLY to XYZ") {
  description =
      "Reads <b>PLY</b> point clouds (ASCII, binary little- or big-endian) and writes x y z, "
      "and red green blue when present, or the chosen columns, as text.";
  outputExtensions = {"xyz"};
  genres = {"Point cloud"};
  outputScripts[1] = {"show_points", "Shows the converted points."};
  addExtension("ply");
  colour_ = AddParameter(*this, "Colour", "Writes red green blue columns when the file has them.",
                         Qarn::VParameter::MakeBool(true));
  columns_ = AddParameter(*this, "Columns",
                          "Columns to write, such as x,y,z,nx,ny,nz; xyz and rgb stand for three, "
                          "all for every property.",
                          Qarn::VParameter::MakeString("xyz,rgb"));
}

std::string PlyToXyzNutrition::getQuickInfo(const FileSet& inputs) const {
  return QuickInfoOf(inputs);
}

Qarn::VNutrition::AnalysisTexts PlyToXyzNutrition::analyse(const FileSet& inputs) const {
  return AnalyseEach(inputs, [&](const std::string& input, std::string& log) {
    Bounds bounds;
    const PlyHeader header = ReadPlyPoints(PathOf(input), [&](const Point& p) { bounds.add(p); });
    log += "Read \"" + input + "\"\n  elements: " + std::to_string(header.elements.size()) +
           ", vertex properties: " + PropertyList(header) + "\n";
    return std::string("PLY 1.0 ") + FormatName(header.format) + ", " +
           std::to_string(bounds.count) + " points, attributes: " + AttributeList(header.layout) +
           ", bounds " + BoundsText(bounds);
  });
}

bool PlyToXyzNutrition::isDigestible(const std::string& path) const {
  return HasExtension(*this, path) && ErrorTextOf([&] { CheckPlyHeader(path); }).empty();
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
  std::map<std::string, std::filesystem::path> plan;
  if (auto error = ErrorTextOf([&] { plan = PlanOneOutputEach(inputs, outputDir, "xyz"); });
      !error.empty())
    return error;
  return ConvertEach(inputs, progress, [&](const std::string& input, Committed& committed) {
    const std::filesystem::path& target = plan.at(input);
    // The header decides the columns before any point is read.
    const PlyHeader header = CheckPlyHeader(input);
    Columns columns = OutputColumns(columns_->getString(), header.layout, "Columns");
    if (!colour_->getBool())
      std::erase_if(columns, [](const Column& c) {
        return c.kind == Column::Red || c.kind == Column::Green || c.kind == Column::Blue;
      });
    auto writer = MakeXyzWriter(target, columns);
    const std::string bytes = "bytes of " + input;
    const auto counted = [&](std::uint64_t read, std::uint64_t size) {
      progress.counted(bytes, read, size);
    };
    const PlyHeader read = ReadPlyPoints(
        PathOf(input), [&](const Point& p) { writer->write(p); }, counted);
    counted(std::filesystem::file_size(PathOf(input)), std::filesystem::file_size(PathOf(input)));
    writer->commit();
    committed.push_back(target);
    ReportReading(progress, read);
    if (writer->count() == 0) return progress.message(NoPointsText(input, target));
    progress.message("Read " + std::string(FormatName(header.format)) + " PLY; wrote " +
                     std::to_string(writer->count()) + " points (" + NamesOf(columns) + ") to " +
                     Quoted(target) + ".");
  });
}

}  // namespace dravo::demo
