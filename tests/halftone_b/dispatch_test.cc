// Kernel choice for every row of the decision table, and the checks a run
// passes before any kernel sees it.
#include <gtest/gtest.h>

#include <vector>

#include "common/halftone_b_fixtures.h"
#include "halftone_b/dispatch.h"
#include "halftone_b/instance_b.h"

namespace vantik::halftone_b {
namespace {

using testing::EngineBSession;
using testing::MakeParams;
using testing::MakeTestLut;
using testing::TestLut;

struct Row {
  const char* name;
  int32_t kind, variant, renderMode, lutMode, x, y, scale;
  HalftoneKernel kernel;
};

TEST(EngineBDispatch, EveryRowOfTheDecisionTable) {
  const Row rows[] = {
      {"kind 3 levels", 3, 1, 0, 0, 720, 720, 0, MatrixDitherKernel},
      {"kind 3 colour variant 0", 3, 0, 1, 1, 720, 720, 0, ColorDitherDiffusionKernel},
      {"kind 3 colour variant 2", 3, 2, 4, 2, 1440, 720, -1, ColorDitherDiffusionKernel},
      {"kind 3 colour variant 1", 3, 1, 1, 1, 720, 720, 0, ColorDitherKernel},
      {"kind 3 colour variant -2", 3, -2, 1, 1, 720, 1440, 0, ColorDitherKernel},
      {"kind 0 levels", 0, 0, 0, 0, 1440, 720, 0, MatrixDitherKernel},
      {"kind 0 colour", 0, 0, 4, 1, 720, 1440, -1, EightColorDitherKernel},
      {"tall colour", 1, 0, 4, 1, 720, 1440, -1, ColorDiffusionKernelTall},
      {"tall colour 360", 5, 0, 1, 3, 360, 720, 0, ColorDiffusionKernelTall},
      {"1440 x 720 colour", 1, 0, 1, 1, 1440, 720, 1, ColorDiffusionKernelWide},
      {"1440 x 720 colour, render 4", 1, 0, 4, 1, 1440, 720, 0, ColorDiffusionKernelPairedWide},
      {"1440 x 720 colour, scale -1", -1, 0, 1, 2, 1440, 720, -1, ColorDiffusionKernelPairedWide},
      {"720 x 360 colour is not 1440 x 720", 1, 0, 1, 1, 720, 360, 0, ColorDiffusionKernel},
      {"square colour", 1, 0, 1, 1, 720, 720, 0, ColorDiffusionKernel},
      {"square colour, render 4", 4, 0, 4, 1, 720, 720, 0, ColorDiffusionKernelPaired},
      {"square colour, scale -1", 1, 0, 1, 1, 720, 720, -1, ColorDiffusionKernelPaired},
      {"tall levels", 1, 0, 0, 0, 720, 1440, 0, InkDiffusionKernelTall},
      {"1440 x 720 levels", 1, 0, 0, 0, 1440, 720, -1, InkDiffusionKernelWide},
      {"kind 1 at 720 x 360 levels", 1, 0, 0, 0, 720, 360, 0, InkDiffusionKernel},
      {"square levels", 7, 0, 0, 0, 720, 720, 1, InkDiffusionKernel},
      {"negative kind levels", -1, 0, 0, 0, 360, 360, 0, InkDiffusionKernel},
      // The ratio test doubles the 32-bit field, wrapping around.
      {"tall colour, doubled x wraps", 1, 0, 1, 1, 0x40000000, INT32_MIN, 0,
       ColorDiffusionKernelTall},
      {"tall levels, doubled x wraps to 0", 1, 0, 0, 0, INT32_MIN, 0, 0,
       InkDiffusionKernelTall},
  };
  for (const Row& r : rows) {
    HalftoneParams p = MakeParams(r.kind, r.lutMode, r.x, r.y, 256, r.variant, r.scale,
                                  r.renderMode);
    EXPECT_EQ(ChooseKernel(p), r.kernel) << r.name;
  }
}

// A ready kind-3 level instance: its runs go to MatrixDitherKernel, which
// also refuses an extra buffer.
class EngineBRunChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    lut_ = MakeTestLut();
    ASSERT_TRUE(session_.Start(MakeParams(3, 0, 720, 720, kWidth), lut_));
    instance_ = static_cast<HalftoneInstanceB*>(session_.handle);
    instance_->lastLine = 77;
  }
  uint32_t Run(uint32_t x0, uint32_t count, int32_t flags, void* extra,
               int32_t firstBit = 0) {
    return HalftoneThk(session_.handle, pixels_.data(), plane_.data(), 0, firstBit, count,
                       x0, 0, 5, flags, extra);
  }

