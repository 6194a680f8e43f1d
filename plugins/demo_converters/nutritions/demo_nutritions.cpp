#include <demo_converters/nutritions/demo_nutritions.h>

#include <demo_converters/nutritions/las_converter.h>
#include <demo_converters/nutritions/mandelbrot_demo.h>
#include <demo_converters/nutritions/ply_to_xyz.h>
#include <demo_converters/nutritions/xyz_to_ply.h>

namespace dravo::demo {

std::vector<Brasko::StrongPtr<Qarn::VNutrition>> MakeDemoNutritions() {
  return {Brasko::MakeStrong<XyzToPlyNutrition>(), Brasko::MakeStrong<PlyToXyzNutrition>(),
          Brasko::MakeStrong<LasConverterNutrition>(),
          Brasko::MakeStrong<MandelbrotDemoNutrition>()};
}

}  // namespace dravo::demo
