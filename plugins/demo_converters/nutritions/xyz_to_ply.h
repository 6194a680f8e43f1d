// XYZ text point cloud -> PLY.
#pragma once

#include <demo_converters/nutritions/nutrition_support.h>

#include <demo_converters/core/xyz_reader.h>

namespace dravo::demo {

class XyzToPlyNutrition final : public Qarn::VNutrition {
 public:
  XyzToPlyNutrition();

  std::string getQuickInfo(const FileSet& inputs) const override;
  AnalysisTexts analyse(const FileSet& inputs) const override;
  bool isDigestible(const std::string& path) const override;
  bool getOutputFiles(std::set<std::string>& outputs, const std::string& outputDir,
                      const FileSet& inputs) override;
  std::string convert(const std::set<std::string>& outputs, const std::string& outputDir,
                      const NameMap& nameMap, const FileSet& inputs,
                      const Brasko::StrongPtr<Brasko::LoaderProgress>& progress) override;

  XyzOptions options() const;  // from the current parameter values

 private:
  ParameterPtr delimiter_, skipLines_, columns_, scale_, offset_, binary_;
};

}  // namespace dravo::demo
