#include <demo_converters/nutritions/mandelbrot_demo.h>

#include <demo_converters/core/paths.h>

#include <qarn/parameter.h>

namespace dravo::demo {

MandelbrotDemoNutrition::MandelbrotDemoNutrition() : VNutrition("Mandelbrot Demo") {
  description =
      "Renders a Mandelbrot set height field from a <b>.mandel</b> seed file. Runs on the GPU "
      "only.";
  outputExtensions = {"ply"};
  genres = {"Demo", "GPU"};
  outputScripts[1] = {"show_fractal", "Shows the rendered height field."};
  addExtension("mandel");
  iterations_ = AddParameter(*this, "Iterations", "Escape-time iterations per sample.",
                             Qarn::VParameter::MakeInteger(256, 1, 100000));
  center_ = AddParameter(*this, "Center", "Centre of the view in the complex plane (re;im;0).",
                         Qarn::VParameter::MakeVector3({-0.5, 0, 0}));
  zoom_ = AddParameter(*this, "Zoom", "Magnification; 1 shows the whole set.",
                       Qarn::VParameter::MakeFloat(1.0));
  width_ = AddParameter(*this, "Width", "Samples across.",
                        Qarn::VParameter::MakeInteger(1024, 1, 16384));
  height_ =
      AddParameter(*this, "Height", "Samples down.", Qarn::VParameter::MakeInteger(768, 1, 16384));
  palette_ = AddParameter(*this, "Palette", "Colouring of the escape times.",
                          Qarn::VParameter::MakeChoice({"fire", "ice", "grey"}, 0));
}

std::string MandelbrotDemoNutrition::getQuickInfo(const FileSet& inputs) const {
  return QuickInfoOf(inputs) + "<br/><i>Needs a GPU to convert.</i>";
}

Qarn::VNutrition::AnalysisTexts MandelbrotDemoNutrition::analyse(const FileSet& inputs) const {
  AnalysisTexts texts;
  texts.log = "Nothing to open: the seed file only names the render.\n";
  texts.analysis = std::to_string(inputs.size()) + " seed file(s); would render " +
                   std::to_string(width_->getInteger()) + " x " +
                   std::to_string(height_->getInteger()) + " samples at " +
                   std::to_string(iterations_->getInteger()) + " iterations.";
  return texts;
}

bool MandelbrotDemoNutrition::getOutputFiles(std::set<std::string>& outputs,
                                             const std::string& outputDir, const FileSet& inputs) {
  for (const auto& input : inputs)
    outputs.insert(PredictedName(outputDir, StemOf(input) + "_mandelbrot.ply"));
  return true;
}

std::string MandelbrotDemoNutrition::convert(const std::set<std::string>&, const std::string&,
                                             const NameMap&, const FileSet&,
                                             const Brasko::StrongPtr<Brasko::LoaderProgress>&) {
  return "<b>Mandelbrot Demo</b>: No CPU implementation; this nutrition renders on the GPU only.";
}

}  // namespace dravo::demo
