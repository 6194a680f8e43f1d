// LAS -> PLY or XYZ, optionally split into tiles and filtered by class.
#pragma once

#include <demo_converters/nutritions/nutrition_support.h>

#include <demo_converters/core/las_format.h>
#include <demo_converters/core/tiling.h>

namespace dravo::demo {

class LasConverterNutrition final : public Qarn::VNutrition {
 public:
  LasConverterNutrition();

  std::string getQuickInfo(const FileSet& inputs) const override;
  AnalysisTexts analyse(const FileSet& inputs) const override;
  bool isDigestible(const std::string& path) const override;
  bool getOutputFiles(std::set<std::string>& outputs, const std::string& outputDir,
                      const FileSet& inputs) override;
  std::string convert(const std::set<std::string>& outputs, const std::string& outputDir,
                      const NameMap& nameMap, const FileSet& inputs,
                      const Brasko::StrongPtr<Brasko::LoaderProgress>& progress) override;

 private:
  std::string extension() const;
  TileGrid gridOf(const LasHeader& header) const;
  void convertOne(const std::string& input, const std::filesystem::path& dir,
                  const std::vector<std::filesystem::path>& sources, const Progress& progress,
                  Committed& committed);

  ParameterPtr outputFormat_, binary_, tileLength_, classFilter_, attributes_, columns_;
};

}  // namespace dravo::demo
