#include <demo_converters/nutritions/las_converter.h>

#include <demo_converters/core/output_file.h>
#include <demo_converters/core/paths.h>
#include <demo_converters/core/point_writer.h>
#include <demo_converters/core/text_fields.h>

#include <qarn/parameter.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

namespace dravo::demo {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTileBuffer = 1 << 16;     // many tiles may be open at once
constexpr std::uint64_t kProgressMask = 0xFFFF;  // progress every 65,536 points

std::string AttributesOf(const LasHeader& header) {
  std::string attributes;
  for (const auto& attribute : header.layout.attributes)
    AppendListed(attributes, attribute.name, ", ");
  return attributes + (header.hasColour() ? ", rgb" : "");
}

std::string HeaderLog(const std::string& input, const LasHeader& h) {
  return "Read \"" + input + "\": LAS " + h.version() + ", point format " +
         std::to_string(h.pointFormat) + ", " + std::to_string(h.recordLength) +
         "-byte records at offset " + std::to_string(h.pointOffset) + ", software \"" + h.software +
         "\"\n";
}

struct TileCounts {
  std::uint64_t written, filtered, outside;
  std::size_t files;
};

void ReportTiles(const Progress& progress, const std::string& input, const LasHeader& header,
                 const TileGrid& grid, const TileCounts& counts) {
  const auto about = [&](const std::string& text) { return "\"" + input + "\": " + text; };
  if (counts.outside > 0)
    progress.notice(about(std::to_string(counts.outside) +
                          " points lie outside the header's bounds; they went into the nearest "
                          "edge tile."));
  if (grid.tiled() && counts.files < grid.tileCount())
    progress.notice(about(std::to_string(grid.tileCount() - counts.files) +
                          " tiles hold no points and were not written."));
  progress.message(about("wrote " + std::to_string(counts.written) + " of " +
                         std::to_string(header.pointCount) + " points into " +
                         std::to_string(counts.files) + " file(s); " +
                         std::to_string(counts.filtered) + " left out by the class filter."));
}

// Binary PLY takes fields that are stored as they are written, and bit
// fields, straight from the record, without decoding them.
void TakeFromRecords(Columns& columns, const LasHeader& header) {
  for (auto& column : columns) {
    if (column.kind != Column::Value) continue;
    const LasField& field = header.fields[column.index];
    if (field.bits > 0 || StoredAs(field, column.type)) {
      column.recordOffset = field.offset;
      column.shift = field.shift;
      column.bits = field.bits;
    }
  }
}

bool Decoded(const Columns& columns, std::size_t attribute) {
  return std::any_of(columns.begin(), columns.end(), [&](const Column& c) {
    return c.kind == Column::Value && c.index == attribute && c.recordOffset < 0;
  });
}

}  // namespace

LasConverterNutrition::LasConverterNutrition() : VNutrition("LAS to PLY/XYZ") {
  description =
      "Reads <b>LAS</b> 1.0 to 1.4 point clouds (point formats 0 to 10), applies the header's "
      "scale and offset, and writes PLY with every attribute kept, or XYZ, optionally in tiles.";
  outputExtensions = {"ply", "xyz"};
  genres = {"Point cloud", "Lidar"};
  outputScripts[1] = {"show_points", "Shows the converted points."};
  outputScripts[2] = {"show_tiles", "Shows the tiles side by side."};
  addExtension("las");
  outputFormat_ = AddParameter(*this, "OutputFormat", "Format of the written files.",
                               Qarn::VParameter::MakeChoice({"ply", "xyz"}, 0));
  binary_ = AddParameter(*this, "Binary", "Binary little-endian PLY; ASCII when false.",
                         Qarn::VParameter::MakeBool(true));
  tileLength_ = AddParameter(*this, "TileLength",
                             "Tile size x;y;z; 0 leaves that axis unsplit, 0;0;0 writes one file.",
                             Qarn::VParameter::MakeVector3({0, 0, 0}));
  classFilter_ =
      AddParameter(*this, "ClassFilter", "Classes to keep, such as 2,6; empty keeps every point.",
                   Qarn::VParameter::MakeString(""));
  attributes_ =
      AddParameter(*this, "Attributes", "PLY properties: all, or a list such as xyz,rgb,intensity.",
                   Qarn::VParameter::MakeString("all"));
  columns_ = AddParameter(*this, "Columns",
                          "XYZ columns, such as xyz,rgb or x,y,z,intensity,classification.",
                          Qarn::VParameter::MakeString("xyz,rgb"));
}

std::string LasConverterNutrition::extension() const {
  return outputFormat_->getString();
}

TileGrid LasConverterNutrition::gridOf(const LasHeader& header) const {
  return MakeTileGrid(header.min, header.max, tileLength_->getVector3());
}

std::string LasConverterNutrition::getQuickInfo(const FileSet& inputs) const {
  return QuickInfoOf(inputs);
}

