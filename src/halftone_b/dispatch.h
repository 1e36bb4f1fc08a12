// Engine B line dispatch: checks a run against the instance and hands it to
// the kernel that the instance's parameters select.
#pragma once

#include "halftone_b/kernels/kernels.h"

namespace vantik::halftone_b {

// The kernel for these parameters (every parameter set selects one).
HalftoneKernel ChooseKernel(const HalftoneParams& params);

// The in-step form of a kernel, or null when it has none.
StepKernel StepKernelOf(HalftoneKernel kernel);

// Whether the instance's runs can step line after line on two threads.
bool EngineBStepsLines(HalftoneHandle handle);

// A run of line y (first bit 0, flags 0) taking part in a stepped page:
// EngineBBand's checks, then the kernel's in-step form.  Publishes the line
// as finished on every way out, refusals included.
uint32_t EngineBBandInStep(HalftoneHandle handle, const uint8_t* src, uint8_t* dst,
                           int32_t planeStride, uint32_t count, uint32_t x0, uint32_t y,
                           const StepRun& step);

// The two-phase form of a kernel (kernels.h), both null when it has none.
struct SplitKernels {
  TranslateKernel translate = nullptr;
  DiffuseKernel diffuse = nullptr;
};
SplitKernels SplitKernelsOf(HalftoneKernel kernel);

// Whether the instance's runs can be split into a front end and a diffusion.
bool EngineBSplitsLines(HalftoneHandle handle);

// The front end of a run (EngineBBand's checks that concern it), writing
// (count rounded down to even) records.  Reads the instance's tables only:
// safe beside an EngineBDiffuse of another line on another thread.
uint32_t EngineBTranslate(HalftoneHandle handle, const uint8_t* src, uint32_t count,
                          uint32_t x0, uint32_t y, uint32_t* records);

// The diffusion of a run from its records: EngineBBand's checks, then the
// kernel's diffusion.  After EngineBTranslate of the same run, the same
// bits and codes as EngineBBand.
uint32_t EngineBDiffuse(HalftoneHandle handle, const uint8_t* src, const uint32_t* records,
                        uint8_t* dst, int32_t planeStride, int32_t firstBit, uint32_t count,
                        uint32_t x0, uint32_t y, int32_t flags);

}  // namespace vantik::halftone_b
