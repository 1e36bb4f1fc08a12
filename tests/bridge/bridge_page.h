// A complete page replayed through the 16-bit frames: colour matching with
// its resource dialogue, a halftone instance made from its CmLut, bands of
// raster lines, a preview, and the deletes.  DirectPage and BridgedPage run
// the same page both ways; the tests compare what they produce.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bridge/bridge_support.h"

namespace vantik::test::page {

using Block = std::vector<uint8_t>;

inline Block ToBlock(const std::string& s) { return Block(s.begin(), s.end()); }

// One page set-up: the records, the halftone pixel size and the blocks by
// number.
struct PageSetup {
  const char* name;
  ColorAdjustRecord adjust;
  HalftoneParams cmParams;
  HalftoneParams htParams;
  int htBytesPerPixel;
  std::map<int32_t, Block> blocks;  // the colour-table index under -2
  Block Find(int32_t number) const {
    auto it = blocks.find(number);
    return it == blocks.end() ? Block{} : it->second;
  }
};

inline ColorAdjustRecord WithPreviewSettings(ColorAdjustRecord a) {
  a.field[1] = 10;  // brightness, which the adjustment pass sends through the preview
  a.field[3] = 20;
  return a;
}

// Everything the page produces, to compare the two ways of calling.
struct PageResult {
  std::vector<uint32_t> codes;
  std::vector<int32_t> inOuts;
  Block cmPixels;
  Block planes;
  Block preview;
};

constexpr uint32_t kLinePixels = 64;
constexpr uint32_t kLines = 6;
constexpr int32_t kStride = 8;  // bytes per plane line

inline Block PageRgb(uint32_t pixels, int bpp, uint32_t seed) {
  std::mt19937 rng(seed);
  Block px(size_t{pixels} * bpp);
  for (uint8_t& b : px) b = static_cast<uint8_t>(rng());
  return px;
}

inline PageResult DirectPage(const PageSetup& res) {
  PageResult out;
  const ColorAdjustRecord adjust = res.adjust;
  const HalftoneParams cmParams = res.cmParams;
  int32_t inOut = 7;
  CmHandle cm = nullptr;
  out.codes.push_back(CmNewThk(&adjust, nullptr, nullptr, nullptr, &cmParams, nullptr,
                               nullptr, &inOut, &cm));
  out.inOuts.push_back(inOut);
  Block block = res.Find(-2);
  while (true) {
    out.codes.push_back(CmSetResourceWithLength(cm, block.data(), block.size(), &inOut));
    out.inOuts.push_back(inOut);
    if (out.codes.back() != RC_OK || inOut == -1) break;
    block = res.Find(inOut);
  }
  const Block rgb4 = PageRgb(40, 4, 1);
  out.cmPixels.assign(40 * 4, 0x77);
  out.codes.push_back(CmTranslateColorsThk(cm, 40, rgb4.data(), out.cmPixels.data(), 0, nullptr));

  CmLut* lut = CmGetLutThk(cm);
  const HalftoneParams htParams = res.htParams;
  HalftoneHandle ht = nullptr;
  out.codes.push_back(HalftoneNewThk(&htParams, nullptr, lut, nullptr, &inOut, &ht));
  out.inOuts.push_back(inOut);
  while (out.codes.back() == RC_OK && inOut != -1) {
    block = res.Find(inOut);
    out.codes.push_back(HalftoneSetResourceWithLength(ht, block.data(), block.size(), &inOut));
    out.inOuts.push_back(inOut);
  }
  out.planes.assign(size_t{kLines} * 4 * kStride, 0);
  for (uint32_t y = 0; y < kLines; ++y) {
    const Block line = PageRgb(kLinePixels, res.htBytesPerPixel, 100 + y);
    out.codes.push_back(HalftoneThk(ht, line.data(), out.planes.data() + size_t{y} * 4 * kStride,
                                    kStride, 0, kLinePixels, 0, 0, y, 0, nullptr));
  }

  PreviewOptions options{};
  options.mode = 3;
  PreviewHandle pv = nullptr;
  out.codes.push_back(PreviewNewThk(&adjust, nullptr, nullptr, nullptr, &options, nullptr, 1, &pv));
  const Block rgb3 = PageRgb(50, 3, 2);
  out.preview.assign(rgb3.size(), 0);
  out.codes.push_back(PreviewTranslateColorsThk(pv, 50, rgb3.data(), out.preview.data(), 0, nullptr));
  out.codes.push_back(PreviewDeleteThk(pv));
  out.codes.push_back(HalftoneDeleteThk(ht));
  out.codes.push_back(CmDeleteThk(cm));
  return out;
}

// The 16-bit side of the same page.  Every resource block sits behind a
// selector of its own, exactly as long as the block.
class Caller16 {
 public:
  Caller16() : mem_(0x2000) {}
  FarPtr16 BlockFar(const Block& b) {
    blocks_.push_back(std::make_unique<Block>(b));
    const uint16_t sel = static_cast<uint16_t>(0x3000 + blocks_.size());
    EXPECT_EQ(Bridge16MapSelector(sel, blocks_.back()->data(),
                                  static_cast<uint32_t>(b.size())), RC_OK);
    return VANTIK_FAR16(sel, 0);
  }
  ~Caller16() {
    for (size_t i = 1; i <= blocks_.size(); ++i) {
      Bridge16UnmapSelector(static_cast<uint16_t>(0x3000 + i));
    }
  }
  Memory16& mem() { return mem_; }

