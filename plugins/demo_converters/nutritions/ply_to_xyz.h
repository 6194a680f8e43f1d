// PLY (ASCII or binary) -> XYZ text.
#pragma once

#include <demo_converters/nutritions/nutrition_support.h>

namespace dravo::demo {

class PlyToXyzNutrition final : public Qarn::VNutrition {
 public:
  PlyToXyzNutrition();

  std::string getQuickInfo(const FileSet& inputs) const override;
  AnalysisTexts analyse(const FileSet& inputs) const override;
  bool isDigestible(const std::string& path) const override;
  bool getOutputFiles(std::set<std::string>& outputs, const std::string& outputDir,
                      const FileSet& inputs) override;
  std::string convert(const std::set<std::string>& outputs, const std::string& outputDir,
                      const NameMap& nameMap, const FileSet& inputs,
                      const Brasko::StrongPtr<Brasko::LoaderProgress>& progress) override;

 private:
  ParameterPtr colour_, columns_;
};

}  // namespace dravo::demo
