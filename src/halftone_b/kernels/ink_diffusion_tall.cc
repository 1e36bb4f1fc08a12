// Single-ink error diffusion for tall dots (vertical = 2 x horizontal): set V.
#include "halftone_b/kernels/ink_diffusion_frame.h"

namespace vantik::halftone_b {

VANTIK_HALFTONE_KERNEL(InkDiffusionKernelTall) {
  (void)planeStride;
  (void)arg8;
  return InkDiffusionFrame<SpreadSetV>::Run(instance, src, dst, firstBit, count, x0, y,
                                 flags, extra);
}

}  // namespace vantik::halftone_b
