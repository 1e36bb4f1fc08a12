// Engine B line dispatch: checks a run against the instance and hands it to
// the kernel that the instance's parameters select.
#pragma once

#include "halftone_b/kernels/kernels.h"

namespace vantik::halftone_b {

// The kernel for these parameters (every parameter set selects one).
HalftoneKernel ChooseKernel(const HalftoneParams& params);

}  // namespace vantik::halftone_b
