// The caller's tagged list through the 16-bit frames: colour matching reads
// it again long after the creating call has returned, and every record the
// library reads through it must come from the caller's memory.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "bridge/bridge_page.h"
#include "bridge/bridge_state.h"
#include "common/cm_fixtures.h"
#include "preview/preview_support.h"

namespace vantik::test::page {
namespace {

using BridgeTaggedListTest = BridgeTest;

// The blocks of a calibrated colour dialogue, by the number the library
// asks for (the index under -2).
std::map<int32_t, Block> CalibrationBlocks() {
  return {
      {-2, ToBlock(cmfix::MakeIndex({{{120, 301, "K3", "PB", 720, 720, "M4", 1}}}))},
      {120, cmfix::MakeTableBlock(cmfix::TableRecipe{})},
      {980, cmfix::CurveSlotBlock({{0x11, 3, 2, 1, 0}, {0x12, 0, 1, 2, 3}})},
      {990, {50, 40, 60, 52}},
      {900, ToBlock(cmfix::MakeIndex({{{140, 0, "K3", "PB", 720, 720, "M0", 1}}}))},
      {140, cmfix::CurveBlock()},
  };
}

struct Outcome {
  std::vector<uint32_t> codes;
  std::vector<int32_t> inOuts;
  Block inks;  // a run of pixels translated at the end
};

const Block& Pixels() {
  static const Block rgb4 = PageRgb(32, 4, 9);
  return rgb4;
}

// The dialogue through the entry points, the record where the library
// finds it.
Outcome Direct(const Block& record) {
  const auto blocks = CalibrationBlocks();
  Block copy = record;
  TaggedValuePair pair{512, copy.data()};
  TaggedValueList list{1, &pair};
  ColorAdjustRecord adjust = cmfix::DefaultAdjust();
  const HalftoneParams params = cmfix::DefaultParams();
  Outcome out;
  int32_t inOut = 0;
  CmHandle cm = nullptr;
  out.codes.push_back(
      CmNewThk(&adjust, nullptr, nullptr, &list, &params, nullptr, nullptr, &inOut, &cm));
  int32_t next = -2;
  while (true) {
    const Block& b = blocks.at(next);
    out.codes.push_back(CmSetResourceWithLength(cm, b.data(), b.size(), &inOut));
    out.inOuts.push_back(inOut);
    if (out.codes.back() != RC_OK || inOut == -1) break;
    next = inOut;
  }
  out.inks.assign(32 * 4, 0);
  out.codes.push_back(CmTranslateColorsThk(cm, 32, Pixels().data(), out.inks.data(), 0, nullptr));
  out.codes.push_back(CmDeleteThk(cm));
  return out;
}

// The same through the stubs: the record alone behind a selector whose
// memory holds exactly `memory`, the list in the caller's other memory, and
// a call between every two steps of the dialogue.
Outcome Bridged(const Block& memory) {
  const auto blocks = CalibrationBlocks();
  Caller16 caller;
  Memory16& mem = caller.mem();
  auto recordMemory = std::make_unique<Block>(memory);
  EXPECT_EQ(Bridge16MapSelector(0x0D00, recordMemory->data(),
                                static_cast<uint32_t>(recordMemory->size())), RC_OK);
  const FarPtr16 listFar = mem.Put(Bytes16{}.U32(1).U32(512).Far(VANTIK_FAR16(0x0D00, 0)).b);
  const ColorAdjustRecord adjust = cmfix::DefaultAdjust();
  int16_t fields[12];
  for (int f = 0; f < 12; ++f) fields[f] = static_cast<int16_t>(adjust.field[f]);
  const FarPtr16 rec = mem.Put(Adjust16(fields, listFar));
  const FarPtr16 params = mem.Put(Params16(cmfix::DefaultParams()));
  const FarPtr16 inOut = mem.Put(Bytes16{}.Short(0).b);
  const FarPtr16 var = mem.Reserve(4);
  Outcome out;
  out.codes.push_back(Bytes16{}.Far(rec).Far(0).Far(0).Far(listFar).Far(params).Far(0).Far(0)
                          .Far(inOut).Far(var).Call(STUB_CM_NEW));
  const uint32_t cm = mem.U32At(var);
  int32_t next = -2;
  while (true) {
    out.codes.push_back(Bytes16{}.U32(cm).Far(caller.BlockFar(blocks.at(next))).Far(inOut)
                            .Call(STUB_CM_SET_RESOURCE));
    out.inOuts.push_back(InOutAt(mem, inOut));
    if (out.codes.back() != RC_OK || out.inOuts.back() == -1) break;
    next = out.inOuts.back();
    // The caller is free to change its record between calls: what counts
    // is the record as it stood when the instance was made.
    for (uint8_t& b : *recordMemory) b = 0xEE;
  }
  const FarPtr16 src = mem.Put(Pixels());
  const FarPtr16 dst = mem.Put(Block(32 * 4, 0));
  out.codes.push_back(Bytes16{}.U32(cm).Short(32).Far(src).Far(dst).U32(0).Far(0).Call(
      STUB_CM_TRANSLATE_COLORS));
  out.inks.assign(mem.Flat(dst), mem.Flat(dst) + 32 * 4);
  out.codes.push_back(Bytes16{}.U32(cm).Call(STUB_CM_DELETE));
  EXPECT_EQ(Bridge16UnmapSelector(0x0D00), RC_OK);
  return out;
}

// Colour matching looks its calibration record up at the table step and in
// the calibration steps, calls after the one that made the instance: the
// bridge keeps the widened list with the instance.  A record is read no
// further than the caller's memory: one cut short by the end of it is read
// as it stands there, a malformed record, and the table stays uncalibrated.
TEST_F(BridgeTaggedListTest, CalibratedDialogueMatchesTheDirectOne) {
  const Block record = cmfix::CalibrationRecord(0x12, {50, 50, 50, 50});
  Block cut(record.begin(), record.begin() + 6);  // "CW:", key, two levels
  Block asRead = cut;
  asRead.push_back(0);  // the library sees nothing after the caller's memory
  struct Case {
    const char* what;
    Block memory;  // the caller's bytes behind the record's address
    Block direct;  // the record the direct call is given
    int32_t afterTable;
  };
  const Case cases[] = {
      {"record with room after it", [&] { Block b = record; b.resize(200, 0x33); return b; }(),
       record, 980},
      {"record ending where the memory ends", record, record, 980},
      {"record cut by the end of the memory", cut, asRead, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome want = Direct(c.direct);
    ASSERT_GE(want.inOuts.size(), 2u);
    EXPECT_EQ(want.inOuts[1], c.afterTable);
    const Outcome got = Bridged(c.memory);
    EXPECT_EQ(got.codes, want.codes);
    EXPECT_EQ(got.inOuts, want.inOuts);
    EXPECT_EQ(got.inks, want.inks);
  }
  // Calibrated and plain tables differ, so the comparison above sees the
  // calibration.
  EXPECT_NE(Direct(record).inks, Direct(asRead).inks);
}

// Gamma (4 bytes) and the curve table (768 bytes) are read whole: they must
// lie in the caller's memory, or the call is refused with 0x400 and hands
// out nothing.
TEST_F(BridgeTaggedListTest, GammaAndCurvesMustLieInTheCallersMemory) {
  Block curves(768);
  for (size_t i = 0; i < curves.size(); ++i) curves[i] = static_cast<uint8_t>(255 - i % 256);
  const int32_t gamma = 220;
  Block gammaBytes(4);
  std::memcpy(gammaBytes.data(), &gamma, 4);
  struct Case {
    const char* what;
    int32_t key;
    Block memory;  // exactly the caller's bytes behind the value
    uint32_t rc;
  };
  const Case cases[] = {
      {"gamma", 1, gammaBytes, RC_OK},
      {"gamma one byte short", 1, Block(gammaBytes.begin(), gammaBytes.end() - 1), RC_BAD_HANDLE},
      {"curves", 256, curves, RC_OK},
      {"curves one byte short", 256, Block(curves.begin(), curves.end() - 1), RC_BAD_HANDLE},
  };
  const Block rgb = PageRgb(64, 3, 4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PreviewSetup direct;
    direct.mode = 0;
    direct.withGamma = c.key == 1;
    direct.gamma = gamma;
    direct.curves = c.key == 256 ? curves.data() : nullptr;
    PreviewHandle h = nullptr;
    ASSERT_EQ(Create(direct, &h), RC_OK);
    Block want(rgb.size());
    ASSERT_EQ(PreviewTranslateColorsThk(h, 64, rgb.data(), want.data(), 0, nullptr), RC_OK);
    ASSERT_EQ(PreviewDeleteThk(h), RC_OK);

    Memory16 mem(0x0E00);
    Block value = c.memory;
    ASSERT_EQ(Bridge16MapSelector(0x0E01, value.data(), static_cast<uint32_t>(value.size())),
              RC_OK);
    const FarPtr16 listFar = mem.Put(Bytes16{}.U32(1).U32(static_cast<uint32_t>(c.key))
                                         .Far(VANTIK_FAR16(0x0E01, 0)).b);
    int16_t fields[12] = {};
    const FarPtr16 var = mem.Reserve(4);
    std::memset(mem.Flat(var), 0, 4);
    const uint32_t rc = Bytes16{}.Far(mem.Put(Adjust16(fields, listFar))).Far(0).Far(0)
                            .Far(listFar).Far(mem.Put(Options16(0))).Far(0).Short(1).Far(var)
                            .Call(STUB_PREVIEW_NEW);
    EXPECT_EQ(rc, c.rc);
    const uint32_t handle = mem.U32At(var);
    if (c.rc == RC_OK) {
      const FarPtr16 px = mem.Put(rgb);
      ASSERT_EQ(Bytes16{}.U32(handle).Word(64).Far(px).Far(px).U32(0).Far(0).Call(
                    STUB_PREVIEW_TRANSLATE_COLORS),
                RC_OK);
      EXPECT_EQ(Block(mem.Flat(px), mem.Flat(px) + rgb.size()), want);
      EXPECT_EQ(Bytes16{}.U32(handle).Call(STUB_PREVIEW_DELETE), RC_OK);
    } else {
      EXPECT_EQ(handle, 0u);
    }
    EXPECT_EQ(Bridge16UnmapSelector(0x0E01), RC_OK);
  }
}

}  // namespace
}  // namespace vantik::test::page
