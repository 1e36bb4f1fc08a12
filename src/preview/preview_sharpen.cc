// Pass 2 of the preview translation: edge sharpening against a luminance
// line taken before any pixel of the pass is written.
#include <algorithm>
#include <cstdlib>

#include "interface/memblock.h"
#include "preview/preview_passes.h"

namespace vantik::preview {
namespace {

constexpr int kEdgeThreshold = 20;

// (30 R + 59 G + 11 B) / 100 without a division: x * 5243 >> 19 equals
// x / 100 for every x up to 255 * 100.
constexpr int Luminance(int r, int g, int b) {
  return ((30 * r + 59 * g + 11 * b) * 5243) >> 19;
}
constexpr bool LuminanceIsExact() {
  for (int x = 0; x <= 25500; ++x) {
    if (((x * 5243) >> 19) != x / 100) return false;
  }
  return true;
}
static_assert(LuminanceIsExact());

inline uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

template <int kR, int kG, int kB, int kBpp>
void LuminanceLine(uint32_t count, const uint8_t* in, uint8_t* y) {
  for (uint32_t p = 0; p < count; ++p, in += kBpp) {
    y[p] = static_cast<uint8_t>(Luminance(in[kR], in[kG], in[kB]));
  }
}

template <int kMode>
inline int EdgeValue(const uint8_t* y, uint32_t p) {
  if constexpr (kMode == 1) return 2 * y[p] - y[p - 1] - y[p + 1];
  if constexpr (kMode == 2) return 2 * y[p] - y[p - 2] - y[p + 2];
  return 4 * y[p] - y[p - 2] - y[p - 1] - y[p + 1] - y[p + 2];
}

// Every pixel of the run goes to the destination: sharpened at an edge,
// unchanged from the input elsewhere (nothing to copy when the input is the
// destination itself).  Only pixels 2..count-3 can be edges.
template <int kR, int kG, int kB, int kBpp, int kMode>
void SharpenRun(uint32_t count, const uint8_t* in, uint8_t* dst,
                const uint8_t* y) {
  const bool copy = in != dst;
  for (uint32_t p = 0; p < count; ++p) {
    const uint8_t* s = in + size_t{p} * kBpp;
    uint8_t* d = dst + size_t{p} * kBpp;
    const bool inside = p >= 2 && uint64_t{p} + 3 <= count;
    if (inside && (std::abs(y[p] - y[p - 1]) > kEdgeThreshold ||
                   std::abs(y[p] - y[p + 1]) > kEdgeThreshold)) {
      const int f = EdgeValue<kMode>(y, p);
      const int r = s[kR], g = s[kG], b = s[kB];
      d[kR] = Clamp(r + f);
      d[kG] = Clamp(g + f);
      d[kB] = Clamp(b + f);
    } else if (copy) {
      d[kR] = s[kR];
      d[kG] = s[kG];
      d[kB] = s[kB];
    }
  }
}

template <int kR, int kG, int kB, int kBpp>
void SharpenLayout(int mode, uint32_t count, const uint8_t* in, uint8_t* dst,
                   uint8_t* y) {
  LuminanceLine<kR, kG, kB, kBpp>(count, in, y);
  switch (mode) {
    case 1: SharpenRun<kR, kG, kB, kBpp, 1>(count, in, dst, y); break;
    case 2: SharpenRun<kR, kG, kB, kBpp, 2>(count, in, dst, y); break;
    default: SharpenRun<kR, kG, kB, kBpp, 3>(count, in, dst, y); break;
  }
}

}  // namespace

uint32_t SharpenPass(const PreviewInstance& inst, uint32_t count,
                     const uint8_t* src, uint8_t* dst) {
  // Modes other than 1..3 (only storable through the curve path) are off.
  if (inst.mode < 1 || inst.mode > 3) return 0;

  // With every adjustment at 0 the sharpened source reaches the output, so
  // the gamma and a curve table do not show there.
  bool adjusted = false;
  for (int f = 1; f < kPreviewFields; ++f) adjusted |= inst.fields[f] != 0;
  const uint8_t* in = adjusted ? dst : src;

  uint8_t* y = nullptr;
  const uint32_t got = MemAllocLocked(count, 0, &y);
  if (got != RC_OK) return got;
  switch (inst.pixelFormat) {
    case 2: SharpenLayout<2, 1, 0, 3>(inst.mode, count, in, dst, y); break;
    case 3: SharpenLayout<1, 2, 3, 4>(inst.mode, count, in, dst, y); break;
    default: SharpenLayout<0, 1, 2, 3>(inst.mode, count, in, dst, y); break;
  }
  // The line is freed even when unlocking it fails, so no block is lost.
  return MemRelease(y);
}

}  // namespace vantik::preview
