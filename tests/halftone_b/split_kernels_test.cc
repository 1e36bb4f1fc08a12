// The four-ink diffusion kernels in two phases (front end, then diffusion
// from its records) against the one-call kernels: the same random sequences
// of runs on two copies of an instance must leave the same planes, error
// lines, reset state and codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/halftone_b_kernel_fixture.h"
#include "halftone_b/dispatch.h"

namespace vantik::halftone_b {
namespace {

using testing::KernelInstance;
using testing::KernelSetup;

struct Member {
  const char* name;
  HalftoneKernel kernel;
  bool paired;  // the paired front end takes renderMode 4 pixels
};

const Member kMembers[] = {
    {"plain", ColorDiffusionKernel, false},
    {"wide", ColorDiffusionKernelWide, false},
    {"tall", ColorDiffusionKernelTall, true},
    {"paired", ColorDiffusionKernelPaired, true},
    {"paired wide", ColorDiffusionKernelPairedWide, true},
};

// One run both ways; the split one with its records in a buffer filled
// with junk first, so a record the diffusion reads but the front end never
// wrote shows up.
void ExpectSameRun(const Member& m, KernelInstance& one, KernelInstance& split,
                   const std::vector<uint8_t>& src, size_t planeBytes, int32_t firstBit,
                   uint32_t count, uint32_t x0, uint32_t y, int32_t flags,
                   const std::string& what, std::mt19937& rng) {
  const SplitKernels k = SplitKernelsOf(m.kernel);
  ASSERT_NE(k.translate, nullptr) << m.name;
  std::vector<uint8_t> a(4 * planeBytes), b(4 * planeBytes);
  for (size_t i = 0; i < a.size(); ++i) a[i] = b[i] = static_cast<uint8_t>(rng());
  std::vector<uint32_t> records(count + 1);
  for (uint32_t& r : records) r = static_cast<uint32_t>(rng());
  const int32_t stride = static_cast<int32_t>(planeBytes);
  const uint32_t codeOne =
      m.kernel(&one.inst, src.data(), a.data(), stride, firstBit, count, x0, 0, y, flags, nullptr);
  const uint32_t codeTranslate =
      k.translate(&split.inst, src.data(), count, x0, y, records.data());
  const uint32_t codeDiffuse = k.diffuse(&split.inst, src.data(), records.data(), b.data(),
                                         stride, firstBit, count, x0, y, flags);
  // A refused front end means a refused diffusion with the same code.
  if (codeTranslate != RC_OK) {
    EXPECT_EQ(codeDiffuse, codeTranslate) << what;
  }
  ASSERT_EQ(codeDiffuse, codeOne) << what;
  ASSERT_EQ(b, a) << what;
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(split.wholeLine(i), one.wholeLine(i)) << what << " line " << i;
  }
  ASSERT_EQ(split.inst.lastLine, one.inst.lastLine) << what;
  ASSERT_EQ(split.inst.lastEnd, one.inst.lastEnd) << what;
}

TEST(SplitKernels, RandomRunsMatchTheOneCallKernel) {
  std::mt19937 rng(1412);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  constexpr uint32_t kWidth = 203;  // ends inside a byte
  for (const Member& m : kMembers) {
    for (int trial = 0; trial < 16; ++trial) {
      KernelSetup s;
      s.lineWidth = kWidth;
      s.lutMode = pick(0, 3) == 0 ? 2 : 1;  // 2: three planes for the plain front end
      s.renderMode = m.paired && pick(0, 1) ? 4 : 1;
      s.horizontalScale = trial % 3 == 0 ? 1 : 0;
      s.matrixWidth = 1u << pick(2, 6);
      s.matrixHeight = static_cast<uint32_t>(pick(1, 20));
      const int32_t cells = static_cast<int32_t>(s.matrixWidth * s.matrixHeight);
      s.cells.resize(static_cast<size_t>(cells));
      for (auto& v : s.cells) {
        v = static_cast<int16_t>(pick(0, 9) == 0 ? pick(-40000, 40000) % 32768
                                                 : pick(-5, cells + 5));
      }
      s.weightLight = pick(0, 1) ? 350 : 500;
      s.dotParam[0] = pick(20, 70);
      s.dotParam[1] = pick(5, s.dotParam[0]);
      s.dotParam[2] = pick(1, s.dotParam[1]);
      s.dotParam[3] = pick(0, s.dotParam[2]);
      const int fillKind = pick(0, 2);
      s.fill = [fillKind](int pa, int pb, int pc, int ink) -> uint8_t {
        if (fillKind == 0) return testing::ComplementFill(pa, pb, pc, ink);
        // Zero and low levels beside high ones: inks forgotten and taken up.
        const int v = (pa * 3 + pb * 5 + pc * 7 + ink * 61) & 255;
        return static_cast<uint8_t>(fillKind == 1 ? (v < 90 ? 0 : v) : (v < 200 ? 0 : v));
      };
      KernelInstance one(s);
      KernelInstance split(s);
      const size_t planeBytes = kWidth / 8 + 2;
      uint32_t y = static_cast<uint32_t>(pick(0, 3));
      for (int run = 0; run < 24; ++run) {
        // Next line, same line or a skipped one, so every reset rule comes up.
        const int step = pick(0, 9);
        y += step < 6 ? 1u : step < 8 ? 0u : static_cast<uint32_t>(pick(2, 17));
        const uint32_t x0 = static_cast<uint32_t>(pick(0, 1) ? 0 : pick(0, kWidth));
        const uint32_t count = static_cast<uint32_t>(pick(0, static_cast<int>(kWidth - x0)));
        // Smooth pixels with repeats, white, zeros and jumps.
        std::vector<uint8_t> src(4 * (count + 2) + 8);
        for (size_t i = 0; i < src.size(); i += 4) {
          const int what = pick(0, 19);
          for (size_t k = 0; k < 4; ++k) {
            const int prev = i >= 4 ? src[i + k - 4] : pick(0, 255);
            const int v = what == 0   ? (k == 0 ? prev : 255)
                          : what == 1 ? 0
                          : what == 2 ? pick(0, 255)
                          : what < 6  ? prev
                                      : std::clamp(prev + pick(-9, 9), 0, 255);
            src[i + k] = static_cast<uint8_t>(v);
          }
        }
        const std::string what = std::string(m.name) + " trial " + std::to_string(trial) +
                                 " run " + std::to_string(run);
        ExpectSameRun(m, one, split, src, planeBytes, pick(0, 7), count, x0, y, 0, what, rng);
      }
    }
  }
}

// Refusals come with the one-call kernel's codes and change nothing.
TEST(SplitKernels, RefusalsMatchTheOneCallKernel) {
  std::mt19937 rng(7);
  const std::vector<uint8_t> src(4 * 80, 90);
  struct Case {
    const char* what;
    int32_t firstBit;
    uint32_t count, x0;
    int32_t flags;
    uint32_t matrixWidth;
  } cases[] = {
      {"run past the line", 0, 40, 30, 0, 16},
      {"flags", 0, 8, 0, 1, 16},
      {"first bit 8", 8, 8, 0, 0, 16},
      {"first bit -1", -1, 8, 0, 0, 16},
      {"matrix of 512 columns", 0, 8, 0, 0, 512},
  };
  for (const Member& m : kMembers) {
    for (const Case& c : cases) {
      KernelSetup s;
      s.lineWidth = 64;
      s.matrixWidth = c.matrixWidth;
      s.matrixHeight = 2;
      KernelInstance one(s);
      KernelInstance split(s);
      ExpectSameRun(m, one, split, src, 10, c.firstBit, c.count, c.x0, 3, c.flags,
                    std::string(m.name) + ": " + c.what, rng);
    }
    // Tables released by a failed resource step.
    KernelSetup s;
    KernelInstance one(s);
    KernelInstance split(s);
    one.inst.slots[kSlotNodeTable].data = split.inst.slots[kSlotNodeTable].data = nullptr;
    ExpectSameRun(m, one, split, src, 10, 0, 8, 0, 0, 0, std::string(m.name) + ": no node table",
                  rng);
  }
}

}  // namespace
}  // namespace vantik::halftone_b
