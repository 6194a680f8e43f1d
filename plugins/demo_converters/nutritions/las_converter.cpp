#include <demo_converters/nutritions/las_converter.h>

#include <demo_converters/core/output_file.h>
#include <demo_converters/core/paths.h>
#include <demo_converters/core/point_writer.h>

#include <qarn/parameter.h>

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
  std::string attributes = "intensity, returns, classification";
  if (header.hasGpsTime()) attributes += ", gps time";
  if (header.hasColour()) attributes += ", rgb";
  return attributes;
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
  if (counts.files < grid.tileCount())
    progress.notice(about(std::to_string(grid.tileCount() - counts.files) +
                          " tiles hold no points and were not written."));
  progress.message(about("wrote " + std::to_string(counts.written) + " of " +
                         std::to_string(header.pointCount) + " points into " +
                         std::to_string(counts.files) + " file(s); " +
                         std::to_string(counts.filtered) + " left out by the class filter."));
}

}  // namespace

LasConverterNutrition::LasConverterNutrition() : VNutrition("LAS to PLY/XYZ") {
  description =
      "Reads <b>LAS</b> 1.0 to 1.4 point clouds (point formats 0 to 3 and 6 to 8), applies the "
      "header's scale and offset, and writes PLY or XYZ, optionally in tiles.";
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
  AnalysisTexts texts;
  for (const auto& input : inputs) {
    Bounds bounds;
    std::set<int> classes;
    LasHeader header;
    const std::string error = ErrorTextOf([&] {
      header = ReadLasPoints(PathOf(input), [&](const Point& p) {
        bounds.add(p);
        classes.insert(p.classification);
      });
    });
    if (!error.empty()) {
      texts.log += "Could not read \"" + input + "\"\n";
      texts.analysis += "<b>" + input + "</b>: " + error + "\n";
      continue;
    }
    std::string classList;
    for (int c : classes) {
      if (!classList.empty()) classList += ',';
      classList += std::to_string(c);
    }
    texts.log += HeaderLog(input, header);
    texts.analysis += "<b>" + input + "</b>: LAS " + header.version() + ", point format " +
                      std::to_string(header.pointFormat) + ", " + std::to_string(bounds.count) +
                      " points, attributes: " + AttributesOf(header) + ", classes " + classList +
                      ", bounds " + BoundsText(bounds) + "\n";
  }
  return texts;
}

bool LasConverterNutrition::isDigestible(const std::string& path) const {
  return HasExtension(*this, path) && StartsWithBytes(path, "LASF");
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
                                       const Progress& progress) {
  progress.opening(input);
  const LasHeader header = ReadLasHeader(PathOf(input));
  const TileGrid grid = gridOf(header);
  const auto filter = ParseClassFilter(classFilter_->getString());
  const bool ply = extension() == "ply";
  const auto encoding = binary_->getBool() ? PlyEncoding::BinaryLittleEndian : PlyEncoding::Ascii;
  const std::size_t buffer = grid.tiled() ? kTileBuffer : kDefaultBuffer;
  const std::string stem = StemOf(input);

  std::map<TileIndex, std::unique_ptr<PointWriter>> tiles;
  std::uint64_t filtered = 0, outside = 0;
  PointWriter* current = nullptr;
  TileIndex currentIndex{};
  const std::string reading = "points of " + input;
  std::uint64_t read = 0;
  ReadLasPoints(PathOf(input), [&](const Point& p) {
    if ((++read & kProgressMask) == 0) progress.counted(reading, read, header.pointCount);
    if (filter && !filter->count(p.classification)) {
      ++filtered;
      return;
    }
    bool beyond = false;
    const TileIndex index = TileOf(grid, p, beyond);
    outside += beyond ? 1 : 0;
    // Neighbouring points mostly share a tile, so the last one is kept at hand.
    if (!current || index != currentIndex) {
      auto& writer = tiles[index];
      if (!writer) {
        const fs::path target = dir / PathOf(TileFileName(stem, grid, index, extension()));
        RefuseToOverwriteInput(target, sources);
        writer = ply ? MakePlyWriter(target, encoding, header.hasColour(), buffer)
                     : MakeXyzWriter(target, header.hasColour(), buffer);
      }
      current = writer.get();
      currentIndex = index;
    }
    current->write(p);
  });
  progress.counted(reading, read, header.pointCount);
  TileCounts counts{0, filtered, outside, tiles.size()};
  for (auto& [index, writer] : tiles) {
    writer->commit();
    counts.written += writer->count();
  }
  ReportTiles(progress, input, header, grid, counts);
}

std::string LasConverterNutrition::convert(const std::set<std::string>&,
                                           const std::string& outputDir, const NameMap&,
                                           const FileSet& inputs,
                                           const Brasko::StrongPtr<Brasko::LoaderProgress>& sink) {
  const Progress progress(sink);
  return ErrorTextOf([&] {
    // Checks names and parameters before any file is written.
    PlanOneOutputEach(inputs, outputDir, extension());
    ParseClassFilter(classFilter_->getString());
    const fs::path dir = ResolveOutputDir(outputDir);
    const auto sources = PathsOf(inputs);
    for (const auto& input : inputs) convertOne(input, dir, sources, progress);
  });
}

}  // namespace dravo::demo
