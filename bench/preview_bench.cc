// Preview translation throughput on 64K-pixel runs of format-1 pixels.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "vantik/vantik.h"

namespace {

constexpr uint32_t kRunPixels = 65536;

// A photographic-looking run: smooth gradients with occasional jumps, so
// that both the saturation branches and the sharpening edges occur.
std::vector<uint8_t> MakeRun() {
  std::mt19937 rng(7);
  std::vector<uint8_t> px(size_t{kRunPixels} * 3);
  int level[3] = {90, 140, 60};
  for (uint32_t p = 0; p < kRunPixels; ++p) {
    for (int c = 0; c < 3; ++c) {
      if (rng() % 64 == 0) level[c] = static_cast<int>(rng() % 256);
      level[c] += static_cast<int>(rng() % 7) - 3;
      level[c] = level[c] < 0 ? 0 : (level[c] > 255 ? 255 : level[c]);
      px[size_t{p} * 3 + c] = static_cast<uint8_t>(level[c]);
    }
  }
  return px;
}

void TranslateRun(benchmark::State& state, int32_t mode) {
  ColorAdjustRecord adjust{};
  adjust.field[1] = 20;   // brightness
  adjust.field[2] = 15;   // contrast
  adjust.field[3] = 30;   // saturation
  adjust.field[4] = 5;    // red offset
  adjust.field[6] = -5;   // blue offset
  int32_t gamma = 180;
  TaggedValuePair pair{1, &gamma};
  TaggedValueList list{1, &pair};
  PreviewOptions options{};
  options.mode = mode;
  PreviewHandle h = nullptr;
  if (PreviewNewThk(&adjust, nullptr, nullptr, &list, &options, nullptr, 1, &h) != RC_OK) {
    state.SkipWithError("PreviewNewThk failed");
    return;
  }
  const std::vector<uint8_t> src = MakeRun();
  std::vector<uint8_t> dst(src.size());
  for (auto _ : state) {
    if (PreviewTranslateColorsThk(h, kRunPixels, src.data(), dst.data(), 0, nullptr) != RC_OK) {
      state.SkipWithError("PreviewTranslateColorsThk failed");
      break;
    }
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kRunPixels);
  PreviewDeleteThk(h);
}

void BM_PreviewTranslate(benchmark::State& state) { TranslateRun(state, 0); }
void BM_PreviewTranslateSharpen3(benchmark::State& state) { TranslateRun(state, 3); }

BENCHMARK(BM_PreviewTranslate);
BENCHMARK(BM_PreviewTranslateSharpen3);

}  // namespace
