// Halftone bands through the 16-bit frame: the source run and every
// destination plane must lie inside the caller's registered memory, sized by
// what the instance's engine reads and writes for its layout.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bridge/bridge_page.h"
#include "bridge/bridge_state.h"
#include "common/cm_fixtures.h"
#include "common/halftone_a_fixtures.h"
#include "common/tiny_resources.h"

namespace vantik::test::page {
namespace {

using BridgeHalftoneRunTest = BridgeTest;

// Engine A on the hand-made table (screen method `method`).
PageSetup EngineA(int method, int renderMode, int scale) {
  Block table = cmfix::MakeTableBlock(cmfix::TableRecipe{});
  table[64] = 0;  // level table parameters 200 and 300, big-endian
  table[65] = 200;
  table[68] = 300 >> 8;
  table[69] = 300 & 0xFF;
  PageSetup p{"engine A", cmfix::DefaultAdjust(), cmfix::DefaultParams(),
              vantik::testing::ParamsA(renderMode, 1, scale, 256), 0, {}};
  p.blocks = vantik::testing::StandardBlocks(method);
  p.blocks[-2] = ToBlock(cmfix::MakeIndex({{cmfix::MatchingLine(120, 1)}}));
  p.blocks[120] = table;
  return p;
}

// Engine B (kind 1) on the tiny resource set.
PageSetup EngineB(int lutMode, int renderMode, int scale) {
  ColorAdjustRecord a{};
  a.field[8] = 8;
  a.field[kAdjustColorModeB] = 2;
  HalftoneParams h{};
  h.kind = 1;
  h.renderMode = renderMode;
  h.lutMode = lutMode;
  h.horizontalScale = scale;
  h.xResolution = 720;
  h.yResolution = 720;
  h.lineWidth = 256;
  PageSetup p{"engine B", a, h, h, 0, {}};
  const vantik::ResourceSet set = vantik::testing::TinyResources();
  p.blocks[-2] = vantik::testing::Bytes(vantik::testing::TinyIndexText());
  p.blocks[120] = vantik::testing::TinyTable();
  for (int32_t n : {200, 201, 202}) {
    const auto b = set.Find(vantik::Service::kHalftone, n);
    if (b) p.blocks[n] = Block(b->begin(), b->end());
  }
  return p;
}

// Colour matching and a halftone instance made from its CmLut, both
// resource dialogues run to the end through the entry points.
struct Instances {
  CmHandle cm = nullptr;
  HalftoneHandle ht = nullptr;
};
Instances Make(const PageSetup& setup) {
  Instances made;
  int32_t inOut = 0;
  EXPECT_EQ(CmNewThk(&setup.adjust, nullptr, nullptr, nullptr, &setup.cmParams, nullptr,
                     nullptr, &inOut, &made.cm),
            RC_OK);
  Block block = setup.Find(-2);
  while (true) {
    const uint32_t rc = CmSetResourceWithLength(made.cm, block.data(), block.size(), &inOut);
    EXPECT_EQ(rc, RC_OK);
    if (rc != RC_OK || inOut == -1) break;
    block = setup.Find(inOut);
  }
  EXPECT_EQ(HalftoneNewThk(&setup.htParams, nullptr, CmGetLutThk(made.cm), nullptr, &inOut,
                           &made.ht),
            RC_OK);
  while (inOut != -1) {
    block = setup.Find(inOut);
    const uint32_t rc = HalftoneSetResourceWithLength(made.ht, block.data(), block.size(), &inOut);
    EXPECT_EQ(rc, RC_OK);
    if (rc != RC_OK) break;
  }
  return made;
}

constexpr uint16_t kSourceSelector = 0x0D00, kDestinationSelector = 0x0D01;

// One band through the stub, source and destination each alone behind a
// selector that ends where the run ends.
uint32_t BandThrough(uint32_t handle, Block& source, Block& destination, int32_t stride,
                     int16_t firstBit, uint16_t count) {
  EXPECT_EQ(Bridge16MapSelector(kSourceSelector, source.data(),
                                static_cast<uint32_t>(source.size())), RC_OK);
  EXPECT_EQ(Bridge16MapSelector(kDestinationSelector, destination.data(),
                                static_cast<uint32_t>(destination.size())), RC_OK);
  const uint32_t rc = Bytes16{}
                          .U32(handle)
                          .Far(VANTIK_FAR16(kSourceSelector, 0))
                          .Far(VANTIK_FAR16(kDestinationSelector, 0))
                          .U32(static_cast<uint32_t>(stride))
                          .Short(firstBit)
                          .Word(count)
                          .Word(5)
                          .Word(0)
                          .Word(3)
                          .Short(0)
                          .Far(0)
                          .Call(STUB_HALFTONE);
  EXPECT_EQ(Bridge16UnmapSelector(kSourceSelector), RC_OK);
  EXPECT_EQ(Bridge16UnmapSelector(kDestinationSelector), RC_OK);
  return rc;
}

TEST_F(BridgeHalftoneRunTest, BandsMustFitTheCallersMemory) {
  // The bytes each layout really reads and writes, worked out by hand: the
  // source from the pixels the engine reads, the destination from the last
  // plane's start (3 x stride for four planes) plus the bytes from the
  // first bit through the last dot.
  const struct Case {
    const char* what;
    PageSetup setup;
    int16_t firstBit;
    uint16_t count;
    size_t sourceBytes, destinationBytes;
  } cases[] = {
      {"A, method 1, RGB", EngineA(1, 1, 0), 3, 37, 37 * 3, 3 * 16 + 5},
      // Scale -1: 2n entries of two merged pixels each, one dot per entry.
      {"A, method 1, RGB, scale -1", EngineA(1, 1, -1), 0, 37, 4 * 37 * 3, 3 * 16 + 10},
      // Scale 2: 10 dots are 3 entries of 3 dots; xRGB ends at its blue byte.
      {"A, method 2, xRGB, scale 2", EngineA(2, 3, 2), 7, 10, 3 * 4, 3 * 16 + 2},
      // Gray straight to the converter: one plane, one byte a dot.
      {"A, method 9, gray", EngineA(9, 0, 0), 0, 37, 37, 5},
      {"B, colour diffusion", EngineB(1, 3, 0), 3, 37, 37 * 4, 3 * 16 + 5},
      {"B, colour diffusion, scale 1", EngineB(1, 3, 1), 3, 37, 19 * 4, 3 * 16 + 5},
      {"B, colour diffusion, three planes", EngineB(2, 3, 0), 0, 37, 37 * 4, 2 * 16 + 5},
      {"B, one ink, scale -1", EngineB(0, 0, -1), 1, 37, 2 * 37, 5},
  };
  constexpr int32_t kStride = 16;

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The band called directly, with room to spare on both sides.  Engine
    // B's diffusion carries state from band to band, so every band below
    // runs on a fresh instance.
    const Block pixels = PageRgb(static_cast<uint32_t>(c.sourceBytes), 1, 9);
    Block roomy = pixels;
    roomy.resize(c.sourceBytes + 64, 0x33);
    Block want(c.destinationBytes + 64, 0xA5);
    const Instances reference = Make(c.setup);
    ASSERT_NE(reference.ht, nullptr);
    ASSERT_EQ(HalftoneThk(reference.ht, roomy.data(), want.data(), kStride, c.firstBit,
                          c.count, 5, 0, 3, 0, nullptr),
              RC_OK);
    EXPECT_EQ(HalftoneDeleteThk(reference.ht), RC_OK);
    EXPECT_EQ(CmDeleteThk(reference.cm), RC_OK);
    ASSERT_EQ(Block(want.begin() + static_cast<ptrdiff_t>(c.destinationBytes), want.end()),
              Block(64, 0xA5))
        << "the band wrote past the destination bytes worked out for it";
    want.resize(c.destinationBytes);

    const struct Fit {
      const char* what;
      size_t sourceShort, destinationShort;
      uint32_t rc;
    } fits[] = {
        {"both fit exactly", 0, 0, RC_OK},
        {"source one byte short", 1, 0, RC_BAD_HANDLE},
        {"destination one byte short", 0, 1, RC_BAD_HANDLE},
    };
    for (const Fit& f : fits) {
      SCOPED_TRACE(f.what);
      const Instances made = Make(c.setup);
      ASSERT_NE(made.ht, nullptr);
      const uint32_t handle = bridge::HandleFor(made.ht, bridge::HandleKind::kHalftone);
      ASSERT_NE(handle, 0u);
      Block source(pixels.begin(), pixels.end() - static_cast<ptrdiff_t>(f.sourceShort));
      Block destination(c.destinationBytes - f.destinationShort, 0xA5);
      EXPECT_EQ(BandThrough(handle, source, destination, kStride, c.firstBit, c.count), f.rc);
      if (f.rc == RC_OK) {
        EXPECT_EQ(destination, want);
      } else {
        EXPECT_EQ(destination, Block(destination.size(), 0xA5));  // nothing written
      }
      EXPECT_EQ(Bytes16{}.U32(handle).Call(STUB_HALFTONE_DELETE), RC_OK);
      EXPECT_EQ(CmDeleteThk(made.cm), RC_OK);
    }
  }
}

TEST_F(BridgeHalftoneRunTest, RunsThatCannotBeSizedAreRefused) {
  const Instances made = Make(EngineB(1, 3, 0));
  ASSERT_NE(made.ht, nullptr);
  const uint32_t handle = bridge::HandleFor(made.ht, bridge::HandleKind::kHalftone);
  Block source(64 * 4, 0x40), destination(4 * 64, 0xA5);
  // Planes before the destination address lie outside what the caller gave.
  EXPECT_EQ(BandThrough(handle, source, destination, -16, 0, 8), RC_BAD_HANDLE);
  EXPECT_EQ(destination, Block(destination.size(), 0xA5));
  // A null source or destination with dots to make.
  const auto nullBand = [&](bool nullSource, uint16_t count) {
    Bridge16MapSelector(kDestinationSelector, destination.data(),
                        static_cast<uint32_t>(destination.size()));
    Bridge16MapSelector(kSourceSelector, source.data(), static_cast<uint32_t>(source.size()));
    const FarPtr16 src = nullSource ? 0 : VANTIK_FAR16(kSourceSelector, 0);
    const FarPtr16 dst = nullSource ? VANTIK_FAR16(kDestinationSelector, 0) : 0;
    const uint32_t rc = Bytes16{}.U32(handle).Far(src).Far(dst).U32(16).Short(0).Word(count)
                            .Word(0).Word(0).Word(0).Short(0).Far(0).Call(STUB_HALFTONE);
    Bridge16UnmapSelector(kSourceSelector);
    Bridge16UnmapSelector(kDestinationSelector);
    return rc;
  };
  EXPECT_EQ(nullBand(true, 8), RC_BAD_HANDLE);
  EXPECT_EQ(nullBand(false, 8), RC_BAD_HANDLE);
  // An empty run from bit 0 touches neither side, and with no destination
  // the kernel forms no plane address from a null pointer.
  EXPECT_EQ(nullBand(true, 0), RC_OK);
  EXPECT_EQ(nullBand(false, 0), RC_OK);
  // A run the engine refuses anyway keeps the engine's own code.
  EXPECT_EQ(BandThrough(handle, source, destination, 16, 0, 300), RC_BAND_TOO_LARGE);
  EXPECT_EQ(Bytes16{}.U32(handle).Call(STUB_HALFTONE_DELETE), RC_OK);
  EXPECT_EQ(CmDeleteThk(made.cm), RC_OK);
}

}  // namespace
}  // namespace vantik::test::page
