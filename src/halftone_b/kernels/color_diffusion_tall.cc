// Four-ink error diffusion for tall dots (vertical = 2 x horizontal
// resolution): paired front end, set V, which puts more of a bright pixel's
// error on the next line; the last bound is lowered by the parity for all
// three inks.
#include "halftone_b/kernels/color_diffusion_frame.h"

namespace vantik::halftone_b {
namespace {
struct ColorDiffusionTallPolicy {
  using Set = SpreadSetV;
  static constexpr bool kPairedFrontEnd = true;
  static constexpr bool kParityBound[3] = {true, true, true};
};
}  // namespace

VANTIK_HALFTONE_KERNEL(ColorDiffusionKernelTall) {
  (void)arg8;
  (void)extra;
  return ColorDiffusionFrame<ColorDiffusionTallPolicy>::Run(
      instance, src, dst, planeStride, firstBit, count, x0, y, flags);
}

VANTIK_STEP_KERNEL(ColorDiffusionKernelTallInStep) {
  return ColorDiffusionFrame<ColorDiffusionTallPolicy>::RunInStep(instance, src, dst, planeStride, count,
                                                x0, y, step);
}

VANTIK_TRANSLATE_KERNEL(ColorDiffusionKernelTallTranslate) {
  using Frame = ColorDiffusionFrame<ColorDiffusionTallPolicy>;
  return Frame::Translate(instance, src, count, x0, y, records);
}

VANTIK_DIFFUSE_KERNEL(ColorDiffusionKernelTallDiffuse) {
  using Frame = ColorDiffusionFrame<ColorDiffusionTallPolicy>;
  return Frame::Diffuse(instance, src, records, dst, planeStride, firstBit, count, x0, y, flags);
}

}  // namespace vantik::halftone_b
