// Kernels not written yet: each refuses the run until its own file lands.
// Remove an entry here when its kernel is added.
#include "halftone_b/kernels/kernels.h"

namespace vantik {

#define VANTIK_PENDING_KERNEL(name) \
  VANTIK_HALFTONE_KERNEL(name) { return RC_FAILURE; }

VANTIK_PENDING_KERNEL(ColorDitherKernel)
VANTIK_PENDING_KERNEL(ColorDitherDiffusionKernel)
VANTIK_PENDING_KERNEL(ColorDiffusionKernelPairedWide)
VANTIK_PENDING_KERNEL(ColorDiffusionKernel)
VANTIK_PENDING_KERNEL(ColorDiffusionKernelWide)
VANTIK_PENDING_KERNEL(ColorDiffusionKernelTall)
VANTIK_PENDING_KERNEL(ColorDiffusionKernelPaired)
VANTIK_PENDING_KERNEL(InkDiffusionKernel)
VANTIK_PENDING_KERNEL(InkDiffusionKernelWide)
VANTIK_PENDING_KERNEL(InkDiffusionKernelTall)

#undef VANTIK_PENDING_KERNEL

}  // namespace vantik
