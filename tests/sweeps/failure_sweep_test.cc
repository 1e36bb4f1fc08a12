// Memory failures at every point of every dialogue: for each service's
// whole dialogue (create, every resource step, translation or halftone
// lines, delete) and for the C++ API's page call, allocation N (and lock N)
// fails for every N from 1 to the number the dialogue makes.  The failing
// step reports the memory code, the instances still delete cleanly, and no
// block stays allocated.
#include <gtest/gtest.h>

#include <functional>

#include "common/tiny_resources.h"
#include "interface/memblock.h"
#include "sweeps/dialogue.h"
#include "vantik/vantik.hpp"

namespace vantik::sweeps {
namespace {

struct OpCase {
  MemOp op;
  uint32_t code;  // what the failing step reports
  const char* name;
};
constexpr OpCase kOps[] = {
    {MemOp::kAlloc, RC_NO_MEMORY, "allocation"},
    {MemOp::kLock, RC_LOCK_FAILED, "lock"},
};

class FailureSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    MemResetFaults();
    baseline_ = MemLiveBlocks();
  }
  void TearDown() override { MemResetFaults(); }

  // Calls of op one clean run of `run` makes.
  static int Calls(MemOp op, const std::function<void()>& run) {
    MemResetFaults();
    run();
    const int n = MemCallCount(op);
    MemResetFaults();
    return n;
  }
  long baseline_ = 0;
};

TEST_F(FailureSweep, ServiceDialogues) {
  // One dialogue per engine and table path of the default set.
  const Combo combos[] = {
      {1, 0, 720, 720, false, 0, false},   // diffusion (engine B), colour
      {1, 1, 1440, 720, false, 0, true},   // diffusion, photo paper, calibrated
      {2, 0, 720, 720, false, 1, false},   // screens (engine A)
      {3, 0, 720, 720, false, 0, false},   // dither (engine B)
      {1, 0, 720, 720, true, 0, false},    // black only
  };
  int runs = 0;
  for (const Combo& c : combos) {
    ASSERT_TRUE(Dialogue(c).Run().complete) << c.Name();
    for (const OpCase& op : kOps) {
      const int total = Calls(op.op, [&] { Dialogue(c).Run(); });
      ASSERT_GT(total, 0) << c.Name();
      for (int n = 1; n <= total; ++n) {
        MemFailNth(op.op, n);
        const Outcome out = Dialogue(c).Run();
        MemResetFaults();
        ++runs;
        const std::string at = c.Name() + ", " + op.name + " " + std::to_string(n) + " of " +
                               std::to_string(total);
        EXPECT_FALSE(out.complete) << at << ": the failure went unreported";
        // Engine A reports any buffer it could not obtain as RC_FAILURE.
        const bool engineA = c.kind == 2 && out.first == RC_FAILURE;
        EXPECT_TRUE(out.first == op.code || engineA) << at << ": " << VantikCodeName(out.first);
        EXPECT_EQ(out.cmDelete, RC_OK) << at;
        EXPECT_EQ(out.htDelete, RC_OK) << at;
        ASSERT_EQ(MemLiveBlocks(), baseline_) << at << ": a block leaked";
      }
    }
  }
  RecordProperty("runs", runs);
}

TEST_F(FailureSweep, PreviewDialogue) {
  ColorAdjustRecord adjust{};
  adjust.field[1] = 10;
  adjust.field[3] = 20;
  int32_t gamma = 180;
  TaggedValuePair pair{1, &gamma};
  TaggedValueList list{1, &pair};
  adjust.field14 = &list;
  struct Result {
    uint32_t first = 0, del = 0;
  };
  auto run = [&](int sharpen) {
    Result r;
    PreviewOptions options{};
    options.mode = sharpen;
    PreviewHandle pv = nullptr;
    r.first = PreviewNewThk(&adjust, nullptr, nullptr, &list, &options, nullptr, 1, &pv);
    if (r.first == 0) {
      std::vector<uint8_t> rgb(3 * 40), out(3 * 40);
      for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
      r.first = PreviewTranslateColorsThk(pv, 40, rgb.data(), out.data(), 0, nullptr);
    }
    if (pv != nullptr) r.del = PreviewDeleteThk(pv);
    return r;
  };
  for (int sharpen = 0; sharpen <= 3; ++sharpen) {
    ASSERT_EQ(run(sharpen).first, RC_OK);
    for (const OpCase& op : kOps) {
      const int total = Calls(op.op, [&] { run(sharpen); });
      for (int n = 1; n <= total; ++n) {
        MemFailNth(op.op, n);
        const Result r = run(sharpen);
        MemResetFaults();
        const std::string at = "sharpen " + std::to_string(sharpen) + ", " + op.name + " " +
                               std::to_string(n) + " of " + std::to_string(total);
        EXPECT_EQ(r.first, op.code) << at << ": " << VantikCodeName(r.first);
        EXPECT_EQ(r.del, RC_OK) << at;
        ASSERT_EQ(MemLiveBlocks(), baseline_) << at << ": a block leaked";
      }
    }
  }
}

// The C++ API from resources to a finished page: every failure reaches the
// caller as a failed Status carrying the memory code, and the objects'
// destructors release everything.
TEST_F(FailureSweep, PageThroughTheCppApi) {
  const ResourceSet set = testing::TinyResources();
  auto page = [&](int kind) -> Status {
    ColorSettings s;
    s.paper = 8;  // PLAIN in the small set's paper list
    s.halftone.kind = kind;
    s.halftone.lineWidth = 24;
    auto matcher = ColorMatcher::Create(s, set);
    if (!matcher.ok()) return matcher.status();
    auto halftoner = Halftoner::Create(*matcher, set);
    if (!halftoner.ok()) return halftoner.status();
    RowSource source = [](int y, std::span<uint8_t> rgb) {
      for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 11 + y);
      return Status::Ok();
    };
    PlaneSink sink = [](int, std::span<const std::span<const uint8_t>>) { return Status::Ok(); };
    return RenderPage(*halftoner, PageGeometry{5, 4, 24, 9}, source, sink);
  };
  for (int kind : {1, 3}) {
    ASSERT_TRUE(page(kind).ok()) << page(kind).ToString();
    for (const OpCase& op : kOps) {
      const int total = Calls(op.op, [&] { (void)page(kind); });
      ASSERT_GT(total, 0);
      for (int n = 1; n <= total; ++n) {
        MemFailNth(op.op, n);
        const Status s = page(kind);
        MemResetFaults();
        const std::string at = "kind " + std::to_string(kind) + ", " + op.name + " " +
                               std::to_string(n) + " of " + std::to_string(total);
        EXPECT_EQ(s.code(), op.code) << at << ": " << s.ToString();
        EXPECT_FALSE(s.message().empty()) << at;
        ASSERT_EQ(MemLiveBlocks(), baseline_) << at << ": a block leaked";
      }
    }
  }
}

}  // namespace
}  // namespace vantik::sweeps
