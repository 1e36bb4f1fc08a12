// Colour translation through the 16-bit frame: the source and destination
// runs must lie wholly inside the caller's registered memory.
#include <gtest/gtest.h>

#include <vector>

#include "bridge/bridge_page.h"
#include "bridge/bridge_state.h"
#include "common/cm_fixtures.h"

namespace vantik::test::page {
namespace {

using BridgeCmTranslateTest = BridgeTest;

// A colour-matching instance made through the stubs, its resource dialogue
// run to the end with the hand-made index and a table of `channels` bytes
// per node.  Returns the caller's handle.
uint32_t CmThrough(Caller16& caller, int32_t renderMode, int channels) {
  Memory16& mem = caller.mem();
  const ColorAdjustRecord adjust = cmfix::DefaultAdjust();
  int16_t fields[12];
  for (int f = 0; f < 12; ++f) fields[f] = static_cast<int16_t>(adjust.field[f]);
  HalftoneParams params = cmfix::DefaultParams();
  params.renderMode = renderMode;
  cmfix::TableRecipe recipe;
  recipe.w = channels;
  const std::map<int32_t, Block> blocks = {
      {-2, ToBlock(cmfix::MakeIndex({{cmfix::MatchingLine(120, 1)}}))},
      {120, cmfix::MakeTableBlock(recipe)},
  };
  const CmDialogue d = CmThroughStubs(
      caller, mem.Put(Adjust16(fields)), mem.Put(Params16(params)), mem.Put(Bytes16{}.Short(7).b),
      mem.Reserve(4), [&](int32_t n) {
        const auto it = blocks.find(n);
        if (it != blocks.end()) return it->second;
        ADD_FAILURE() << "unexpected block " << n;
        return Block{};
      });
  for (uint32_t rc : d.codes) EXPECT_EQ(rc, RC_OK);
  EXPECT_EQ(d.inOuts.back(), -1) << "the dialogue ends";
  return d.cm;
}

TEST_F(BridgeCmTranslateTest, RunsMustFitTheCallersMemory) {
  // Source and destination pixels of different sizes, both ways round, so a
  // check that sized one run by the other's layout would show.
  const struct Layout {
    int32_t renderMode;
    size_t sourceBytes;  // bytes per input pixel of that render mode
    int channels;        // bytes per output pixel
  } layouts[] = {{1, 3, 4}, {2, 3, 4}, {3, 4, 2}};
  const struct Case {
    const char* what;
    size_t sourceShort, destinationShort;  // bytes missing from each run
    uint32_t rc;
  } cases[] = {
      {"both runs fit exactly", 0, 0, RC_OK},
      {"source one byte short", 1, 0, RC_BAD_HANDLE},
      {"destination one byte short", 0, 1, RC_BAD_HANDLE},
  };
  constexpr int16_t kCount = 37;
  constexpr uint16_t kSourceSelector = 0x0C00, kDestinationSelector = 0x0C01;

  for (const Layout& l : layouts) {
    Caller16 caller;
    const uint32_t cm = CmThrough(caller, l.renderMode, l.channels);
    void* instance = bridge::ObjectOf(cm, bridge::HandleKind::kCm);
    ASSERT_NE(instance, nullptr) << "render mode " << l.renderMode;
    const size_t destinationRun = kCount * static_cast<size_t>(l.channels);
    const Block rgb = PageRgb(kCount, static_cast<int>(l.sourceBytes), 5);
    Block want(destinationRun, 0xA5);
    ASSERT_EQ(CmTranslateColorsThk(instance, kCount, rgb.data(), want.data(), 0, nullptr),
              RC_OK);
    ASSERT_NE(want, Block(destinationRun, 0xA5));

    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.what << ", render mode " << l.renderMode);
      // Each run alone behind its selector, ending where the memory ends.
      Block source(rgb.begin(), rgb.end() - static_cast<ptrdiff_t>(c.sourceShort));
      Block destination(destinationRun - c.destinationShort, 0xA5);
      ASSERT_EQ(Bridge16MapSelector(kSourceSelector, source.data(),
                                    static_cast<uint32_t>(source.size())), RC_OK);
      ASSERT_EQ(Bridge16MapSelector(kDestinationSelector, destination.data(),
                                    static_cast<uint32_t>(destination.size())), RC_OK);
      const uint32_t rc = Bytes16{}
                              .U32(cm)
                              .Short(kCount)
                              .Far(VANTIK_FAR16(kSourceSelector, 0))
                              .Far(VANTIK_FAR16(kDestinationSelector, 0))
                              .U32(0)
                              .Far(0)
                              .Call(STUB_CM_TRANSLATE_COLORS);
      EXPECT_EQ(rc, c.rc);
      if (c.rc == RC_OK) {
        EXPECT_EQ(destination, want);
      } else {
        EXPECT_EQ(destination, Block(destination.size(), 0xA5));  // nothing written
      }
      EXPECT_EQ(Bridge16UnmapSelector(kSourceSelector), RC_OK);
      EXPECT_EQ(Bridge16UnmapSelector(kDestinationSelector), RC_OK);
    }
    EXPECT_EQ(Bytes16{}.U32(cm).Call(STUB_CM_DELETE), RC_OK);
  }
}

}  // namespace
}  // namespace vantik::test::page
