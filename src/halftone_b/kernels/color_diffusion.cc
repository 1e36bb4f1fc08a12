// Four-ink error diffusion for the general resolution pairs: set K, the last
// spread bound lowered by the cell's parity for inks 0 and 3 only.
#include "halftone_b/kernels/color_diffusion_frame.h"

namespace vantik::halftone_b {
namespace {
struct ColorDiffusionPolicy {
  using Set = SpreadSetK;
  static constexpr bool kPairedFrontEnd = false;
  static constexpr bool kParityBound[3] = {true, false, true};
};
}  // namespace

VANTIK_HALFTONE_KERNEL(ColorDiffusionKernel) {
  (void)arg8;
  (void)extra;
  return ColorDiffusionFrame<ColorDiffusionPolicy>::Run(
      instance, src, dst, planeStride, firstBit, count, x0, y, flags);
}

VANTIK_STEP_KERNEL(ColorDiffusionKernelInStep) {
  return ColorDiffusionFrame<ColorDiffusionPolicy>::RunInStep(instance, src, dst, planeStride, count,
                                                x0, y, step);
}

VANTIK_TRANSLATE_KERNEL(ColorDiffusionKernelTranslate) {
  using Frame = ColorDiffusionFrame<ColorDiffusionPolicy>;
  return Frame::Translate(instance, src, count, x0, y, records);
}

VANTIK_DIFFUSE_KERNEL(ColorDiffusionKernelDiffuse) {
  using Frame = ColorDiffusionFrame<ColorDiffusionPolicy>;
  return Frame::Diffuse(instance, src, records, dst, planeStride, firstBit, count, x0, y, flags);
}

}  // namespace vantik::halftone_b
