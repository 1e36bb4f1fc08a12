// The simulated print on one core: dot rows in, screen pixels out, under the
// built-in print model and with ideal inks, in dots per second (items =
// dots).  The page is a tenth of a letter page at 1440 x 720 each way with
// the same dots per pixel as the full page's simulated print, its four
// planes diffused-looking random dots whose density drifts across the page
// as a photograph's would.  The model's mix and the sRGB encoding are also
// timed alone, per pixel, and the simulated print's PNG of a letter page
// (927 x 1200 pixels) is timed being written.
#include <benchmark/benchmark.h>

#ifdef VANTIK_HAVE_TOOL_CORE

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "outputs.h"
#include "png_writer.h"
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

// The same mixes through MixMany, four at a time where the processor can.
void BM_ModelMixMany(benchmark::State& state) {
  const PrintModel& model = PrintModel::Default();
  const auto mixes = Mixes();
  std::vector<Xyz> out(mixes.size());
  for (auto _ : state) {
    model.MixMany(mixes.data(), out.data(), mixes.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(mixes.size()));
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

// A simulated print of a letter page: smooth colour with the grain of
// halftone dots averaged a dozen to a pixel, and a blank paper margin.
void BM_WritePrintPng(benchmark::State& state) {
  const int w = 927, h = 1200, margin = 27;
  std::vector<uint8_t> rgb(size_t(w) * h * 3, 255);
  std::mt19937 rng(11);
  std::normal_distribution<double> grain(0, 5);
  for (int y = margin; y < h - margin; ++y) {
    for (int x = margin; x < w - margin; ++x) {
      for (int b = 0; b < 3; ++b) {
        const double v = 140 + 90 * std::sin(0.004 * x * (b + 1) + 0.003 * y * (3 - b) + b);
        rgb[(size_t(y) * w + x) * 3 + size_t(b)] = uint8_t(std::clamp(v + grain(rng), 0.0, 255.0));
      }
    }
  }
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("vantik-bench-" + std::to_string(::getpid()) + ".png"))
                               .string();
  for (auto _ : state) {
    vantik::Status s = vantik::tool::WritePng(path, rgb, w, h, 3);
    if (!s.ok()) {
      state.SkipWithError(s.ToString().c_str());
      break;
    }
  }
  state.counters["bytes"] = double(std::filesystem::file_size(path));
  std::filesystem::remove(path);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(rgb.size()));
}

BENCHMARK(BM_SimulatedPrint_Model)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimulatedPrint_Ideal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelMix);
BENCHMARK(BM_ModelMixMany);
BENCHMARK(BM_SrgbEncode);
BENCHMARK(BM_WritePrintPng)->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // VANTIK_HAVE_TOOL_CORE
