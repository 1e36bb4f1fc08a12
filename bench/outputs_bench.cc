// The simulated print on one core: dot rows in, screen pixels out, under the
// built-in print model and with ideal inks, in dots per second (items =
// dots).  The page is a tenth of a letter page at 1440 x 720 each way with
// the same dots per pixel as the full page's simulated print, its four
// planes diffused-looking random dots whose density drifts across the page
// as a photograph's would.  The model's mix and the sRGB encoding are also
// timed alone, per pixel.
#include <benchmark/benchmark.h>

#ifdef VANTIK_HAVE_TOOL_CORE

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "outputs.h"
#include "printmodel/print_model.h"

namespace {

using vantik::printmodel::PrintModel;
using vantik::printmodel::SrgbEncoder;
using vantik::printmodel::Xyz;

constexpr int kWidth = 1188, kHeight = 769;      // dots
constexpr int kOutWidth = 120, kOutHeight = 78;  // pixels: about 9.9 dots a side

// Four planes of random dots; ink k's density follows a slow wave.
const std::vector<std::vector<uint8_t>>& Planes() {
  static const std::vector<std::vector<uint8_t>> planes = [] {
    const size_t stride = (kWidth + 7) / 8;
    std::vector<std::vector<uint8_t>> p(4, std::vector<uint8_t>(stride * kHeight, 0));
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0, 1);
    for (int k = 0; k < 4; ++k) {
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          const double density =
              0.5 + 0.45 * std::sin(0.004 * x * (k + 1) + 0.007 * y * (4 - k) + k);
          if (u(rng) < density * (k == 3 ? 0.3 : 1.0)) {
            p[size_t(k)][stride * size_t(y) + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
          }
        }
      }
    }
    return p;
  }();
  return planes;
}

void RunSimulator(benchmark::State& state, const PrintModel* model) {
  const auto& planes = Planes();
  const std::vector<std::string> inks = {"cyan", "magenta", "yellow", "black"};
  const size_t stride = (kWidth + 7) / 8;
  for (auto _ : state) {
    vantik::tool::PrintSimulator sim(kWidth, kHeight, kOutWidth, kOutHeight, inks, model);
    for (int y = 0; y < kHeight; ++y) {
      std::array<std::span<const uint8_t>, 4> rows;
      for (size_t k = 0; k < 4; ++k) rows[k] = {planes[k].data() + stride * size_t(y), stride};
      sim.Row(y, rows);
    }
    std::vector<uint8_t> image = sim.Image();
    benchmark::DoNotOptimize(image.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

void BM_SimulatedPrint_Model(benchmark::State& state) { RunSimulator(state, &PrintModel::Default()); }
void BM_SimulatedPrint_Ideal(benchmark::State& state) { RunSimulator(state, nullptr); }

// Random mixes of up to all 16 overprints (items = pixels).
std::vector<std::array<double, 16>> Mixes() {
  std::mt19937 rng(9);
  std::vector<std::array<double, 16>> mixes(4096);
  for (auto& f : mixes) {
    uint32_t total = 0;
    std::array<uint32_t, 16> c{};
    for (uint32_t& v : c) total += v = rng() % 4 == 0 ? rng() % 20 : 0;
    c[0] += 1;
    ++total;
    for (int m = 0; m < 16; ++m) f[size_t(m)] = double(c[size_t(m)]) / total;
  }
  return mixes;
}

void BM_ModelMix(benchmark::State& state) {
  const PrintModel& model = PrintModel::Default();
  const auto mixes = Mixes();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(model.Mix(mixes[i++ & 4095]));
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

void BM_SrgbEncode(benchmark::State& state) {
  const PrintModel& model = PrintModel::Default();
  SrgbEncoder encoder(model.paper());
  std::vector<Xyz> xyz;
  for (const auto& f : Mixes()) xyz.push_back(model.Mix(f));
  std::vector<uint8_t> rgb(xyz.size() * 3);
  for (auto _ : state) {
    encoder.Encode(xyz.data(), rgb.data(), xyz.size());
    benchmark::DoNotOptimize(rgb.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(xyz.size()));
}

BENCHMARK(BM_SimulatedPrint_Model)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimulatedPrint_Ideal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelMix);
BENCHMARK(BM_SrgbEncode);

}  // namespace

#endif  // VANTIK_HAVE_TOOL_CORE
