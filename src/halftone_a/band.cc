// The band call: one line of pixels into the caller's bit planes.  RGB lines
// (formats 1 to 3) first become four ink values per entry by a dithered
// lookup in the 25 x 25 x 25 colour grid; the screen's line converter then
// sets the dots.
//
// A band is refused with 0x100, and nothing is written, when the instance
// cannot dither it: no screen table loaded yet (or a failed resource step),
// a threshold matrix the method needs never delivered or of width or height
// 0, a start bit outside 0..7, more dots than the line width, or a missing
// source or destination.
#include <algorithm>
#include <cstring>

#include "halftone_a/instance_a.h"
#include "interface/params.h"
#include "interface/services.h"

namespace vantik::halftone_a {
namespace {

bool Usable(const ThresholdMatrix& m) {
  return m.data != nullptr && m.width != 0 && m.height != 0;
}

bool Converts(const HalftoneAInstance& inst) {
  return inst.params.renderMode != kRenderGray && inst.params.renderMode != kRenderInks;
}

// Dithered lookup of `entries` entries into the line buffer.  Matrix 2 gives
// one threshold per entry that decides all three channels: each channel
// takes the grid node above its cell when its fraction reaches the
// threshold.  The column advances by the repeat count and restarts at 0 (not
// at the remainder) when it passes the width.
void ConvertLine(HalftoneAInstance& inst, const uint8_t* src, uint64_t entries,
                 uint32_t x, uint32_t y) {
  const int32_t s = inst.params.horizontalScale;
  const uint32_t step = RepeatCount(s);
  const ThresholdMatrix& m2 = inst.matrix2;
  const uint32_t w2 = m2.width;
  const uint8_t* row = m2.data + size_t{y % m2.height} * w2;
  const uint32_t phase = static_cast<uint16_t>(inst.screen->matrix2Phase);
  uint32_t c = (x + phase) % w2;

  const int32_t off0 = inst.channelOffset[0];
  const int32_t off1 = inst.channelOffset[1];
  const int32_t off2 = inst.channelOffset[2];
  const size_t bpp = static_cast<size_t>(inst.bytesPerPixel);
  const uint8_t* grid = inst.grid;
  uint8_t* out = inst.lineBuffer;

  // Per channel value v, the node table entry of the inverted level 255 - v.
  // A threshold of 0 would lift the channel at level 255 (cell 24, fraction
  // 0) to node 25, outside the grid; a fraction of -1 keeps every cell at the
  // top of the grid where it is.
  struct Step {
    int32_t fraction;
    uint32_t cell;
  };
  Step steps[256];
  for (int v = 0; v < 256; ++v) {
    const int level = 255 - v;
    const uint32_t cell = inst.nodeTable[2 * level];
    const int32_t fraction = inst.nodeTable[2 * level + 1];
    steps[v] = Step{cell + 1 >= kGridSize ? -1 : fraction, cell};
  }
  // The grid is always 25 nodes per axis (Create re-samples it so); the
  // entry of node indices (i0, i1, i2) is (24 - i0, 24 - i1, 24 - i2).
  constexpr uint32_t kG = kGridSize;
  constexpr uint32_t kLast = (kG * kG * kG) - 1;

  for (uint64_t e = 0; e < entries; ++e) {
    unsigned r = src[off0], gr = src[off1], b = src[off2];
    src += bpp;
    if (s < 0) {
      // Two pixels merge into one: the darker value of each channel.
      if (src[off0] < r) r = src[off0];
      if (src[off1] < gr) gr = src[off1];
      if (src[off2] < b) b = src[off2];
      src += bpp;
    }
    const int32_t t = row[c];
    const Step& s0 = steps[r];
    const Step& s1 = steps[gr];
    const Step& s2 = steps[b];
    const uint32_t i0 = s0.cell + (s0.fraction >= t ? 1u : 0u);
    const uint32_t i1 = s1.cell + (s1.fraction >= t ? 1u : 0u);
    const uint32_t i2 = s2.cell + (s2.fraction >= t ? 1u : 0u);
    const uint32_t index = kLast - ((i0 * kG + i1) * kG + i2);
    std::memcpy(out, grid + size_t{index} * 4, 4);
    out += 4;
    c += step;
    if (c >= w2) c = 0;
  }
}

}  // namespace

uint32_t Band(HalftoneHandle handle, const uint8_t* src, uint8_t* dst,
              int32_t planeStride, int32_t startBit, uint32_t n, uint32_t x,
              uint32_t y) {
  auto* inst = static_cast<HalftoneAInstance*>(handle);
  if (inst == nullptr) return RC_FAILURE;
  if (inst->locked == 0) {
    const uint32_t rc = RefreshPointers(*inst);
    if (rc != RC_OK) return rc;
  }
  if (inst->failed != 0 || inst->converter == nullptr) return RC_FAILURE;
  if (startBit < 0 || startBit > 7 || n > inst->params.lineWidth) return RC_FAILURE;
  if (src == nullptr || dst == nullptr) return RC_FAILURE;
  if (!Usable(inst->matrix3)) return RC_FAILURE;
  if (inst->usesMatrix1 != 0 && !Usable(inst->matrix1)) return RC_FAILURE;

  const uint8_t* input = src;
  if (Converts(*inst)) {
    if (!Usable(inst->matrix2)) return RC_FAILURE;
    ConvertLine(*inst, src, EntryCount(inst->params.horizontalScale, n), x, y);
    input = inst->lineBuffer;
  }
  inst->converter(*inst, input, dst, planeStride, startBit, n, x, y);
  return RC_OK;
}

RunBytes RunBytesOf(const HalftoneAInstance& inst, int32_t planeStride, int32_t startBit,
                    uint32_t n) {
  if (inst.failed != 0 || inst.converter == nullptr) return {0, 0};
  if (startBit < 0 || startBit > 7 || n > inst.params.lineWidth) return {0, 0};
  const int32_t s = inst.params.horizontalScale;
  const uint64_t entries = EntryCount(s, n);
  const uint64_t bpp = inst.bytesPerPixel > 0 ? static_cast<uint64_t>(inst.bytesPerPixel) : 0;
  int32_t lastOffset = 0;  // the highest channel offset a pixel is read at
  for (int k = 0; k < 3; ++k) lastOffset = std::max(lastOffset, inst.channelOffset[k]);
  const uint64_t offsetBytes = static_cast<uint64_t>(lastOffset) + 1;

  uint32_t source = 0;
  if (Converts(inst)) {
    // Two pixels per entry when they merge (s < 0).
    source = PixelRunBytes(s < 0 ? 2 * entries : entries, bpp, offsetBytes);
  } else {
    const uint64_t step = inst.converterPixelStep != 0 ? bpp : 4;
    const uint64_t width =
        inst.converterEntryBytes != 0 ? inst.converterEntryBytes : offsetBytes;
    source = PixelRunBytes(entries, step, width);
  }
  // The frame reads each plane's first byte even for an empty line.
  const uint64_t dots = entries * RepeatCount(s);
  const uint64_t perPlane = std::max<uint64_t>(1, (startBit + dots + 7) / 8);
  return {source, PlaneRunBytes(inst.converterPlanes, planeStride, perPlane)};
}

}  // namespace vantik::halftone_a

namespace vantik {

RunBytes EngineARunBytes(HalftoneHandle instance, int32_t planeStride, int32_t firstBit,
                         uint32_t count) {
  if (instance == nullptr) return {0, 0};
  return halftone_a::RunBytesOf(*static_cast<const halftone_a::HalftoneAInstance*>(instance),
                                planeStride, firstBit, count);
}

uint32_t EngineABand(HalftoneHandle instance, const uint8_t* src, uint8_t* dst,
                     int32_t planeStride, int32_t firstBit, uint32_t count,
                     uint32_t x0, uint32_t /*arg8*/, uint32_t y,
                     int32_t /*flags*/, void* /*extra*/) {
  return halftone_a::Band(instance, src, dst, planeStride, firstBit, count, x0, y);
}

}  // namespace vantik
