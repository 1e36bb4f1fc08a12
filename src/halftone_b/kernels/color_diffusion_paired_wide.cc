// Four-ink error diffusion at 1440 x 720 through the paired front end
// (renderMode 4 or horizontalScale -1): set J, no parity adjustment.
#include "halftone_b/kernels/color_diffusion_frame.h"

namespace vantik::halftone_b {
namespace {
struct ColorDiffusionPairedWidePolicy {
  using Set = SpreadSetJ;
  static constexpr bool kPairedFrontEnd = true;
  static constexpr bool kParityBound[3] = {false, false, false};
};
}  // namespace

VANTIK_HALFTONE_KERNEL(ColorDiffusionKernelPairedWide) {
  (void)arg8;
  (void)extra;
  return ColorDiffusionFrame<ColorDiffusionPairedWidePolicy>::Run(
      instance, src, dst, planeStride, firstBit, count, x0, y, flags);
}

VANTIK_STEP_KERNEL(ColorDiffusionKernelPairedWideInStep) {
  return ColorDiffusionFrame<ColorDiffusionPairedWidePolicy>::RunInStep(instance, src, dst, planeStride, count,
                                                x0, y, step);
}

VANTIK_TRANSLATE_KERNEL(ColorDiffusionKernelPairedWideTranslate) {
  using Frame = ColorDiffusionFrame<ColorDiffusionPairedWidePolicy>;
  return Frame::Translate(instance, src, count, x0, y, records);
}

VANTIK_DIFFUSE_KERNEL(ColorDiffusionKernelPairedWideDiffuse) {
  using Frame = ColorDiffusionFrame<ColorDiffusionPairedWidePolicy>;
  return Frame::Diffuse(instance, src, records, dst, planeStride, firstBit, count, x0, y, flags);
}

}  // namespace vantik::halftone_b
