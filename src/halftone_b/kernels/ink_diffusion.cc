// Single-ink error diffusion for the general resolution pairs: set K.
#include "halftone_b/kernels/ink_diffusion_frame.h"

namespace vantik::halftone_b {

VANTIK_HALFTONE_KERNEL(InkDiffusionKernel) {
  (void)planeStride;
  (void)arg8;
  return InkDiffusionFrame<SpreadSetK>::Run(instance, src, dst, firstBit, count, x0, y,
                                 flags, extra);
}

}  // namespace vantik::halftone_b
