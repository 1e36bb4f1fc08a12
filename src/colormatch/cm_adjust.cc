#include "colormatch/cm_adjust.h"

#include <cstring>

#include "colormatch/cm_translate.h"
#include "interface/memblock.h"
#include "interface/services.h"

namespace vantik::colormatch {

const CmPreviewOps kCmPreviewService = {preview::PreviewCreate,
                                        preview::PreviewTranslate,
                                        preview::PreviewDelete};

namespace {

constexpr int32_t kRowPixels = 48;  // node row capacity
constexpr int32_t kRowBytes = 192;  // output row capacity

// x / 100, truncated toward zero.
inline int32_t T(int32_t x) { return x / 100; }
// x / 100 with halves going away from zero.
inline int32_t R(int32_t x) { return x >= 0 ? (x + 50) / 100 : (x - 50) / 100; }
inline int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }
inline int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t Clamp(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void Release(void* block) {
  MemUnlock(block);
  MemFree(block);
}

}  // namespace

// The strictly largest ink is pulled toward the second largest.
void PrimaryAdjust(int32_t& c, int32_t& m, int32_t& y, const int16_t g[3]) {
  if (c > m && c > y) {
    c -= T(g[0] * (c - Max(m, y)));
    if (c < 0) c = 0;
  } else if (m > c && m > y) {
    m -= T(g[1] * (m - Max(c, y)));
    if (m < 0) m = 0;
  } else if (y > c && y > m) {
    y -= T(g[2] * (y - Max(c, m)));
    if (y < 0) y = 0;
  }
}

// The two larger inks are pulled toward the strictly smallest by one amount.
void SecondaryAdjust(int32_t& c, int32_t& m, int32_t& y, const int16_t g[3]) {
  if (c < m && c < y) {
    const int32_t s = T(g[0] * (Min(m, y) - c));
    m -= s;
    y -= s;
  } else if (m < c && m < y) {
    const int32_t s = T(g[1] * (Min(c, y) - m));
    c -= s;
    y -= s;
  } else if (y < c && y < m) {
    const int32_t s = T(g[2] * (Min(c, m) - y));
    c -= s;
    m -= s;
  }
  c = Max(c, 0);
  m = Max(m, 0);
  y = Max(y, 0);
}

// One of the two larger inks moves, chosen by the sign of the gain.
void HueAdjust(int32_t& c, int32_t& m, int32_t& y, const int16_t g[3]) {
  if (c < m && c < y) {
    const int32_t s = R((Min(m, y) - c) * g[0]);
    if (g[0] < 0) y += s; else m -= s;
  } else if (m < c && m < y) {
    const int32_t s = R((Min(c, y) - m) * g[1]);
    if (g[1] < 0) c += s; else y -= s;
  } else if (y < c && y < m) {
    const int32_t s = R((Min(c, m) - y) * g[2]);
    if (g[2] < 0) m += s; else c -= s;
  }
  c = Clamp(c);
  m = Clamp(m);
  y = Clamp(y);
}

uint32_t CmAdjustPass(CmInstance& instance, const CmPreviewOps& ops) {
  CmLut* lut = instance.lut;
  if (lut == nullptr || !CmRefreshAxisTables(instance)) return kCmNoTable;
  const int32_t n = lut->gridCountA;
  const int32_t w = lut->channels;
  // The pass walks a cube of n nodes a side through fixed row buffers.
  if (lut->gridCountB != n || lut->gridCountC != n || n > kRowPixels ||
      n * w > kRowBytes)
    return RC_BAD_RESOURCE;

  ColorAdjustRecord local = instance.adjust;
  const bool inkSpace = InkCorrections(instance.adjust);
  if (inkSpace) {
    const int32_t s = local.field[kAdjustSaturation] + instance.saturationBoost;
    local.field[kAdjustSaturation] = s > kAdjustLimit ? kAdjustLimit : s;
  }

  const size_t bytes = static_cast<size_t>(lut->gridCountB) * w * lut->gridCountC * n;
  uint8_t* fresh = nullptr;
  const uint32_t got = MemAllocLocked(bytes, 1, &fresh);
  if (got != RC_OK) return got;
  void* block = fresh;

  // A failed Create may still have handed out its instance; delete it too.
  PreviewHandle preview = nullptr;
  const PreviewOptions options = {0, nullptr};
  const uint32_t rc = ops.create(local, options, 3, &preview);
  if (rc != RC_OK) {
    if (preview != nullptr) ops.destroy(preview);
    Release(block);
    return rc;
  }

  uint8_t row[kRowPixels * 4] = {};
  uint8_t out[kRowBytes];
  const size_t rowBytes = static_cast<size_t>(n) * w;
  for (int32_t a = 0; a < n; ++a) {
    for (int32_t b = 0; b < n; ++b) {
      for (int32_t c = 0; c < n; ++c) {
        row[4 * c] = 0;
        row[4 * c + 1] = lut->gridA[a];
        row[4 * c + 2] = lut->gridB[b];
        row[4 * c + 3] = lut->gridC[c];
      }
      // Black (0, 0, 0) and white (n-1, n-1, n-1) keep their ink values.
      int32_t first = 0;
      int32_t count = n;
      if (a == 0 && b == 0) {
        first = 1;
        count = n - 1;
      } else if (a == n - 1 && b == n - 1) {
        count = n - 1;
      }
      uint8_t* px = row + 4 * first;
      bool ok = ops.translate(preview, static_cast<uint32_t>(count), px, px) == RC_OK;
      if (ok && inkSpace) {
        for (int32_t i = 0; i < n; ++i) {
          uint8_t* p = row + 4 * i;
          int32_t cc = 255 - p[1], mm = 255 - p[2], yy = 255 - p[3];
          PrimaryAdjust(cc, mm, yy, instance.primaryGain);
          SecondaryAdjust(cc, mm, yy, instance.secondaryGain);
          HueAdjust(cc, mm, yy, instance.hueShift);
          p[1] = static_cast<uint8_t>(255 - cc);
          p[2] = static_cast<uint8_t>(255 - mm);
          p[3] = static_cast<uint8_t>(255 - yy);
        }
      }
      ok = ok && CmTranslateRun(instance, kCmNodeLayout, static_cast<size_t>(n),
                                row, out) == RC_OK;
      if (!ok) {
        ops.destroy(preview);
        Release(block);
        return 1;
      }
      std::memcpy(fresh + (static_cast<size_t>(a) * n + b) * rowBytes, out, rowBytes);
    }
  }

  ops.destroy(preview);
  Release(lut->tableBlock);
  lut->table = fresh;
  lut->tableBlock = block;
  return RC_OK;
}

}  // namespace vantik::colormatch
