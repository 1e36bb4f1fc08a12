// Workers behind the entry points.  Each service defines its own; the entry
// points in interface/entry_points.cc copy the caller's records and forward.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vantik/vantik.h"

namespace vantik {

// Bytes a translation run takes on its source and destination side, for
// callers that must check a run fits the memory they were given.
struct RunBytes {
  uint32_t source;
  uint32_t destination;
};

// Bytes from the first byte of plane 0 to the end of the last plane's run,
// plane k starting at k x stride, each plane bytesPerPlane long.  Planes that
// would start before plane 0 (a negative stride with more than one plane),
// and extents past 32 bits, give UINT32_MAX: more than any caller's memory
// holds, so such a band is refused rather than written where nobody gave.
inline uint32_t PlaneRunBytes(int planes, int32_t stride, uint64_t bytesPerPlane) {
  if (bytesPerPlane == 0) return 0;
  if (planes > 1 && stride < 0) return UINT32_MAX;
  const uint64_t total =
      static_cast<uint64_t>(planes - 1) * static_cast<uint64_t>(stride) + bytesPerPlane;
  return total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

// Bytes a pixel run reads: `pixels` pixels `step` bytes apart, each read
// `width` bytes from its start.  Saturates at UINT32_MAX.
inline uint32_t PixelRunBytes(uint64_t pixels, uint64_t step, uint64_t width) {
  if (pixels == 0) return 0;
  const uint64_t total = (pixels - 1) * step + width;
  return total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

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

// The kind a halftone instance was made with: both engines' instance records
// begin with their HalftoneParams copy, so it is the record's first field.
inline int32_t HalftoneKindOf(HalftoneHandle instance) {
  int32_t kind;
  std::memcpy(&kind, instance, sizeof kind);
  return kind;
}

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
// What a band call with these arguments reads behind its source and writes
// (or reads back) behind its destination.  A band the engine refuses before
// touching either (a failed or unfinished instance, a start bit outside
// 0..7, more dots than the line width) takes nothing.
RunBytes EngineARunBytes(HalftoneHandle instance, int32_t planeStride,
                         int32_t firstBit, uint32_t count);

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
// What a band call with these arguments reads behind its source and writes
// (or reads back) behind its destination, for the kernel the instance
// uses.  A band the dispatcher refuses (an instance without its tables, a
// run past the line, flags, a first bit outside 0..7) takes nothing.
RunBytes EngineBRunBytes(HalftoneHandle instance, int32_t planeStride,
                         int32_t firstBit, uint32_t count, uint32_t x0, int32_t flags);
}  // namespace vantik::halftone_b
