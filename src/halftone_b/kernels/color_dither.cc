// Kind-3 colour kernel: all four inks by ordered dither.
#include "halftone_b/kernels/color_dither_frame.h"

namespace vantik::halftone_b {

VANTIK_HALFTONE_KERNEL(ColorDitherKernel) {
  (void)arg8;
  (void)extra;
  return ColorDitherFrame<false>::Run(instance, src, dst, planeStride,
                                      firstBit, count, x0, y, flags);
}

}  // namespace vantik::halftone_b