Qarn::VNutrition::AnalysisTexts LasConverterNutrition::analyse(const FileSet& inputs) const {
  return AnalyseEach(inputs, [&](const std::string& input, std::string& log) {
    Bounds bounds;
    std::set<int> classes;
    const LasHeader header = ReadLasPoints(PathOf(input), [&](const Point& p) {
      bounds.add(p);
      classes.insert(p.classification);
    });
    std::string classList;
    for (int c : classes) AppendListed(classList, std::to_string(c), ",");
    log += HeaderLog(input, header);
    for (const auto& warning : header.warnings) log += warning + "\n";
    return "LAS " + header.version() + ", point format " + std::to_string(header.pointFormat) +
           ", " + std::to_string(bounds.count) + " points, attributes: " + AttributesOf(header) +
           ", classes " + classList + ", bounds " + BoundsText(bounds);
  });
}

bool LasConverterNutrition::isDigestible(const std::string& path) const {
  return HasExtension(*this, path) && ErrorTextOf([&] { ReadLasHeader(PathOf(path)); }).empty();
}

bool LasConverterNutrition::getOutputFiles(std::set<std::string>& outputs,
                                           const std::string& outputDir, const FileSet& inputs) {
  for (const auto& input : inputs) {
    const std::string stem = StemOf(input);
    try {
      const TileGrid grid = gridOf(ReadLasHeader(PathOf(input)));
      for (std::int64_t x = 0; x < grid.counts[0]; ++x)
        for (std::int64_t y = 0; y < grid.counts[1]; ++y)
          for (std::int64_t z = 0; z < grid.counts[2]; ++z)
            outputs.insert(
                PredictedName(outputDir, TileFileName(stem, grid, {x, y, z}, extension())));
    } catch (const std::exception&) {
      // An unreadable header: predict the untiled name; convert reports the fault.
      outputs.insert(PredictedName(outputDir, stem + "." + extension()));
    }
  }
  return true;
}

void LasConverterNutrition::convertOne(const std::string& input, const fs::path& dir,
                                       const std::vector<fs::path>& sources,
                                       const Progress& progress, Committed& committed) {
  const LasHeader header = ReadLasHeader(PathOf(input));
  for (const auto& warning : header.warnings) progress.notice(warning);
  const TileGrid grid = gridOf(header);
  const auto filter = ParseClassFilter(classFilter_->getString());
  const bool ply = extension() == "ply";
  Columns columns = ply ? OutputColumns(attributes_->getString(), header.layout, "Attributes")
                        : OutputColumns(columns_->getString(), header.layout, "Columns");
  const auto encoding = binary_->getBool() ? PlyEncoding::BinaryLittleEndian : PlyEncoding::Ascii;
  if (ply && encoding == PlyEncoding::BinaryLittleEndian) TakeFromRecords(columns, header);
  const std::size_t buffer = grid.tiled() ? kTileBuffer : kDefaultBuffer;
  const std::string stem = StemOf(input);

  std::map<TileIndex, std::unique_ptr<PointWriter>> tiles;
  const auto open = [&](const TileIndex& index) {
    const fs::path target = dir / PathOf(TileFileName(stem, grid, index, extension()));
    RefuseToOverwriteInput(target, sources);
    return ply ? MakePlyWriter(target, encoding, columns, buffer)
               : MakeXyzWriter(target, columns, buffer);
  };
  // One file is written even for an empty cloud; tiles only when they hold points.
  if (!grid.tiled()) tiles[TileIndex{}] = open(TileIndex{});
  std::uint64_t filtered = 0, outside = 0;
  const std::string reading = "points of " + input;
  std::uint64_t read = 0;
  ReadLasPoints(
      PathOf(input),
      [&](const Point& p) {
        if ((++read & kProgressMask) == 0) progress.counted(reading, read, header.pointCount);
        if (filter && !filter->count(p.classification)) {
          ++filtered;
          return;
        }
        bool beyond = false;
        const TileIndex index = TileOf(grid, p, beyond);
        outside += beyond ? 1 : 0;
        auto& writer = tiles[index];
        if (!writer) writer = open(index);
        writer->write(p);
      },
      [&](std::size_t attribute) { return Decoded(columns, attribute); });
  progress.counted(reading, read, header.pointCount);
  TileCounts counts{0, filtered, outside, tiles.size()};
  for (auto& [index, writer] : tiles) {
    writer->commit();
    committed.push_back(dir / PathOf(TileFileName(stem, grid, index, extension())));
    counts.written += writer->count();
  }
  if (header.pointCount == 0 && !grid.tiled())
    progress.message(NoPointsText(input, dir / PathOf(stem + "." + extension())));
  ReportTiles(progress, input, header, grid, counts);
}

std::string LasConverterNutrition::convert(const std::set<std::string>&,
                                           const std::string& outputDir, const NameMap&,
                                           const FileSet& inputs,
                                           const Brasko::StrongPtr<Brasko::LoaderProgress>& sink) {
  const Progress progress(sink);
  fs::path dir;
  std::vector<fs::path> sources;
  // Checks names and parameters before any file is written.
  if (auto error = ErrorTextOf([&] {
        PlanOneOutputEach(inputs, outputDir, extension());
        ParseClassFilter(classFilter_->getString());
        dir = ResolveOutputDir(outputDir);
        sources = PathsOf(inputs);
      });
      !error.empty())
    return error;
  return ConvertEach(inputs, progress, [&](const std::string& input, Committed& committed) {
    convertOne(input, dir, sources, progress, committed);
  });
}

}  // namespace dravo::demo
