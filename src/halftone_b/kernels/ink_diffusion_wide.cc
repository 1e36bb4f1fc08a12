// Single-ink error diffusion at 1440 x 720: set J.
#include "halftone_b/kernels/ink_diffusion_frame.h"

namespace vantik::halftone_b {

VANTIK_HALFTONE_KERNEL(InkDiffusionKernelWide) {
  (void)planeStride;
  (void)arg8;
  return InkDiffusionFrame<SpreadSetJ>::Run(instance, src, dst, firstBit, count, x0, y,
                                 flags, extra);
}

}  // namespace vantik::halftone_b
