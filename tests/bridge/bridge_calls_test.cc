// Connection, frame conversion, handles and far addresses of the bridge.
#include <gtest/gtest.h>

#include <vector>

#include "bridge/bridge_state.h"
#include "bridge/bridge_support.h"
#include "bridge/frame.h"
#include "bridge/widen.h"

namespace vantik::test {
namespace {

// Frame sizes of the stubs, in index order.
constexpr uint32_t kFrameBytes[STUB_COUNT] = {4, 32, 12, 24, 4, 22, 4, 12, 36, 22, 4, 30};

TEST(BridgeConnectTest, CallsNeedTheConnection) {
  const std::vector<uint8_t> zeros(36, 0);
  for (uint32_t i = 0; i < STUB_COUNT; ++i) {
    EXPECT_EQ(Bridge16Call(i, zeros.data(), kFrameBytes[i]), RC_NOT_CONNECTED) << i;
  }
  EXPECT_EQ(Bridge16Connect("VANTIK16.DLL", "OTHER.DLL"), 0);
  EXPECT_EQ(Bridge16Connect(nullptr, "VANTIK32.DLL"), 0);
  EXPECT_EQ(Bridge16Connect("VANTIK32.DLL", "VANTIK16.DLL"), 0);
  EXPECT_EQ(Bridge16Call(STUB_PREVIEW_DELETE, zeros.data(), 4), RC_NOT_CONNECTED);
  EXPECT_EQ(Bridge16Connect("vantik16.dll", "Vantik32.DLL"), 1);
  EXPECT_EQ(Bridge16Call(STUB_PREVIEW_DELETE, zeros.data(), 4), RC_BAD_HANDLE);
  Bridge16Disconnect();
  EXPECT_EQ(Bridge16Call(STUB_PREVIEW_DELETE, zeros.data(), 4), RC_NOT_CONNECTED);
}

using BridgeCallTest = BridgeTest;

TEST_F(BridgeCallTest, FramesOfTheWrongSizeOrIndexAreRefused) {
  const std::vector<uint8_t> zeros(40, 0);
  for (uint32_t i = 0; i < STUB_COUNT; ++i) {
    EXPECT_EQ(Bridge16Call(i, zeros.data(), kFrameBytes[i] - 2), RC_BAD_PARAMETER) << i;
    EXPECT_EQ(Bridge16Call(i, zeros.data(), kFrameBytes[i] + 2), RC_BAD_PARAMETER) << i;
    EXPECT_EQ(Bridge16Call(i, nullptr, kFrameBytes[i]), RC_BAD_PARAMETER) << i;
  }
  EXPECT_EQ(Bridge16Call(STUB_COUNT, zeros.data(), 4), RC_BAD_PARAMETER);
}

TEST(BridgeWidenTest, ShortsSignExtendAndTheWordZeroExtends) {
  const uint16_t patterns[] = {0xFFFF, 0x8000, 0x7FFF, 0x0001};
  for (uint16_t v : patterns) {
    const int32_t s = static_cast<int16_t>(v);
    Bytes16 adjust;
    for (int f = 0; f < 12; ++f) adjust.U16(v);
    adjust.Far(0x11112222).Far(0x33334444).Far(0x55556666);
    ColorAdjustRecord a;
    bridge::WidenAdjust(adjust.b.data(), &a);
    for (int f = 0; f < 12; ++f) EXPECT_EQ(a.field[f], s) << f;
    EXPECT_EQ(a.field14, nullptr);  // replaced by the entry point's argument

    Bytes16 params;
    for (int f = 0; f < 10; ++f) params.U16(v);
    params.Far(0x77778888);
    HalftoneParams p;
    bridge::WidenParams(params.b.data(), &p);
    const int32_t fields[9] = {p.kind,         p.variant,       p.renderMode,
                               p.lutMode,      p.xResolution,   p.yResolution,
                               p.engineField7, p.horizontalScale, p.engineField9};
    for (int32_t f : fields) EXPECT_EQ(f, s);
    EXPECT_EQ(p.lineWidth, uint32_t{v});

    PreviewOptions o;
    bridge::WidenOptions(Bytes16{}.U16(v).Far(0).b.data(), &o);
    EXPECT_EQ(o.mode, s);
  }
}

TEST_F(BridgeCallTest, InOutShortsGoBackAsTheirLow16Bits) {
  Memory16 mem(0x0777);
  const FarPtr16 a = mem.Put(Bytes16{}.Short(-2).b);
  const FarPtr16 b = mem.Put(Bytes16{}.Short(300).b);
  const std::vector<uint8_t> args = Bytes16{}.Far(a).Far(b).Far(0).b;
  {
    bridge::Frame f(args.data(), static_cast<uint32_t>(args.size()));
    int32_t* first = f.InOut(f.Far());
    int32_t* second = f.InOut(f.Far());
    EXPECT_EQ(f.InOut(f.Far()), nullptr);  // a null far arrives as null
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(*first, -2);
    EXPECT_EQ(*second, 300);
    EXPECT_EQ(Bridge16FixedMappings(), 2u);
    *first = -1;
    *second = 0x12345;
  }
  EXPECT_EQ(Bridge16FixedMappings(), 0u);
  EXPECT_EQ(mem.U16At(a), 0xFFFF);  // read back as -1 by a signed caller
  EXPECT_EQ(mem.U16At(b), 0x2345);
}

// Every stub that takes an instance, given a handle the table does not know.
TEST_F(BridgeCallTest, UnknownHandlesAreRefused) {
  Memory16 mem(0x0900);
  const FarPtr16 buf = mem.Reserve(64);
  const FarPtr16 inOut = mem.Reserve(4);
  for (uint32_t handle : {0u, 1u, 0xFFFFu, 0x10000u, 0xDEADBEEFu}) {
    const struct { uint32_t index; std::vector<uint8_t> frame; } calls[] = {
        {STUB_HALFTONE_DELETE, Bytes16{}.U32(handle).b},
        {STUB_HALFTONE, Bytes16{}.U32(handle).Far(buf).Far(buf).U32(8).Short(0).Word(1)
                            .Word(0).Word(0).Word(0).Short(0).Far(0).b},
        {STUB_HALFTONE_SET_RESOURCE, Bytes16{}.U32(handle).Far(buf).Far(inOut).b},
        {STUB_CM_GET_LUT, Bytes16{}.U32(handle).b},
        {STUB_CM_TRANSLATE_COLORS, Bytes16{}.U32(handle).Short(1).Far(buf).Far(buf).U32(0).Far(0).b},
        {STUB_CM_DELETE, Bytes16{}.U32(handle).b},
        {STUB_CM_SET_RESOURCE, Bytes16{}.U32(handle).Far(buf).Far(inOut).b},
        {STUB_PREVIEW_TRANSLATE_COLORS,
         Bytes16{}.U32(handle).Word(1).Far(buf).Far(buf).U32(0).Far(0).b},
        {STUB_PREVIEW_DELETE, Bytes16{}.U32(handle).b},
        // HalftoneNewThk with an unknown CmLut handle.
        {STUB_HALFTONE_NEW, Bytes16{}.Far(buf).Far(0).U32(handle == 0 ? 5 : handle).Far(0)
                                .Far(inOut).Far(buf).b},
    };
    for (const auto& c : calls) {
      EXPECT_EQ(Bytes16{c.frame}.Call(c.index), RC_BAD_HANDLE)
          << "stub " << c.index << " handle " << handle;
    }
  }
}

TEST_F(BridgeCallTest, HandlesOfAnotherServiceAreUnknown) {
  Memory16 mem(0x0901);
  int16_t fields[12] = {};
  const FarPtr16 var = mem.Reserve(4);
  ASSERT_EQ(Bytes16{}
                .Far(mem.Put(Adjust16(fields)))
                .Far(0).Far(0).Far(0)
                .Far(mem.Put(Options16(0)))
                .Far(0).Short(1).Far(var)
                .Call(STUB_PREVIEW_NEW),
            RC_OK);
  const uint32_t handle = mem.U32At(var);
  EXPECT_EQ(Bytes16{}.U32(handle).Call(STUB_CM_DELETE), RC_BAD_HANDLE);
  EXPECT_EQ(Bytes16{}.U32(handle).Call(STUB_HALFTONE_DELETE), RC_BAD_HANDLE);
  EXPECT_EQ(Bytes16{}.U32(handle).Call(STUB_CM_GET_LUT), RC_BAD_HANDLE);
  EXPECT_EQ(Bytes16{}.U32(handle).Call(STUB_PREVIEW_DELETE), RC_OK);
}

TEST_F(BridgeCallTest, NullAndUnreachableFarAddresses) {
  Memory16 mem(0x0A00, 0x100);
  int16_t fields[12] = {};
  const FarPtr16 rec = mem.Put(Adjust16(fields));
  const FarPtr16 opt = mem.Put(Options16(0));
  const FarPtr16 var = mem.Reserve(4);
  auto newFrame = [&](FarPtr16 r, FarPtr16 list, FarPtr16 o, FarPtr16 v) {
    return Bytes16{}.Far(r).Far(0).Far(0).Far(list).Far(o).Far(0).Short(1).Far(v);
  };
  struct Case {
    const char* what;
    Bytes16 frame;
    uint32_t rc;
  };
  // A list of 10 pairs whose count sits 8 bytes before the end.
  const FarPtr16 longList = VANTIK_FAR16(0x0A00, 0xF8);
  mem.Flat(longList)[0] = 10;
  std::memset(mem.Flat(longList) + 1, 0, 3);
  const Case cases[] = {
      {"null record", newFrame(0, 0, opt, var), RC_BAD_PARAMETER},
      {"null options", newFrame(rec, 0, 0, var), RC_BAD_PARAMETER},
      {"null instance variable", newFrame(rec, 0, opt, 0), RC_BAD_PARAMETER},
      {"unknown selector", newFrame(VANTIK_FAR16(0x0A01, 0), 0, opt, var), RC_BAD_HANDLE},
      {"offset past the end", newFrame(VANTIK_FAR16(0x0A00, 0x100), 0, opt, var), RC_BAD_HANDLE},
      {"record crossing the end", newFrame(VANTIK_FAR16(0x0A00, 0xF0), 0, opt, var),
       RC_BAD_HANDLE},
      {"list running past the end", newFrame(rec, longList, opt, var), RC_BAD_HANDLE},
      {"selector 0 with an offset", newFrame(rec, 0, VANTIK_FAR16(0, 4), var), RC_BAD_HANDLE},
  };
  for (const Case& c : cases) {
    std::memset(mem.Flat(var), 0, 4);
    EXPECT_EQ(c.frame.Call(STUB_PREVIEW_NEW), c.rc) << c.what;
    EXPECT_EQ(mem.U32At(var), 0u) << c.what;  // nothing handed out
    EXPECT_EQ(Bridge16FixedMappings(), 0u) << c.what;
  }

  ASSERT_EQ(newFrame(rec, 0, opt, var).Call(STUB_PREVIEW_NEW), RC_OK);
  const uint32_t h = mem.U32At(var);
  const FarPtr16 px = mem.Reserve(12);
  auto translate = [&](uint16_t count, FarPtr16 src, FarPtr16 dst) {
    return Bytes16{}.U32(h).Word(count).Far(src).Far(dst).U32(0).Far(0).Call(
        STUB_PREVIEW_TRANSLATE_COLORS);
  };
  EXPECT_EQ(translate(1, 0, px), RC_BAD_PARAMETER);  // null source, one pixel
  EXPECT_EQ(translate(1, px, 0), RC_BAD_PARAMETER);
  EXPECT_EQ(translate(0, 0, 0), RC_OK);
  EXPECT_EQ(translate(4, px, px), RC_OK);
  EXPECT_EQ(translate(100, px, px), RC_BAD_HANDLE);  // run beyond the memory
  EXPECT_EQ(Bytes16{}.U32(h).Call(STUB_PREVIEW_DELETE), RC_OK);
}

TEST_F(BridgeCallTest, PreviewDeleteRefusedByTheAllocatorCanBeRetried) {
  Memory16 mem(0x0B00);
  int16_t fields[12] = {};
  const FarPtr16 var = mem.Reserve(4);
  const Bytes16 create = Bytes16{}
                             .Far(mem.Put(Adjust16(fields)))
                             .Far(0).Far(0).Far(0)
                             .Far(mem.Put(Options16(0)))
                             .Far(0).Short(1).Far(var);
  ASSERT_EQ(create.Call(STUB_PREVIEW_NEW), RC_OK);
  const uint32_t h = mem.U32At(var);
  MemFailNth(MemOp::kFree, 1);
  EXPECT_EQ(Bytes16{}.U32(h).Call(STUB_PREVIEW_DELETE), RC_FREE_FAILED);
  MemResetFaults();
  EXPECT_EQ(Bytes16{}.U32(h).Call(STUB_PREVIEW_DELETE), RC_OK);
}

// When the handle table is full the new instance is deleted again.
TEST_F(BridgeCallTest, FullHandleTable) {
  Memory16 mem(0x0B01);
  int16_t fields[12] = {};
  const FarPtr16 var = mem.Reserve(4);
  const Bytes16 create = Bytes16{}
                             .Far(mem.Put(Adjust16(fields)))
                             .Far(0).Far(0).Far(0)
                             .Far(mem.Put(Options16(0)))
                             .Far(0).Short(1).Far(var);
  std::vector<uint32_t> handles;
  uint32_t rc = RC_OK;
  while ((rc = create.Call(STUB_PREVIEW_NEW)) == RC_OK && handles.size() < 10000) {
    handles.push_back(mem.U32At(var));
  }
  EXPECT_EQ(rc, RC_NO_MEMORY);
  EXPECT_GE(handles.size(), 16u);
  EXPECT_EQ(MemLiveBlocks(), live_ + static_cast<long>(handles.size()));
  for (uint32_t h : handles) EXPECT_EQ(Bytes16{}.U32(h).Call(STUB_PREVIEW_DELETE), RC_OK);
}

// One call maps at most 48 far addresses (the most a stub asks for is 25:
// colour matching's creation with a 16-pair list): the 48th is mapped, the
// 49th marks the frame bad, and the end of the call releases them all.
TEST_F(BridgeCallTest, OneCallMapsAtMost48FarAddresses) {
  Memory16 mem(0x0C00, 0x100);
  const uint8_t args[4] = {};
  bridge::Frame f(args, sizeof args);
  for (uint16_t i = 0; i < bridge::Frame::kMaxMappings; ++i) {
    ASSERT_EQ(f.Map(VANTIK_FAR16(0x0C00, i), 1), mem.Flat(VANTIK_FAR16(0x0C00, i))) << i;
  }
  EXPECT_FALSE(f.bad());
  EXPECT_EQ(Bridge16FixedMappings(), 48u);
  EXPECT_EQ(f.Map(VANTIK_FAR16(0x0C00, 48), 1), nullptr);
  EXPECT_TRUE(f.bad());
  EXPECT_EQ(Bridge16FixedMappings(), 48u);
  f.Finish();
  EXPECT_EQ(Bridge16FixedMappings(), 0u);
}

TEST_F(BridgeCallTest, SelectorTable) {
  uint8_t bytes[4];
  EXPECT_EQ(Bridge16MapSelector(0, bytes, 4), RC_BAD_PARAMETER);
  EXPECT_EQ(Bridge16MapSelector(7, nullptr, 4), RC_BAD_PARAMETER);
  EXPECT_EQ(Bridge16UnmapSelector(7), RC_BAD_HANDLE);
  EXPECT_EQ(Bridge16MapSelector(7, bytes, 4), RC_OK);
  EXPECT_EQ(Bridge16UnmapSelector(7), RC_OK);
}

}  // namespace
}  // namespace vantik::test
