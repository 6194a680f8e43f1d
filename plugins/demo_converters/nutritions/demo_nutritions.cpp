#include "demo_nutritions.h"

#include "las_converter.h"
#include "mandelbrot_demo.h"
#include "ply_to_xyz.h"
#include "xyz_to_ply.h"

namespace dravo::demo {

std::vector<Brasko::StrongPtr<Qarn::VNutrition>> MakeDemoNutritions() {
  return {Brasko::MakeStrong<XyzToPlyNutrition>(), Brasko::MakeStrong<PlyToXyzNutrition>(),
          Brasko::MakeStrong<LasConverterNutrition>(),
          Brasko::MakeStrong<MandelbrotDemoNutrition>()};
}

}  // namespace dravo::demo
