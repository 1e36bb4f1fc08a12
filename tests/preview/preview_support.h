// Helpers for the preview tests: building instances through the entry
// points, and a plain per-pixel translation written straight from the
// description of the service, against which the table-driven one is checked.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "interface/memblock.h"
#include "interface/services.h"
#include "preview/preview_instance.h"
#include "vantik/vantik.h"

namespace vantik::test {

// Caller-side settings of one preview Create.
struct PreviewSetup {
  std::array<int32_t, 7> fields{};  // ColorAdjustRecord fields 0..6
  int32_t mode = 0;
  int32_t format = 1;
  bool withGamma = false;
  int32_t gamma = 150;
  const uint8_t* curves = nullptr;  // 768 bytes, or null
};

inline uint32_t Create(const PreviewSetup& s, PreviewHandle* out) {
  ColorAdjustRecord adjust{};
  for (int f = 0; f < 7; ++f) adjust.field[f] = s.fields[f];
  PreviewOptions options{};
  options.mode = s.mode;
  int32_t gamma = s.gamma;
  TaggedValuePair pairs[2];
  int32_t n = 0;
  if (s.withGamma) pairs[n++] = {1, &gamma};
  if (s.curves != nullptr) pairs[n++] = {256, const_cast<uint8_t*>(s.curves)};
  TaggedValueList list{n, pairs};
  return PreviewNewThk(&adjust, nullptr, nullptr, n > 0 ? &list : nullptr,
                       &options, nullptr, s.format, out);
}

inline const preview::PreviewInstance& Inst(PreviewHandle h) {
  return *static_cast<const preview::PreviewInstance*>(h);
}

// Checks that no block is left over at the end of a test.
class PreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    live_ = MemLiveBlocks();
  }
  void TearDown() override {
    MemResetFaults();
    EXPECT_EQ(MemLiveBlocks(), live_) << "a block leaked";
  }
  long live_ = 0;
};

inline int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// Pass 1 and pass 2 as described, one pixel at a time, with the stretched
// values limited to 0..255.
inline void ReferenceTranslate(const preview::PreviewInstance& inst, uint32_t count,
                               const uint8_t* src, uint8_t* dst) {
  const int32_t s = inst.fields[3];
  const int32_t o = Wrap(int64_t{100} + s);
  const int32_t t = Wrap(int64_t{100} + Wrap(int64_t{s} * 80) / 100);
  const int bpp = inst.bytesPerPixel;
  const int ro = inst.offset[0], go = inst.offset[1], bo = inst.offset[2];
  auto stretch = [](int32_t from, int32_t v, int32_t factor) {
    const int32_t r = from + Wrap(int64_t{v - from} * factor) / 100;
    return std::clamp(r, 0, 255);
  };
  for (uint32_t p = 0; p < count; ++p) {
    const uint8_t* in = src + size_t{p} * bpp;
    uint8_t* out = dst + size_t{p} * bpp;
    int32_t r = in[ro], g = in[go], b = in[bo];
    if (s != 0 && !(r == g && g == b)) {
      if (r <= g && r <= b) {
        g = stretch(r, g, o);
        b = stretch(r, b, o);
      } else if (g <= b) {
        r = stretch(g, r, o);
        b = stretch(g, b, o);
      } else {
        r = stretch(b, r, t);
        g = stretch(b, g, t);
      }
    }
    out[ro] = static_cast<uint8_t>(inst.tone[0][r]);
    out[go] = static_cast<uint8_t>(inst.tone[1][g]);
    out[bo] = static_cast<uint8_t>(inst.tone[2][b]);
  }
  if (inst.mode < 1 || inst.mode > 3) return;
  bool adjusted = false;
  for (int f = 1; f <= 6; ++f) adjusted = adjusted || inst.fields[f] != 0;
  const uint8_t* in = adjusted ? dst : src;
  std::vector<int> y(count);
  for (uint32_t p = 0; p < count; ++p) {
    const uint8_t* px = in + size_t{p} * bpp;
    y[p] = (30 * px[ro] + 59 * px[go] + 11 * px[bo]) / 100;
  }
  for (int64_t p = 0; p < int64_t{count}; ++p) {
    const uint8_t* px = in + p * bpp;
    int r = px[ro], g = px[go], b = px[bo];
    if (p >= 2 && p <= int64_t{count} - 3 &&
        (std::abs(y[p] - y[p - 1]) > 20 || std::abs(y[p] - y[p + 1]) > 20)) {
      int f = 0;
      if (inst.mode == 1) f = 2 * y[p] - y[p - 1] - y[p + 1];
      if (inst.mode == 2) f = 2 * y[p] - y[p - 2] - y[p + 2];
      if (inst.mode == 3) f = 4 * y[p] - y[p - 2] - y[p - 1] - y[p + 1] - y[p + 2];
      r = std::clamp(r + f, 0, 255);
      g = std::clamp(g + f, 0, 255);
      b = std::clamp(b + f, 0, 255);
    }
    uint8_t* out = dst + p * bpp;
    out[ro] = static_cast<uint8_t>(r);
    out[go] = static_cast<uint8_t>(g);
    out[bo] = static_cast<uint8_t>(b);
  }
}

}  // namespace vantik::test