 private:
  Memory16 mem_;
  std::vector<std::unique_ptr<Block>> blocks_;
};

inline int32_t InOutAt(Memory16& mem, FarPtr16 far) { return static_cast<int16_t>(mem.U16At(far)); }

// A colour-matching instance made through the stubs from the caller's
// record and parameters, its resource dialogue run with `find(n)` for each
// block n the library asks for, until it answers -1 or refuses.  Every
// return code and in/out value is kept, in call order.
struct CmDialogue {
  uint32_t cm = 0;
  std::vector<uint32_t> codes;
  std::vector<int32_t> inOuts;
};
template <class Find>
CmDialogue CmThroughStubs(Caller16& caller, FarPtr16 rec, FarPtr16 params, FarPtr16 inOut,
                          FarPtr16 var, const Find& find) {
  Memory16& mem = caller.mem();
  CmDialogue d;
  d.codes.push_back(Bytes16{}.Far(rec).Far(0).Far(0).Far(0).Far(params).Far(0).Far(0)
                        .Far(inOut).Far(var).Call(STUB_CM_NEW));
  d.inOuts.push_back(InOutAt(mem, inOut));
  d.cm = mem.U32At(var);
  int32_t next = -2;
  while (true) {
    d.codes.push_back(
        Bytes16{}.U32(d.cm).Far(caller.BlockFar(find(next))).Far(inOut).Call(STUB_CM_SET_RESOURCE));
    d.inOuts.push_back(InOutAt(mem, inOut));
    if (d.codes.back() != RC_OK || d.inOuts.back() == -1) break;
    next = d.inOuts.back();
  }
  return d;
}

inline PageResult BridgedPage(const PageSetup& res, uint16_t* rawMinusOne) {
  PageResult out;
  Caller16 caller;
  Memory16& mem = caller.mem();
  const ColorAdjustRecord adjust = res.adjust;
  int16_t fields[12];
  for (int f = 0; f < 12; ++f) fields[f] = static_cast<int16_t>(adjust.field[f]);
  const FarPtr16 rec = mem.Put(Adjust16(fields));
  const FarPtr16 cmParams = mem.Put(Params16(res.cmParams));
  const FarPtr16 inOut = mem.Put(Bytes16{}.Short(7).b);
  const FarPtr16 var = mem.Reserve(4);

  const CmDialogue dialogue =
      CmThroughStubs(caller, rec, cmParams, inOut, var, [&](int32_t n) { return res.Find(n); });
  out.codes = dialogue.codes;
  out.inOuts = dialogue.inOuts;
  const uint32_t cm = dialogue.cm;
  *rawMinusOne = mem.U16At(inOut);
  const FarPtr16 rgb4 = mem.Put(PageRgb(40, 4, 1));
  const FarPtr16 cmOut = mem.Put(Block(40 * 4, 0x77));
  out.codes.push_back(Bytes16{}.U32(cm).Short(40).Far(rgb4).Far(cmOut).U32(0).Far(0).Call(
      STUB_CM_TRANSLATE_COLORS));
  out.cmPixels.assign(mem.Flat(cmOut), mem.Flat(cmOut) + 40 * 4);

  const uint32_t lut = Bytes16{}.U32(cm).Call(STUB_CM_GET_LUT);
  EXPECT_GE(lut, 0x10000u);  // all 32 bits come back
  const FarPtr16 htParams = mem.Put(Params16(res.htParams));
  out.codes.push_back(Bytes16{}.Far(htParams).Far(0).U32(lut).Far(0).Far(inOut).Far(var).Call(
      STUB_HALFTONE_NEW));
  out.inOuts.push_back(InOutAt(mem, inOut));
  const uint32_t ht = mem.U32At(var);
  while (out.codes.back() == RC_OK && out.inOuts.back() != -1) {
    const Block block = res.Find(out.inOuts.back());
    out.codes.push_back(Bytes16{}.U32(ht).Far(caller.BlockFar(block)).Far(inOut).Call(
        STUB_HALFTONE_SET_RESOURCE));
    out.inOuts.push_back(InOutAt(mem, inOut));
  }
  const FarPtr16 planes = mem.Put(Block(size_t{kLines} * 4 * kStride, 0));
  for (uint32_t y = 0; y < kLines; ++y) {
    const FarPtr16 line = mem.Put(PageRgb(kLinePixels, res.htBytesPerPixel, 100 + y));
    const FarPtr16 dst = planes + y * 4 * kStride;
    out.codes.push_back(Bytes16{}.U32(ht).Far(line).Far(dst).U32(kStride).Short(0)
                            .Word(kLinePixels).Word(0).Word(0).Word(static_cast<uint16_t>(y))
                            .Short(0).Far(0).Call(STUB_HALFTONE));
  }
  out.planes.assign(mem.Flat(planes), mem.Flat(planes) + size_t{kLines} * 4 * kStride);

  const FarPtr16 opt = mem.Put(Options16(3));
  out.codes.push_back(Bytes16{}.Far(rec).Far(0).Far(0).Far(0).Far(opt).Far(0).Short(1).Far(var)
                          .Call(STUB_PREVIEW_NEW));
  const uint32_t pv = mem.U32At(var);
  const FarPtr16 rgb3 = mem.Put(PageRgb(50, 3, 2));
  const FarPtr16 pvOut = mem.Put(Block(150, 0));
  out.codes.push_back(Bytes16{}.U32(pv).Word(50).Far(rgb3).Far(pvOut).U32(0).Far(0).Call(
      STUB_PREVIEW_TRANSLATE_COLORS));
  out.preview.assign(mem.Flat(pvOut), mem.Flat(pvOut) + 150);
  out.codes.push_back(Bytes16{}.U32(pv).Call(STUB_PREVIEW_DELETE));
  out.codes.push_back(Bytes16{}.U32(ht).Call(STUB_HALFTONE_DELETE));
  out.codes.push_back(Bytes16{}.U32(cm).Call(STUB_CM_DELETE));
  // The CmLut handle went with its colour-matching instance.
  EXPECT_EQ(Bytes16{}.Far(htParams).Far(0).U32(lut).Far(0).Far(inOut).Far(var).Call(
                STUB_HALFTONE_NEW),
            RC_BAD_HANDLE);
  return out;
}

// Runs the page both ways and compares everything it produced.
inline void ExpectSamePage(const PageSetup& page) {
  SCOPED_TRACE(page.name);
  const PageResult direct = DirectPage(page);
  // The page itself works: every step succeeds and the dialogues end.
  for (size_t k = 0; k < direct.codes.size(); ++k) {
    ASSERT_EQ(direct.codes[k], RC_OK)
        << "step " << k << " in/outs " << ::testing::PrintToString(direct.inOuts);
  }
  ASSERT_GE(direct.inOuts.size(), 4u);
  EXPECT_EQ(direct.inOuts[0], 0);
  EXPECT_EQ(direct.inOuts[1], 120);
  EXPECT_EQ(direct.inOuts.back(), -1);

  uint16_t rawMinusOne = 0;
  const PageResult bridged = BridgedPage(page, &rawMinusOne);
  EXPECT_EQ(bridged.codes, direct.codes);
  EXPECT_EQ(bridged.inOuts, direct.inOuts);
  EXPECT_EQ(rawMinusOne, 0xFFFF);  // -1 in the caller's short
  EXPECT_EQ(bridged.cmPixels, direct.cmPixels);
  EXPECT_EQ(bridged.planes, direct.planes);
  EXPECT_EQ(bridged.preview, direct.preview);
  // Not a trivial page: some dots were set.
  EXPECT_NE(direct.planes, Block(direct.planes.size(), 0));
}

}  // namespace vantik::test::page
