// Engine B throughput on a 720 dpi photo-like page strip: 64 lines of 4800
// dots whose rows mix gradients, flat tints, fine noise, hard edges and
// paper white.  Items are dots.  Also the step-3 table build and the
// 32-node colour re-sampling of step 2.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "common/halftone_b_fixtures.h"
#include "halftone_b/dispatch.h"
#include "halftone_b/kernels/matrix_dither.h"
#include "halftone_b/resources.h"

namespace {

using vantik::testing::EngineBSession;
using vantik::testing::MakeParams;
using vantik::testing::MakeTestLut;
using vantik::testing::TestLut;

constexpr uint32_t kDots = 4800;  // 6.7 inches at 720 dpi
constexpr uint32_t kLines = 64;

// Colour pixels (byte 0 unused, bytes 1..3 the components), line-major.
std::vector<uint8_t> PhotoStrip() {
  std::vector<uint8_t> px(static_cast<size_t>(kDots) * kLines * 4);
  uint32_t seed = 2024;
  auto noise = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 24;
  };
  for (uint32_t y = 0; y < kLines; ++y) {
    for (uint32_t x = 0; x < kDots; ++x) {
      uint8_t* p = &px[(static_cast<size_t>(y) * kDots + x) * 4];
      const uint32_t band = (x / 600 + y / 16) % 5;
      uint32_t r, g, b;
      switch (band) {
        case 0:  // smooth sky-like gradient
          r = 90 + x % 600 / 6; g = 140 + y; b = 230 - x % 600 / 10;
          break;
        case 1:  // flat skin tint with slight grain
          r = 220 + noise() % 8; g = 170 + noise() % 8; b = 140 + noise() % 8;
          break;
        case 2:  // foliage texture
          r = 40 + noise() % 60; g = 90 + noise() % 90; b = 30 + noise() % 40;
          break;
        case 3:  // hard-edged shapes
          r = g = b = ((x / 37 + y / 5) & 1) ? 20 : 235;
          break;
        default:  // paper white with a dark line
          r = g = b = (x % 600 < 8) ? 0 : 255;
          break;
      }
      p[0] = 0;
      p[1] = static_cast<uint8_t>(r > 255 ? 255 : r);
      p[2] = static_cast<uint8_t>(g > 255 ? 255 : g);
      p[3] = static_cast<uint8_t>(b > 255 ? 255 : b);
    }
  }
  return px;
}

// Level pixels: the ink amount of the colour strip's darkest component.
std::vector<uint8_t> LevelStrip(const std::vector<uint8_t>& colour) {
  std::vector<uint8_t> levels(colour.size() / 4);
  for (size_t i = 0; i < levels.size(); ++i) {
    uint8_t m = colour[4 * i + 1];
    if (colour[4 * i + 2] < m) m = colour[4 * i + 2];
    if (colour[4 * i + 3] < m) m = colour[4 * i + 3];
    levels[i] = static_cast<uint8_t>(255 - m);
  }
  return levels;
}

std::vector<uint8_t> Matrix64() {
  return vantik::testing::MatrixBlock(64, 64, vantik::testing::ScatteredCells(64, 64));
}

