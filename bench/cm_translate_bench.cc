// Colour translation of one million photo-like pixels through a 17-node,
// 4-channel table (4-byte pixels, RGB in bytes 1..3), side by side with
// LittleCMS 2 running an 8-bit RGB to 4-channel transform through a 17-point
// CLUT filled from the same table.  Also times the whole table step.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "colormatch/cm_internal.h"
#include "colormatch/cm_table.h"
#include "common/cm_table_fixtures.h"
#include "vantik/vantik.h"

#if VANTIK_HAVE_LCMS2
#include <lcms2.h>
#include "interface/params.h"
#endif

namespace {

using vantik::testing::HandInstance;
using vantik::testing::TableBlockContents;

constexpr int kPixels = 1000 * 1000;

// A smooth RGB to CMYK table: complements with gray removed into black.
TableBlockContents InkTable(int n) {
  TableBlockContents s;
  s.n = n;
  s.w = 4;
  s.tableType = 1;
  s.weights[0] = 250;
  s.weights[1] = 100;
  const std::vector<uint8_t> g = TableBlockContents::Even(n);
  for (int a = 0; a < n; ++a)
    for (int b = 0; b < n; ++b)
      for (int c = 0; c < n; ++c) {
        const int cy = 255 - g[a], mg = 255 - g[b], ye = 255 - g[c];
        const int k = std::min(cy, std::min(mg, ye)) * 3 / 4;
        s.table.push_back(static_cast<uint8_t>(cy - k));
        s.table.push_back(static_cast<uint8_t>(mg - k));
        s.table.push_back(static_cast<uint8_t>(ye - k));
        s.table.push_back(static_cast<uint8_t>(k));
      }
  return s;
}

// Smooth gradients and shapes with a little noise, as a photograph has.
std::vector<uint8_t> PhotoPixels(int stride, int first) {
  std::vector<uint8_t> px(static_cast<size_t>(kPixels) * stride, 0);
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (int y = 0; y < 1000; ++y)
    for (int x = 0; x < 1000; ++x) {
      const double u = x / 1000.0, v = y / 1000.0;
      const double r = 128 + 100 * std::sin(6.0 * u + 2.0 * v);
      const double g = 120 + 90 * std::cos(4.0 * v - 3.0 * u * v);
      const double b = 110 + 110 * std::sin(3.0 * (u + v)) * std::cos(5.0 * u);
      uint8_t* p = &px[(static_cast<size_t>(y) * 1000 + x) * stride + first];
      const auto clamp = [](double d) { return static_cast<uint8_t>(d < 0 ? 0 : (d > 255 ? 255 : d)); };
      p[0] = clamp(r + noise(rng));
      p[1] = clamp(g + noise(rng));
      p[2] = clamp(b + noise(rng));
    }
  return px;
}

void Load(HandInstance& h, const std::vector<uint8_t>& block) {
  vantik::ByteReader r(block.data(), block.size());
  if (vantik::colormatch::CmLoadTableBlock(*h, r) != RC_OK) std::abort();
}

void BM_CmTranslateColors(benchmark::State& state) {
  HandInstance h;
  h->params.renderMode = 3;
  Load(h, InkTable(17).Build());
  const std::vector<uint8_t> src = PhotoPixels(4, 1);
  std::vector<uint8_t> dst(static_cast<size_t>(kPixels) * 4);
  for (auto _ : state) {
    CmTranslateColorsThk(h.handle(), kPixels, src.data(), dst.data(), 0, nullptr);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPixels);
}
BENCHMARK(BM_CmTranslateColors)->Unit(benchmark::kMillisecond);

#if VANTIK_HAVE_LCMS2
void BM_LittleCms(benchmark::State& state) {
  const TableBlockContents s = InkTable(17);
  std::vector<cmsUInt16Number> clut(s.table.size());
  for (size_t i = 0; i < clut.size(); ++i) clut[i] = static_cast<cmsUInt16Number>(s.table[i] * 257);
  cmsPipeline* pipe = cmsPipelineAlloc(nullptr, 3, 4);
  cmsPipelineInsertStage(pipe, cmsAT_BEGIN, cmsStageAllocCLut16bit(nullptr, 17, 3, 4, clut.data()));
  cmsHPROFILE link = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(link, 4.3);
  cmsSetDeviceClass(link, cmsSigLinkClass);
  cmsSetColorSpace(link, cmsSigRgbData);
  cmsSetPCS(link, cmsSigCmykData);
  cmsWriteTag(link, cmsSigAToB0Tag, pipe);
  cmsHTRANSFORM xf = cmsCreateTransform(link, TYPE_RGB_8, nullptr, TYPE_CMYK_8,
                                        INTENT_PERCEPTUAL, 0);
  if (xf == nullptr) {
    state.SkipWithError("cmsCreateTransform failed");
    return;
  }
  const std::vector<uint8_t> src = PhotoPixels(3, 0);
  std::vector<uint8_t> dst(static_cast<size_t>(kPixels) * 4);
  for (auto _ : state) {
    cmsDoTransform(xf, src.data(), dst.data(), kPixels);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPixels);
  cmsDeleteTransform(xf);
  cmsCloseProfile(link);
  cmsPipelineFree(pipe);
}
BENCHMARK(BM_LittleCms)->Unit(benchmark::kMillisecond);
#endif

// The whole table step: block, gray axis, adjustment pass (with user
// adjustments and ink-space corrections), density correction, tone curve.
// range(1) = 1 runs the pass with the test suite's stand-in preview, which
// copies pixels, so the pass is timed even without the preview service.
void BM_CmTableStep(benchmark::State& state) {
  TableBlockContents s = InkTable(static_cast<int>(state.range(0)));
  s.primaryGain[0] = 20;
  s.secondaryGain[1] = -10;
  s.hueShift[2] = 15;
  s.saturationBoost = 5;
  const std::vector<uint8_t> block = s.Build();
  HandInstance h;
  h->params.kind = 3;
  h->params.renderMode = 3;
  h->halftoneNumber = 300;
  h->adjust.field[1] = 10;  // brightness
  h->adjust.field[3] = 10;  // saturation
  h->adjust.field[vantik::kAdjustColorModeB] = 2;
  const vantik::colormatch::CmPreviewOps& preview =
      state.range(1) != 0 ? vantik::testing::FakePreview::kOps : vantik::colormatch::kCmPreviewService;
  vantik::testing::FakePreview::Reset();
  for (auto _ : state) {
    vantik::ByteReader r(block.data(), block.size());
    if (vantik::colormatch::CmLoadTableBlockWith(*h, r, preview) != RC_OK) std::abort();
  }
}
BENCHMARK(BM_CmTableStep)
    ->Args({17, 0})->Args({32, 0})->Args({17, 1})->Args({32, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
