// Engine A throughput on one core, in dots per second (items = dots).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "common/halftone_a_fixtures.h"

namespace {

using namespace vantik::testing;

constexpr uint32_t kWidth = 4800;

void RunLines(benchmark::State& state, int renderMode, int method,
              int bytesPerPixel) {
  LutFixture lut(9, LutFixture::Complement);
  EngineA engine(ParamsA(renderMode, 1, 0, kWidth), &lut.lut);
  if (engine.createCode != 0 || engine.Load(StandardBlocks(method)) != 0) {
    state.SkipWithError("engine A set-up failed");
    return;
  }
  std::mt19937 rng(7);
  std::vector<uint8_t> line(size_t{kWidth} * bytesPerPixel);
  for (uint8_t& b : line) b = static_cast<uint8_t>(rng());
  const int32_t stride = kWidth / 8 + 1;
  std::vector<uint8_t> planes(size_t(stride) * 4);
  uint32_t y = 0;
  for (auto _ : state) {
    engine.Band(line.data(), planes.data(), stride, 0, kWidth, 0, y++);
    benchmark::DoNotOptimize(planes.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kWidth);
}

// RGB pixels through the dithered grid lookup, then three inks (method 1).
void BM_EngineA_RgbMethod1(benchmark::State& state) { RunLines(state, 1, 1, 3); }
// Four ink values straight to the converter (format 4, method 2).
void BM_EngineA_InkMethod2(benchmark::State& state) { RunLines(state, 4, 2, 4); }

// The method 1 converter alone, for comparison with the RGB figure.
void BM_EngineA_InkMethod1(benchmark::State& state) { RunLines(state, 4, 1, 4); }

// The shipped screens' other methods on ink values: the ink-limit screen
// (method 5, with matrix 1 and the level table) and the stacked inks
// (method 6).
void BM_EngineA_InkMethod5(benchmark::State& state) { RunLines(state, 4, 5, 4); }
void BM_EngineA_InkMethod6(benchmark::State& state) { RunLines(state, 4, 6, 4); }

BENCHMARK(BM_EngineA_RgbMethod1);
BENCHMARK(BM_EngineA_InkMethod2);
BENCHMARK(BM_EngineA_InkMethod1);
BENCHMARK(BM_EngineA_InkMethod5);
BENCHMARK(BM_EngineA_InkMethod6);

}  // namespace
