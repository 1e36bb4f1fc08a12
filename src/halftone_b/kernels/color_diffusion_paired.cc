// Four-ink error diffusion through the paired front end (renderMode 4 or
// horizontalScale -1) with set K and its parity rule for inks 0 and 3.
#include "halftone_b/kernels/color_diffusion_frame.h"

namespace vantik::halftone_b {
namespace {
struct ColorDiffusionPairedPolicy {
  using Set = SpreadSetK;
  static constexpr bool kPairedFrontEnd = true;
  static constexpr bool kParityBound[3] = {true, false, true};
};
}  // namespace

VANTIK_HALFTONE_KERNEL(ColorDiffusionKernelPaired) {
  (void)arg8;
  (void)extra;
  return ColorDiffusionFrame<ColorDiffusionPairedPolicy>::Run(
      instance, src, dst, planeStride, firstBit, count, x0, y, flags);
}

VANTIK_STEP_KERNEL(ColorDiffusionKernelPairedInStep) {
  return ColorDiffusionFrame<ColorDiffusionPairedPolicy>::RunInStep(instance, src, dst, planeStride, count,
                                                x0, y, step);
}

VANTIK_TRANSLATE_KERNEL(ColorDiffusionKernelPairedTranslate) {
  using Frame = ColorDiffusionFrame<ColorDiffusionPairedPolicy>;
  return Frame::Translate(instance, src, count, x0, y, records);
}

VANTIK_DIFFUSE_KERNEL(ColorDiffusionKernelPairedDiffuse) {
  using Frame = ColorDiffusionFrame<ColorDiffusionPairedPolicy>;
  return Frame::Diffuse(instance, src, records, dst, planeStride, firstBit, count, x0, y, flags);
}

}  // namespace vantik::halftone_b