// Halftones the strip kLines lines at a time through the entry point.
void RunStrip(benchmark::State& state, const HalftoneParams& params, bool colour) {
  TestLut lut = MakeTestLut({0, 32, 64, 96, 128, 160, 192, 224, 255});
  EngineBSession session;
  if (!session.Start(params, lut, vantik::testing::IdListBlock({600, 601, 602}),
                     vantik::testing::NodeBlock(), Matrix64())) {
    state.SkipWithError("resources refused");
    return;
  }
  static const std::vector<uint8_t> kColour = PhotoStrip();
  static const std::vector<uint8_t> kLevels = LevelStrip(kColour);
  const std::vector<uint8_t>& src = colour ? kColour : kLevels;
  const size_t stride = colour ? 4 * kDots : kDots;
  const int32_t planeStride = kDots / 8 + 8;
  std::vector<uint8_t> planes(4 * static_cast<size_t>(planeStride));
  for (auto _ : state) {
    for (uint32_t y = 0; y < kLines; ++y) {
      const uint32_t code = HalftoneThk(session.handle, src.data() + y * stride, planes.data(),
                                        planeStride, 0, kDots, 0, 0, y, 0, nullptr);
      if (code != 0) {
        state.SkipWithError("kernel not available");
        return;
      }
    }
    benchmark::DoNotOptimize(planes.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kDots * kLines);
}

void BM_MatrixDitherKernel(benchmark::State& state) {
  RunStrip(state, MakeParams(3, 0, 720, 720, kDots), false);
}
// The ordered kernel by each of its paths: 0 dot by dot, 1 SSE2, 2 AVX2.
void BM_MatrixDitherPath(benchmark::State& state) {
  using vantik::halftone_b::DitherPath;
  const auto path = static_cast<DitherPath>(state.range(0));
  bool here = false;
  for (DitherPath p : vantik::halftone_b::DitherPathsHere()) here = here || p == path;
  if (!here) {
    state.SkipWithError("path not available on this machine");
    return;
  }
  TestLut lut = MakeTestLut({0, 32, 64, 96, 128, 160, 192, 224, 255});
  EngineBSession session;
  if (!session.Start(MakeParams(3, 0, 720, 720, kDots), lut,
                     vantik::testing::IdListBlock({600, 601, 602}), vantik::testing::NodeBlock(),
                     Matrix64())) {
    state.SkipWithError("resources refused");
    return;
  }
  auto* instance = static_cast<vantik::halftone_b::HalftoneInstanceB*>(session.handle);
  const std::vector<uint8_t> src = LevelStrip(PhotoStrip());
  std::vector<uint8_t> plane(kDots / 8 + 8);
  for (auto _ : state) {
    for (uint32_t y = 0; y < kLines; ++y) {
      vantik::halftone_b::MatrixDitherWith(path, instance, src.data() + y * kDots, plane.data(),
                                           0, kDots, 0, y, 0, nullptr);
    }
    benchmark::DoNotOptimize(plane.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kDots * kLines);
}

void BM_EightColorDitherKernel(benchmark::State& state) {
  RunStrip(state, MakeParams(0, 1, 720, 720, kDots), true);
}
void BM_ColorDiffusionKernel(benchmark::State& state) {
  RunStrip(state, MakeParams(1, 1, 720, 720, kDots), true);
}
// The default method's kernel at 1440 x 720.
void BM_ColorDiffusionKernelWide(benchmark::State& state) {
  RunStrip(state, MakeParams(1, 1, 1440, 720, kDots), true);
}
// The default method's kernel in two phases: arg 0 times the front end
// alone, arg 1 the diffusion alone (from records made once), arg 2 both
// one after the other.
void BM_ColorDiffusionWideSplit(benchmark::State& state) {
  using vantik::halftone_b::EngineBDiffuse;
  using vantik::halftone_b::EngineBTranslate;
  TestLut lut = MakeTestLut({0, 32, 64, 96, 128, 160, 192, 224, 255});
  EngineBSession session;
  if (!session.Start(MakeParams(1, 1, 1440, 720, kDots), lut,
                     vantik::testing::IdListBlock({600, 601, 602}), vantik::testing::NodeBlock(),
                     Matrix64())) {
    state.SkipWithError("resources refused");
    return;
  }
  const std::vector<uint8_t> src = PhotoStrip();
  std::vector<uint32_t> records(static_cast<size_t>(kDots) * kLines);
  const int32_t planeStride = kDots / 8 + 8;
  std::vector<uint8_t> planes(4 * static_cast<size_t>(planeStride));
  const int64_t what = state.range(0);
  auto translate = [&](uint32_t y) {
    return EngineBTranslate(session.handle, src.data() + y * 4 * kDots, kDots, 0, y,
                            records.data() + y * kDots);
  };
  if (what == 1) {
    for (uint32_t y = 0; y < kLines; ++y) translate(y);
  }
  for (auto _ : state) {
    for (uint32_t y = 0; y < kLines; ++y) {
      uint32_t code = what == 1 ? 0 : translate(y);
      if (code == 0 && what != 0) {
        code = EngineBDiffuse(session.handle, src.data() + y * 4 * kDots,
                              records.data() + y * kDots, planes.data(), planeStride, 0, kDots,
                              0, y, 0);
      }
      if (code != 0) {
        state.SkipWithError("kernel not available");
        return;
      }
    }
    benchmark::DoNotOptimize(planes.data());
    benchmark::DoNotOptimize(records.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kDots * kLines);
}
void BM_InkDiffusionKernel(benchmark::State& state) {
  RunStrip(state, MakeParams(1, 0, 720, 720, kDots), false);
}
void BM_ColorDitherKernel(benchmark::State& state) {
  RunStrip(state, MakeParams(3, 1, 720, 720, kDots, /*variant=*/1), true);
}

// Step 3 on a 64 x 64 matrix: cells copied, all derived tables built.
void BM_MatrixTableStep(benchmark::State& state) {
  TestLut lut = MakeTestLut();
  const std::vector<uint8_t> ids = vantik::testing::IdListBlock({600, 601});
  const std::vector<uint8_t> matrix = Matrix64();
  const HalftoneParams params = MakeParams(1, 0, 720, 720, kDots);
  for (auto _ : state) {
    state.PauseTiming();
    HalftoneHandle h = nullptr;
    int32_t next = 0;
    HalftoneNewThk(&params, nullptr, lut.get(), nullptr, &next, &h);
    HalftoneSetResourceWithLength(h, ids.data(), ids.size(), &next);
    HalftoneSetResourceWithLength(h, nullptr, 0, &next);
    state.ResumeTiming();
    const uint32_t code = HalftoneSetResourceWithLength(h, matrix.data(), matrix.size(), &next);
    state.PauseTiming();
    HalftoneDeleteThk(h);
    state.ResumeTiming();
    if (code != 0) {
      state.SkipWithError("matrix refused");
      return;
    }
  }
}

// Step 2's re-sampling of a 17-node colour table onto 32 nodes per axis.
void BM_Resample32Nodes(benchmark::State& state) {
  std::vector<uint8_t> grid(17);
  for (int i = 0; i < 17; ++i) grid[i] = static_cast<uint8_t>(i * 255 / 16);
  TestLut lut = MakeTestLut(grid);
  const std::vector<uint8_t> positions = vantik::testing::EvenNodePositions();
  std::vector<uint8_t> out(32768 * 4);
  for (auto _ : state) {
    vantik::halftone_b::ResampleTable(*lut.get(), positions.data(), 32, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 32768);
}

BENCHMARK(BM_MatrixDitherKernel);
BENCHMARK(BM_MatrixDitherPath)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_EightColorDitherKernel);
BENCHMARK(BM_ColorDiffusionKernel);
BENCHMARK(BM_ColorDiffusionKernelWide);
BENCHMARK(BM_ColorDiffusionWideSplit)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_InkDiffusionKernel);
BENCHMARK(BM_ColorDitherKernel);
BENCHMARK(BM_MatrixTableStep);
BENCHMARK(BM_Resample32Nodes);

}  // namespace
