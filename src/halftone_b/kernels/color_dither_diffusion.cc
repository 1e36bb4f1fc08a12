// Kind-3 colour kernel with ink 1 by error diffusion (variants 0 and 2).
#include "halftone_b/kernels/color_dither_frame.h"

namespace vantik::halftone_b {

VANTIK_HALFTONE_KERNEL(ColorDitherDiffusionKernel) {
  (void)arg8;
  (void)extra;
  return ColorDitherFrame<true>::Run(instance, src, dst, planeStride,
                                     firstBit, count, x0, y, flags);
}

}  // namespace vantik::halftone_b
