// A GPU-only demo nutrition: it can be listed, described and previewed, but
// its conversion exists only on the GPU path, which this build lacks.
#pragma once

#include <demo_converters/nutritions/nutrition_support.h>

namespace dravo::demo {

class MandelbrotDemoNutrition final : public Qarn::VNutrition {
 public:
  MandelbrotDemoNutrition();

  std::string getQuickInfo(const FileSet& inputs) const override;
  AnalysisTexts analyse(const FileSet& inputs) const override;
  bool getOutputFiles(std::set<std::string>& outputs, const std::string& outputDir,
                      const FileSet& inputs) override;
  std::string convert(const std::set<std::string>& outputs, const std::string& outputDir,
                      const NameMap& nameMap, const FileSet& inputs,
                      const Brasko::StrongPtr<Brasko::LoaderProgress>& progress) override;

 private:
  ParameterPtr iterations_, center_, zoom_, width_, height_, palette_;
};

}  // namespace dravo::demo
