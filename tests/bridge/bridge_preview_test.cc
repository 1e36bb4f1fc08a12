// Preview calls replayed through 16-bit frames against the direct entry
// points.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bridge/bridge_state.h"
#include "bridge/bridge_support.h"
#include "preview/preview_support.h"

namespace vantik::test {
namespace {

using BridgePreviewTest = BridgeTest;

struct Bridged {
  uint32_t rc;
  uint32_t handle;  // 0 when none was handed out
};

// PreviewNewThk through stub 11, the records placed in caller memory.
Bridged NewThrough(Memory16& mem, const PreviewSetup& s) {
  int16_t fields[12] = {};
  for (int f = 0; f < 7; ++f) fields[f] = static_cast<int16_t>(s.fields[f]);
  Bytes16 list;
  int32_t pairs = 0;
  Bytes16 body;
  if (s.withGamma) {
    body.U32(1).Far(mem.Put(&s.gamma, 4));
    ++pairs;
  }
  if (s.curves != nullptr) {
    body.U32(256).Far(mem.Put(s.curves, 768));
    ++pairs;
  }
  list.U32(static_cast<uint32_t>(pairs));
  list.b.insert(list.b.end(), body.b.begin(), body.b.end());
  const FarPtr16 listFar = pairs > 0 ? mem.Put(list.b) : 0;
  const FarPtr16 rec = mem.Put(Adjust16(fields, listFar));
  const FarPtr16 opt = mem.Put(Options16(static_cast<int16_t>(s.mode)));
  const FarPtr16 var = mem.Reserve(4);
  std::memset(mem.Flat(var), 0, 4);
  Bytes16 frame;
  frame.Far(rec).Far(0).Far(0).Far(listFar).Far(opt).Far(0);
  frame.Short(static_cast<int16_t>(s.format)).Far(var);
  const uint32_t rc = frame.Call(STUB_PREVIEW_NEW);
  return {rc, mem.U32At(var)};
}

uint32_t TranslateThrough(uint32_t handle, uint16_t count, FarPtr16 src, FarPtr16 dst) {
  return Bytes16{}.U32(handle).Word(count).Far(src).Far(dst).U32(0).Far(0).Call(
      STUB_PREVIEW_TRANSLATE_COLORS);
}

uint32_t DeleteThrough(uint32_t handle) {
  return Bytes16{}.U32(handle).Call(STUB_PREVIEW_DELETE);
}

TEST_F(BridgePreviewTest, ReplayEqualsTheDirectEntryPoints) {
  std::mt19937 rng(99);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  uint8_t curves[768];
  for (uint8_t& c : curves) c = static_cast<uint8_t>(pick(0, 255));

  std::vector<PreviewSetup> setups;
  setups.push_back(PreviewSetup{});
  for (int k = 0; k < 40; ++k) {
    PreviewSetup s;
    for (int f = 1; f < 7; ++f) s.fields[f] = pick(-50, 50);
    s.mode = pick(0, 3);
    s.format = pick(1, 3);
    s.withGamma = pick(0, 1) == 1;
    s.gamma = pick(100, 300);
    if (k % 5 == 0) {
      s.curves = curves;
      s.fields[3] = pick(-300, 300);
      s.mode = pick(-2, 6);
    }
    setups.push_back(s);
  }
  // Refused settings still hand out a handle.
  PreviewSetup refused;
  refused.fields[0] = -1;
  setups.push_back(refused);
  refused = PreviewSetup{};
  refused.format = -1;
  setups.push_back(refused);
  refused = PreviewSetup{};
  refused.withGamma = true;
  refused.gamma = 301;
  setups.push_back(refused);

  for (size_t k = 0; k < setups.size(); ++k) {
    const PreviewSetup& s = setups[k];
    Memory16 mem(0x1234);
    PreviewHandle direct = nullptr;
    const uint32_t directRc = Create(s, &direct);
    const Bridged bridged = NewThrough(mem, s);
    ASSERT_EQ(bridged.rc, directRc & 0xFFFF) << k;
    ASSERT_GE(bridged.handle, bridge::kFirstHandle) << k;

    const uint16_t count = static_cast<uint16_t>(pick(0, 400));
    const int bpp = s.format == 3 ? 4 : 3;
    std::vector<uint8_t> src(size_t{count} * Inst(direct).bytesPerPixel + 4);
    int level = pick(0, 255);
    for (uint8_t& b : src) {
      level = pick(0, 7) == 0 ? pick(0, 255) : std::clamp(level + pick(-9, 9), 0, 255);
      b = static_cast<uint8_t>(level);
    }
    std::vector<uint8_t> want(src.size(), 0x5A);
    ASSERT_EQ(PreviewTranslateColorsThk(direct, count, src.data(), want.data(), 0, nullptr),
              RC_OK);
    const FarPtr16 srcFar = mem.Put(src);
    const FarPtr16 dstFar = mem.Put(std::vector<uint8_t>(src.size(), 0x5A));
    ASSERT_EQ(TranslateThrough(bridged.handle, count, srcFar, dstFar), RC_OK) << k;
    EXPECT_EQ(std::vector<uint8_t>(mem.Flat(dstFar), mem.Flat(dstFar) + src.size()), want)
        << k << " bpp " << bpp;
    // In place, both ways.
    std::vector<uint8_t> wantInPlace = src;
    ASSERT_EQ(PreviewTranslateColorsThk(direct, count, wantInPlace.data(), wantInPlace.data(),
                                        0, nullptr),
              RC_OK);
    ASSERT_EQ(TranslateThrough(bridged.handle, count, srcFar, srcFar), RC_OK);
    EXPECT_EQ(std::vector<uint8_t>(mem.Flat(srcFar), mem.Flat(srcFar) + src.size()),
              wantInPlace)
        << k;

    EXPECT_EQ(PreviewDeleteThk(direct), RC_OK);
    EXPECT_EQ(DeleteThrough(bridged.handle), RC_OK);
    // The handle is gone with its instance.
    EXPECT_EQ(DeleteThrough(bridged.handle), RC_BAD_HANDLE);
  }
}

// Each field of the 36-byte and 6-byte records is sign-extended; the pixel
// count is a word and zero-extended.
TEST_F(BridgePreviewTest, RecordFieldsAreSignExtendedAndTheCountZeroExtended) {
  Memory16 mem(0x0100);
  for (int field = 0; field < 7; ++field) {
    PreviewSetup s;
    s.fields[field] = -1;  // 0xFFFF on the 16-bit side
    s.mode = 3;
    const Bridged b = NewThrough(mem, s);
    EXPECT_EQ(b.rc, field == 0 ? RC_BAD_PARAMETER : RC_OK) << field;
    const auto* inst = static_cast<const preview::PreviewInstance*>(
        bridge::ObjectOf(b.handle, bridge::HandleKind::kPreview));
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(inst->fields[field], -1) << field;
    EXPECT_EQ(inst->mode, 3);
    EXPECT_EQ(DeleteThrough(b.handle), RC_OK);
  }
  PreviewSetup low;
  low.fields[1] = -32768;  // 0x8000: refused as far below -50
  low.mode = -1;
  Bridged b = NewThrough(mem, low);
  EXPECT_EQ(b.rc, RC_BAD_PARAMETER);
  const auto* inst = static_cast<const preview::PreviewInstance*>(
      bridge::ObjectOf(b.handle, bridge::HandleKind::kPreview));
  EXPECT_EQ(inst->fields[1], -32768);
  EXPECT_EQ(inst->mode, -1);
  EXPECT_EQ(DeleteThrough(b.handle), RC_OK);

  // 0x8000 pixels: sign-extended the run would be refused as out of reach.
  b = NewThrough(mem, PreviewSetup{});
  ASSERT_EQ(b.rc, RC_OK);
  const uint16_t count = 0x8000;
  std::vector<uint8_t> src(size_t{count} * 3);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 7);
  const FarPtr16 far = VANTIK_FAR16(0x0200, 0);
  ASSERT_EQ(Bridge16MapSelector(0x0200, src.data(), static_cast<uint32_t>(src.size())), RC_OK);
  const std::vector<uint8_t> before = src;
  EXPECT_EQ(TranslateThrough(b.handle, count, far, far), RC_OK);
  EXPECT_EQ(src, before);  // identity over all 0x8000 pixels
  EXPECT_EQ(TranslateThrough(b.handle, 0xFFFF, far, far), RC_BAD_HANDLE);  // past the memory
  EXPECT_EQ(Bridge16UnmapSelector(0x0200), RC_OK);
  EXPECT_EQ(DeleteThrough(b.handle), RC_OK);
}

// The caller's tagged list is widened up to 16 pairs, each value mapped:
// with 16 the last pair is still read (its gamma makes the preview what the
// direct call with that gamma makes); a 17th pair, or a last value outside
// the caller's memory, refuses the call with 0x400 and hands out nothing.
// A count of 0 or below is an empty list.
TEST_F(BridgePreviewTest, TaggedListsOfUpTo16Pairs) {
  struct Case {
    const char* what;
    int32_t count;    // as written in the list
    int pairs;        // pairs written after it, the gamma pair last
    bool lastUnmapped;
    uint32_t rc;
    bool gamma;       // when accepted: the gamma pair was read
  };
  const Case cases[] = {
      {"16 pairs", 16, 16, false, RC_OK, true},
      {"17 pairs", 17, 17, false, RC_BAD_HANDLE, false},
      {"16 pairs, the last outside the memory", 16, 16, true, RC_BAD_HANDLE, false},
      {"one pair", 1, 1, false, RC_OK, true},
      {"count 0", 0, 1, false, RC_OK, false},
      {"count -1", -1, 1, false, RC_OK, false},
  };
  std::vector<uint8_t> ramp(3 * 256);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i / 3);
  auto direct = [&](bool withGamma) {
    PreviewSetup s;
    s.withGamma = withGamma;
    s.gamma = 200;
    PreviewHandle h = nullptr;
    EXPECT_EQ(Create(s, &h), RC_OK);
    std::vector<uint8_t> out(ramp.size());
    EXPECT_EQ(PreviewTranslateColorsThk(h, 256, ramp.data(), out.data(), 0, nullptr), RC_OK);
    EXPECT_EQ(PreviewDeleteThk(h), RC_OK);
    return out;
  };
  const std::vector<uint8_t> withGamma = direct(true), withoutGamma = direct(false);
  ASSERT_NE(withGamma, withoutGamma);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Memory16 mem(0x0300);
    const int32_t gamma = 200, other = 150;
    const FarPtr16 gammaFar = mem.Put(&gamma, 4), otherFar = mem.Put(&other, 4);
    Bytes16 list;
    list.U32(static_cast<uint32_t>(c.count));
    for (int i = 0; i < c.pairs; ++i) {
      const bool last = i == c.pairs - 1;
      // Keys other than 1 and 256 mean nothing to the preview.
      list.U32(last ? 1 : 77).Far(last ? (c.lastUnmapped ? VANTIK_FAR16(0x0301, 0) : gammaFar)
                                       : otherFar);
    }
    const FarPtr16 listFar = mem.Put(list.b);
    int16_t fields[12] = {};
    const FarPtr16 rec = mem.Put(Adjust16(fields, listFar));
    const FarPtr16 var = mem.Reserve(4);
    std::memset(mem.Flat(var), 0, 4);
    Bytes16 frame;
    frame.Far(rec).Far(0).Far(0).Far(listFar).Far(mem.Put(Options16(0))).Far(0);
    frame.Short(1).Far(var);
    EXPECT_EQ(frame.Call(STUB_PREVIEW_NEW), c.rc);
    EXPECT_EQ(Bridge16FixedMappings(), 0u);
    const uint32_t handle = mem.U32At(var);
    if (c.rc != RC_OK) {
      EXPECT_EQ(handle, 0u);
      continue;
    }
    const FarPtr16 px = mem.Put(ramp);
    ASSERT_EQ(TranslateThrough(handle, 256, px, px), RC_OK);
    EXPECT_EQ(std::vector<uint8_t>(mem.Flat(px), mem.Flat(px) + ramp.size()),
              c.gamma ? withGamma : withoutGamma);
    EXPECT_EQ(DeleteThrough(handle), RC_OK);
  }
}

}  // namespace
}  // namespace vantik::test