  static constexpr uint32_t kWidth = 100;
  TestLut lut_;
  EngineBSession session_;
  HalftoneInstanceB* instance_ = nullptr;
  std::vector<uint8_t> pixels_ = std::vector<uint8_t>(kWidth, 200);
  std::vector<uint8_t> plane_ = std::vector<uint8_t>(kWidth / 8 + 2, 0xA5);
};

TEST_F(EngineBRunChecks, ChecksComeInTheirOrderAndChangeNothing) {
  int extra = 0;
  struct Case {
    uint32_t x0, count;
    int32_t flags;
    void* extra;
    int32_t firstBit;
    uint32_t code;
  };
  const Case cases[] = {
      {90, 11, 1, &extra, 9, 0x206},           // too long beats everything
      {0xFFFFFFFFu, 2, 0, nullptr, 0, 0x206},  // x0 + count wraps to 1
      {2, 0xFFFFFFFFu, 0, nullptr, 0, 0x206},
      {90, 10, 1, &extra, 9, 0x20A},           // then the flags
      {90, 10, 0, &extra, 9, 0x202},           // then the first bit
      {90, 10, 0, nullptr, -1, 0x202},
      {90, 10, 0, nullptr, 8, 0x202},
      {90, 10, 0, &extra, 0, 0x20B},           // the kernel's own check comes last
      {100, 1, 0, nullptr, 0, 0x206},
  };
  const std::vector<uint8_t> before = plane_;
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.x0, c.count, c.flags, c.extra, c.firstBit), c.code)
        << c.x0 << "+" << c.count;
    EXPECT_EQ(instance_->lastLine, 77u);
    EXPECT_EQ(plane_, before);
  }
}

TEST_F(EngineBRunChecks, RunsUpToTheLineEndAreAccepted) {
  EXPECT_EQ(Run(90, 10, 0, nullptr), 0u);
  EXPECT_EQ(instance_->lastLine, 5u);
  EXPECT_EQ(Run(100, 0, 0, nullptr), 0u);
  EXPECT_EQ(Run(0, 100, 0, nullptr, 7), 0u);
}

TEST_F(EngineBRunChecks, KernelsCalledDirectlyRepeatTheChecks) {
  int extra = 0;
  // A single-plane kernel refuses the extra buffer before anything else.
  EXPECT_EQ(MatrixDitherKernel(instance_, pixels_.data(), plane_.data(), 0, 0, 200, 0, 0, 0, 1,
                               &extra),
            0x20Bu);
  EXPECT_EQ(MatrixDitherKernel(instance_, pixels_.data(), plane_.data(), 0, 0, 200, 0, 0, 0, 1,
                               nullptr),
            0x206u);
  EXPECT_EQ(MatrixDitherKernel(instance_, pixels_.data(), plane_.data(), 0, 0, 10, 0, 0, 0, 1,
                               nullptr),
            0x20Au);
  EXPECT_EQ(MatrixDitherKernel(instance_, pixels_.data(), plane_.data(), 0, 12, 10, 0, 0, 0, 0,
                               nullptr),
            0x202u);
  EXPECT_EQ(instance_->lastLine, 77u);
}

TEST(EngineBDispatchReady, RunsNeedAllThreeSteps) {
  TestLut lut = MakeTestLut();
  HalftoneParams p = MakeParams(3, 0);
  EngineBSession s;
  ASSERT_EQ(HalftoneNewThk(&p, nullptr, lut.get(), nullptr, &s.next, &s.handle), 0u);
  uint8_t pixels[8] = {0};
  uint8_t plane[2] = {0};
  EXPECT_EQ(HalftoneThk(s.handle, pixels, plane, 0, 0, 8, 0, 0, 0, 0, nullptr), 0x300u);
  std::vector<uint8_t> ids = testing::IdListBlock({600, 601});
  ASSERT_EQ(HalftoneSetResourceWithLength(s.handle, ids.data(), ids.size(), &s.next), 0u);
  EXPECT_EQ(HalftoneThk(s.handle, pixels, plane, 0, 0, 8, 0, 0, 0, 0, nullptr), 0x300u);
  ASSERT_EQ(HalftoneSetResourceWithLength(s.handle, nullptr, 0, &s.next), 0u);
  EXPECT_EQ(HalftoneThk(s.handle, pixels, plane, 0, 0, 8, 0, 0, 0, 0, nullptr), 0x300u);
  std::vector<uint8_t> matrix = testing::DefaultMatrixBlock();
  ASSERT_EQ(HalftoneSetResourceWithLength(s.handle, matrix.data(), matrix.size(), &s.next), 0u);
  EXPECT_EQ(HalftoneThk(s.handle, pixels, plane, 0, 0, 8, 0, 0, 0, 0, nullptr), 0u);
}

}  // namespace
}  // namespace vantik::halftone_b
