// Four-ink error diffusion at 1440 x 720: set J, which spreads wider along
// the line; no parity adjustment of the last bound.
#include "halftone_b/kernels/color_diffusion_frame.h"

namespace vantik::halftone_b {
namespace {
struct ColorDiffusionWidePolicy {
  using Set = SpreadSetJ;
  static constexpr bool kPairedFrontEnd = false;
  static constexpr bool kParityBound[3] = {false, false, false};
};
}  // namespace

VANTIK_HALFTONE_KERNEL(ColorDiffusionKernelWide) {
  (void)arg8;
  (void)extra;
  return ColorDiffusionFrame<ColorDiffusionWidePolicy>::Run(
      instance, src, dst, planeStride, firstBit, count, x0, y, flags);
}

VANTIK_STEP_KERNEL(ColorDiffusionKernelWideInStep) {
  return ColorDiffusionFrame<ColorDiffusionWidePolicy>::RunInStep(instance, src, dst, planeStride, count,
                                                x0, y, step);
}

VANTIK_TRANSLATE_KERNEL(ColorDiffusionKernelWideTranslate) {
  using Frame = ColorDiffusionFrame<ColorDiffusionWidePolicy>;
  return Frame::Translate(instance, src, count, x0, y, records);
}

VANTIK_DIFFUSE_KERNEL(ColorDiffusionKernelWideDiffuse) {
  using Frame = ColorDiffusionFrame<ColorDiffusionWidePolicy>;
  return Frame::Diffuse(instance, src, records, dst, planeStride, firstBit, count, x0, y, flags);
}

}  // namespace vantik::halftone_b
