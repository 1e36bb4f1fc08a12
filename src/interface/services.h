// Workers behind the entry points.  Each service defines its own; the entry
// points in interface/entry_points.cc copy the caller's records and forward.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vantik/vantik.h"

namespace vantik {

// Bytes a translation run takes on its source and destination side, for
// callers that must check a run fits the memory they were given.
struct RunBytes {
  uint32_t source;
  uint32_t destination;
};

}  // namespace vantik

// Preview (preview/).
namespace vantik::preview {

uint32_t PreviewCreate(const ColorAdjustRecord& adjust,
                       const PreviewOptions& options, int32_t pixelFormat,
                       PreviewHandle* outInstance);
uint32_t PreviewTranslate(PreviewHandle instance, uint32_t count,
                          const uint8_t* src, uint8_t* dst);
uint32_t PreviewDelete(PreviewHandle instance);
// count x the instance's bytes per pixel on each side (32-bit wrap-around).
RunBytes PreviewRunBytes(PreviewHandle instance, uint32_t count);
}  // namespace vantik::preview

// Colour matching (colormatch/).
namespace vantik::colormatch {

uint32_t CmCreate(const ColorAdjustRecord& adjust, const HalftoneParams& params,
                  void* reserved, int32_t* inOut, CmHandle* outInstance);
// length is ByteReader::kUnbounded for the legacy form.
uint32_t CmSetResource(CmHandle instance, const void* block, size_t length,
                       int32_t* inOut);
uint32_t CmTranslate(CmHandle instance, int32_t count, const uint8_t* src,
                     uint8_t* dst);
CmLut* CmGetLut(CmHandle instance);
uint32_t CmDelete(CmHandle instance);
// The instance's input stride and the CmLut's bytes per node, times count.
// A run of count <= 0 takes nothing; an instance without a usable layout or
// table translates nothing, so its runs count as one byte, the least any
// mapped address has.
RunBytes CmRunBytes(CmHandle instance, int32_t count);
}  // namespace vantik::colormatch

namespace vantik {

// Halftone engine A (halftone_a/), kind 2.
uint32_t EngineANew(const HalftoneParams& params, CmLut* lut, void* reserved,
                    int32_t* inOut, HalftoneHandle* outInstance);
uint32_t EngineASetResource(HalftoneHandle instance, const void* block,
                            size_t length, int32_t* inOut);
uint32_t EngineABand(HalftoneHandle instance, const uint8_t* src, uint8_t* dst,
                     int32_t planeStride, int32_t firstBit, uint32_t count,
                     uint32_t x0, uint32_t arg8, uint32_t y, int32_t flags,
                     void* extra);
uint32_t EngineADelete(HalftoneHandle instance);

}  // namespace vantik

// Halftone engine B (halftone_b/), every other kind.
namespace vantik::halftone_b {

uint32_t EngineBNew(const HalftoneParams& params, CmLut* lut, void* reserved,
                    int32_t* inOut, HalftoneHandle* outInstance);
uint32_t EngineBSetResource(HalftoneHandle instance, const void* block,
                            size_t length, int32_t* inOut);
uint32_t EngineBBand(HalftoneHandle instance, const uint8_t* src, uint8_t* dst,
                     int32_t planeStride, int32_t firstBit, uint32_t count,
                     uint32_t x0, uint32_t arg8, uint32_t y, int32_t flags,
                     void* extra);
uint32_t EngineBDelete(HalftoneHandle instance);
}  // namespace vantik::halftone_b
