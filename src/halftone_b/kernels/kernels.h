// Engine B line kernels.  Every kernel takes the eleven arguments of a
// HalftoneThk call unchanged and returns a code.  The dispatcher
// (halftone_b/dispatch.h) picks one per call from the instance's parameters.
#pragma once

#include <cstdint>

#include "halftone_b/instance_b.h"
#include "halftone_b/kernels/line_step.h"

namespace vantik::halftone_b {

// instance, source pixels (from pixel x0 on), destination plane 0, bytes from
// one plane to the next, bit of dot x0 in the first byte (0..7), dots in the
// run, first column, argument 8 (not read), line number, flags (must be 0),
// extra buffer (must be null for the single-plane kernels).
using HalftoneKernel = uint32_t (*)(HalftoneInstanceB* instance,
                                    const uint8_t* src, uint8_t* dst,
                                    int32_t planeStride, int32_t firstBit,
                                    uint32_t count, uint32_t x0, uint32_t arg8,
                                    uint32_t y, int32_t flags, void* extra);

#define VANTIK_HALFTONE_KERNEL(name)                                         \
  uint32_t name(HalftoneInstanceB* instance, const uint8_t* src,            \
                uint8_t* dst, int32_t planeStride, int32_t firstBit,        \
                uint32_t count, uint32_t x0, uint32_t arg8, uint32_t y,     \
                int32_t flags, void* extra)

// Ordered dither (matrix_dither.cc, eight_color_dither.cc).
VANTIK_HALFTONE_KERNEL(MatrixDitherKernel);
VANTIK_HALFTONE_KERNEL(EightColorDitherKernel);

// Kind-3 colour kernels and the paired 1440 x 720 kernel.
VANTIK_HALFTONE_KERNEL(ColorDitherKernel);
VANTIK_HALFTONE_KERNEL(ColorDitherDiffusionKernel);
VANTIK_HALFTONE_KERNEL(ColorDiffusionKernelPairedWide);

// Four-ink error diffusion and its variants.
VANTIK_HALFTONE_KERNEL(ColorDiffusionKernel);
VANTIK_HALFTONE_KERNEL(ColorDiffusionKernelWide);
VANTIK_HALFTONE_KERNEL(ColorDiffusionKernelTall);
VANTIK_HALFTONE_KERNEL(ColorDiffusionKernelPaired);

// The four-ink diffusion kernels for a line that steps with the line before
// it on another thread (line_step.h): first bit 0, flags 0, no extra
// buffer; the same bits as the plain kernel.
using StepKernel = uint32_t (*)(HalftoneInstanceB* instance, const uint8_t* src,
                                uint8_t* dst, int32_t planeStride, uint32_t count,
                                uint32_t x0, uint32_t y, const StepRun& step);

#define VANTIK_STEP_KERNEL(name)                                                  \
  uint32_t name(HalftoneInstanceB* instance, const uint8_t* src, uint8_t* dst,   \
                int32_t planeStride, uint32_t count, uint32_t x0, uint32_t y,    \
                const StepRun& step)

VANTIK_STEP_KERNEL(ColorDiffusionKernelInStep);
VANTIK_STEP_KERNEL(ColorDiffusionKernelWideInStep);
VANTIK_STEP_KERNEL(ColorDiffusionKernelTallInStep);
VANTIK_STEP_KERNEL(ColorDiffusionKernelPairedInStep);
VANTIK_STEP_KERNEL(ColorDiffusionKernelPairedWideInStep);

// The four-ink diffusion kernels in two phases (ColorDiffusionFrame::
// Translate and Diffuse): the front end of a run writes one record per dot
// and reads nothing that the diffusion of earlier lines changes, so it may
// run on another thread while they diffuse.  The front end of a run
// followed by its diffusion gives the bits and codes of the one-call
// kernel.  The diffusion takes the one-call kernel's arguments (flags
// must be 0, no extra buffer) and the records.
using TranslateKernel = uint32_t (*)(const HalftoneInstanceB* instance, const uint8_t* src,
                                     uint32_t count, uint32_t x0, uint32_t y,
                                     uint32_t* records);
using DiffuseKernel = uint32_t (*)(HalftoneInstanceB* instance, const uint8_t* src,
                                   const uint32_t* records, uint8_t* dst, int32_t planeStride,
                                   int32_t firstBit, uint32_t count, uint32_t x0, uint32_t y,
                                   int32_t flags);

#define VANTIK_TRANSLATE_KERNEL(name)                                                \
  uint32_t name(const HalftoneInstanceB* instance, const uint8_t* src, uint32_t count, \
                uint32_t x0, uint32_t y, uint32_t* records)
#define VANTIK_DIFFUSE_KERNEL(name)                                                    \
  uint32_t name(HalftoneInstanceB* instance, const uint8_t* src, const uint32_t* records, \
                uint8_t* dst, int32_t planeStride, int32_t firstBit, uint32_t count,    \
                uint32_t x0, uint32_t y, int32_t flags)

VANTIK_TRANSLATE_KERNEL(ColorDiffusionKernelTranslate);
VANTIK_TRANSLATE_KERNEL(ColorDiffusionKernelWideTranslate);
VANTIK_TRANSLATE_KERNEL(ColorDiffusionKernelTallTranslate);
VANTIK_TRANSLATE_KERNEL(ColorDiffusionKernelPairedTranslate);
VANTIK_TRANSLATE_KERNEL(ColorDiffusionKernelPairedWideTranslate);
VANTIK_DIFFUSE_KERNEL(ColorDiffusionKernelDiffuse);
VANTIK_DIFFUSE_KERNEL(ColorDiffusionKernelWideDiffuse);
VANTIK_DIFFUSE_KERNEL(ColorDiffusionKernelTallDiffuse);
VANTIK_DIFFUSE_KERNEL(ColorDiffusionKernelPairedDiffuse);
VANTIK_DIFFUSE_KERNEL(ColorDiffusionKernelPairedWideDiffuse);

// Single-ink error diffusion.
VANTIK_HALFTONE_KERNEL(InkDiffusionKernel);
VANTIK_HALFTONE_KERNEL(InkDiffusionKernelWide);
VANTIK_HALFTONE_KERNEL(InkDiffusionKernelTall);

// Checks every kernel repeats before touching anything (the dispatcher makes
// the same ones first): the run must end inside the line (x0 + count is
// compared without 32-bit wrap-around), flags must be 0, and the first bit
// must lie in 0..7.  Returns 0 when the run may proceed.
inline uint32_t CheckRun(const HalftoneInstanceB& instance, int32_t firstBit,
                         uint32_t count, uint32_t x0, int32_t flags) {
  if (static_cast<uint64_t>(x0) + count > instance.params.lineWidth) {
    return RC_BAND_TOO_LARGE;
  }
  if (flags != 0) return RC_BAD_FLAG;
  if (firstBit < 0 || firstBit > 7) return RC_BAD_VALUE;
  return RC_OK;
}

}  // namespace vantik::halftone_b
