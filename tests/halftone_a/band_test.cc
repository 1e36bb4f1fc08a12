// The band call: entry counts, the dithered grid lookup and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <random>

#include "common/halftone_a_fixtures.h"
#include "halftone_a/instance_a.h"
#include "halftone_a/screen_tables.h"
#include "interface/memblock.h"

namespace vantik::halftone_a {
namespace {

using namespace vantik::testing;

TEST(EntryCountTest, FollowsTheHorizontalScale) {
  struct Case { int32_t s; uint32_t n; uint64_t entries; uint32_t reps; };
  const Case cases[] = {
      {0, 10, 10, 1},  {2, 10, 3, 3},   {1, 7, 3, 2},   {-1, 10, 20, 1},
      {-5, 3, 6, 1},   {3, 3, 0, 4},    {INT_MAX, UINT_MAX, 1, 2147483648u},
      {INT_MIN, UINT_MAX, 2ull * UINT_MAX, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EntryCount(c.s, c.n), c.entries) << c.s << " " << c.n;
    EXPECT_EQ(RepeatCount(c.s), c.reps) << c.s;
  }
}

// An instance of the 2-node complement grid (so the grid entry at node
// indices i0, i1, i2 holds 255 - N[24 - i] per channel, which is N[i] but
// for the middle node, and black the least of them), method 2,
// matrix 3 a single threshold of 1, and the given matrix 2.
struct Rig {
  LutFixture lut{2, LutFixture::Complement, 200, 300, 1};
  std::unique_ptr<EngineA> engine;

  Rig(int mode, int scale, uint32_t width, const std::vector<uint8_t>& matrix2,
      int phase = 0) {
    engine = std::make_unique<EngineA>(ParamsA(mode, 1, scale, width), &lut.lut);
    Blocks b;
    b[300] = Bytes(ScreenText({ScreenRow(1, 2, 0, 302, 303, phase)}));
    b[302] = matrix2;
    b[303] = MatrixBlock(1, 1, {1});
    EXPECT_EQ(engine->Load(b), RC_OK);
  }
  HalftoneAInstance& inst() { return *static_cast<HalftoneAInstance*>(engine->handle); }
  std::vector<uint8_t> Entry(int i) {
    const uint8_t* p = inst().lineBuffer + 4 * i;
    return {p[0], p[1], p[2], p[3]};
  }
};

const std::vector<uint8_t> kLight = {11, 11, 11, 11};  // node 1 on every axis
const std::vector<uint8_t> kWhite = {0, 0, 0, 0};
const std::vector<uint8_t> kBlack = {255, 255, 255, 255};

std::vector<uint8_t> Pixels(std::initializer_list<int> levels, int repeat = 1) {
  std::vector<uint8_t> out;
  for (int r = 0; r < repeat; ++r)
    for (int v : levels) out.push_back(static_cast<uint8_t>(v));
  return out;
}

TEST(BandConversionTest, ScaleTwoConvertsThreeEntriesStepsThreeColumnsDropsTheTail) {
  // Level 250 inverts to 5: cell 0, fraction 115.  Threshold 10 lifts it to
  // node 1, 200 leaves it at node 0.  Columns 0, 3, 6 hold 10.
  Rig rig(1, 2, 16, MatrixBlock(8, 1, {10, 200, 200, 10, 200, 200, 10, 200}));
  const std::vector<uint8_t> src = Pixels({250, 250, 250}, 10);
  std::vector<uint8_t> planes(4 * 2, 0xFF);
  ASSERT_EQ(rig.engine->Band(src.data(), planes.data(), 2, 0, 10, 0, 0), RC_OK);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rig.Entry(i), kLight) << i;
  EXPECT_EQ(rig.Entry(3), kWhite);  // only three entries
  // Ink 3 = 11 >= threshold 1: nine dots on plane 3, the tenth not written.
  EXPECT_EQ(planes[6], 0xFF);
  EXPECT_EQ(planes[7], 0x80);
  EXPECT_EQ(planes[0], 0x00);
  EXPECT_EQ(planes[1], 0x00);
}

TEST(BandConversionTest, ColumnRestartsAtZeroNotAtTheRemainder) {
  // x = 6, step 3: columns 6, then 0 (not 1), then 3.
  Rig rig(1, 2, 16, MatrixBlock(8, 1, {10, 200, 200, 10, 200, 200, 10, 200}));
  const std::vector<uint8_t> src = Pixels({250, 250, 250}, 3);
  std::vector<uint8_t> planes(8, 0);
  ASSERT_EQ(rig.engine->Band(src.data(), planes.data(), 2, 0, 9, 6, 0), RC_OK);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rig.Entry(i), kLight) << i;
}

TEST(BandConversionTest, RowAndPhaseChooseTheThreshold) {
  // Phase -1 is 65535 as an unsigned 16-bit number: 65535 mod 7 = 1, while
  // a 32-bit -1 would give column 3.
  std::vector<uint8_t> cells(14, 200);
  cells[1] = 10;       // row 0, column 1
  cells[7 + 2] = 10;   // row 1, column 2
  Rig rig(1, 0, 8, MatrixBlock(7, 2, cells), -1);
  const std::vector<uint8_t> src = Pixels({250, 250, 250}, 2);
  std::vector<uint8_t> planes(8, 0);
  ASSERT_EQ(rig.engine->Band(src.data(), planes.data(), 2, 0, 2, 0, 0), RC_OK);
  EXPECT_EQ(rig.Entry(0), kLight);
  EXPECT_EQ(rig.Entry(1), kWhite);
  ASSERT_EQ(rig.engine->Band(src.data(), planes.data(), 2, 0, 2, 0, 3), RC_OK);  // row 1
  EXPECT_EQ(rig.Entry(0), kWhite);
  EXPECT_EQ(rig.Entry(1), kLight);
}

TEST(BandConversionTest, NegativeScaleMergesPairsIntoTheDarkerAndMakesTwoNEntries) {
  Rig rig(1, -1, 8, MatrixBlock(1, 1, {10}));
  const std::vector<uint8_t> src = {250, 250, 250, 255, 255, 255,   // -> 250
                                    255, 255, 255, 255, 255, 255,   // -> 255
                                    255, 250, 255, 250, 255, 250,   // -> 250
                                    0, 255, 255, 255, 0, 0};        // -> 0
  std::vector<uint8_t> planes(8, 0);
  ASSERT_EQ(rig.engine->Band(src.data(), planes.data(), 2, 0, 2, 0, 0), RC_OK);
  EXPECT_EQ(rig.Entry(0), kLight);
  EXPECT_EQ(rig.Entry(1), kWhite);
  EXPECT_EQ(rig.Entry(2), kLight);
  EXPECT_EQ(rig.Entry(3), kBlack);
  EXPECT_EQ(rig.Entry(4), kWhite);  // 2n = 4 entries only
  EXPECT_EQ(planes[6], 0xB0);       // four dots: plane 3 where ink 3 >= 1
}

TEST(BandConversionTest, ThresholdZeroKeepsTheIndexInsideTheGrid) {
  // Black inverts to 255: cell 24, fraction 0; threshold 0 would lift it to
  // node 25.  It stays on node 24.  White (fraction 0 in cell 0) moves up.
  Rig rig(1, 0, 8, MatrixBlock(1, 1, {0}));
  const std::vector<uint8_t> src = {0, 0, 0, 255, 255, 255, 0, 255, 0};
  std::vector<uint8_t> planes(8, 0);
  ASSERT_EQ(rig.engine->Band(src.data(), planes.data(), 2, 0, 3, 0, 0), RC_OK);
  EXPECT_EQ(rig.Entry(0), kBlack);
  EXPECT_EQ(rig.Entry(1), kLight);
  EXPECT_EQ(rig.Entry(2), (std::vector<uint8_t>{255, 11, 255, 11}));
}

TEST(BandConversionTest, ChannelOnANodeStaysForEveryPositiveThreshold) {
  for (int t : {1, 100, 255}) {
    Rig rig(1, 0, 8, MatrixBlock(1, 1, {static_cast<uint8_t>(t)}));
    const std::vector<uint8_t> src = {244, 128, 11};  // inverted 11, 127, 244
    std::vector<uint8_t> planes(8, 0);
    ASSERT_EQ(rig.engine->Band(src.data(), planes.data(), 2, 0, 1, 0, 0), RC_OK);
    // 127 lies in cell 11 (fraction 231): lifted to node 12 (255 - N[12] =
    // 127) only when t <= 231, else node 11 (255 - N[13] = 117).
    const uint8_t g = t <= 231 ? 127 : 117;
    const uint8_t k = 11;
    EXPECT_EQ(rig.Entry(0), (std::vector<uint8_t>{11, g, 244, k})) << t;
  }
}

TEST(BandConversionTest, PixelFormatsReadTheirChannelOffsets) {
  struct Case { int mode; std::vector<uint8_t> pixel; };
  const Case cases[] = {{1, {250, 255, 255}}, {2, {255, 255, 250}}, {3, {0, 250, 255, 255}}};
  for (const Case& c : cases) {
    Rig rig(c.mode, 0, 8, MatrixBlock(1, 1, {10}));
    std::vector<uint8_t> planes(8, 0);
    ASSERT_EQ(rig.engine->Band(c.pixel.data(), planes.data(), 2, 0, 1, 0, 0), RC_OK);
    EXPECT_EQ(rig.Entry(0), (std::vector<uint8_t>{11, 0, 0, 0})) << c.mode;
  }
}

TEST(BandConversionTest, InkAndGrayInputBypassTheLineBuffer) {
  for (int mode : {0, 4}) {
    Rig rig(mode, 0, 8, MatrixBlock(1, 1, {10}));
    const std::vector<uint8_t> src(32, 7);
    std::vector<uint8_t> planes(8, 0);
    ASSERT_EQ(rig.engine->Band(src.data(), planes.data(), 2, 0, 8, 0, 0), RC_OK);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(rig.Entry(i), kWhite) << mode;
    EXPECT_EQ(planes[6], 0xFF) << mode;  // ink 3 = 7 >= 1 on every dot
  }
}

TEST(BandConversionTest, FirstBandRefreshesThePointersLaterBandsDoNot) {
  Rig rig(1, 0, 8, MatrixBlock(1, 1, {10}));
  EXPECT_EQ(rig.inst().locked, 0);
  const std::vector<uint8_t> src(24, 128);
  std::vector<uint8_t> planes(8, 0);
  MemResetFaults();
  ASSERT_EQ(rig.engine->Band(src.data(), planes.data(), 2, 0, 8, 0, 0), RC_OK);
  EXPECT_EQ(rig.inst().locked, 1);
  const int locks = MemCallCount(MemOp::kLock);
  EXPECT_GT(locks, 0);
  ASSERT_EQ(rig.engine->Band(src.data(), planes.data(), 2, 0, 8, 0, 1), RC_OK);
  EXPECT_EQ(MemCallCount(MemOp::kLock), locks);
  MemResetFaults();
}

// The conversion written out step by step (node table entry of the inverted
// channel, one more node when the fraction reaches the threshold, kept
// inside the grid, the grid entry counted from the far corner): the
// reference for the library's table-driven lookup.
std::vector<uint8_t> PlainConversion(const HalftoneAInstance& inst, const uint8_t* src,
                                     uint32_t n, uint32_t x, uint32_t y, uint16_t phase,
                                     const std::vector<uint8_t>& m2, int w2, int h2) {
  uint8_t node[512];
  BuildNodeTable(node);
  const int32_t s = inst.params.horizontalScale;
  const uint64_t entries = EntryCount(s, n);
  std::vector<uint8_t> out;
  uint32_t c = (x + phase) % static_cast<uint32_t>(w2);
  const uint32_t r = y % static_cast<uint32_t>(h2);
  const uint8_t* p = src;
  for (uint64_t e = 0; e < entries; ++e) {
    int ch[3];
    for (int k = 0; k < 3; ++k) ch[k] = p[inst.channelOffset[k]];
    p += inst.bytesPerPixel;
    if (s < 0) {
      for (int k = 0; k < 3; ++k) ch[k] = std::min<int>(ch[k], p[inst.channelOffset[k]]);
      p += inst.bytesPerPixel;
    }
    const int t = m2[r * w2 + c];
    int idx[3];
    for (int k = 0; k < 3; ++k) {
      const int level = 255 - ch[k];
      idx[k] = node[2 * level] + (node[2 * level + 1] >= t ? 1 : 0);
      if (idx[k] > 24) idx[k] = 24;
    }
    const int entry = ((24 - idx[0]) * 25 + (24 - idx[1])) * 25 + (24 - idx[2]);
    out.insert(out.end(), inst.grid + entry * 4, inst.grid + entry * 4 + 4);
    c += RepeatCount(s);
    if (c >= static_cast<uint32_t>(w2)) c = 0;
  }
  return out;
}

TEST(BandConversionTest, TableLookupMatchesTheStepByStepConversion) {
  std::mt19937 rng(99);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 60; ++round) {
    const int mode = rnd(1, 3), scale = rnd(-2, 3);
    const int w2 = rnd(1, 20), h2 = rnd(1, 4);
    const int phase = rnd(-3, 40);
    std::vector<uint8_t> cells(size_t(w2) * h2);
    for (uint8_t& b : cells) b = static_cast<uint8_t>(rnd(0, 3) == 0 ? 0 : rnd(0, 255));
    LutFixture lut(rnd(2, 6), LutFixture::Complement, 200, 300, 1);
    EngineA engine(ParamsA(mode, 1, scale, 64), &lut.lut);
    Blocks b;
    b[300] = Bytes(ScreenText({ScreenRow(1, 2, 0, 302, 303, phase)}));
    b[302] = MatrixBlock(w2, h2, cells);
    b[303] = MatrixBlock(1, 1, {1});
    ASSERT_EQ(engine.Load(b), RC_OK);
    std::vector<uint8_t> src(64 * 16);  // 2n entries of two 4-byte pixels at most
    for (uint8_t& v : src) v = static_cast<uint8_t>(rnd(0, 3) == 0 ? rnd(0, 1) * 255 : rnd(0, 255));
    const uint32_t n = static_cast<uint32_t>(rnd(0, 64));
    const uint32_t x = static_cast<uint32_t>(rnd(0, 100000)), y = static_cast<uint32_t>(rnd(0, 1000));
    std::vector<uint8_t> planes(4 * 20, 0);
    ASSERT_EQ(engine.Band(src.data(), planes.data(), 20, 0, n, x, y), RC_OK);
    const auto& inst = *static_cast<HalftoneAInstance*>(engine.handle);
    const std::vector<uint8_t> expect = PlainConversion(
        inst, src.data(), n, x, y, static_cast<uint16_t>(phase), cells, w2, h2);
    for (size_t i = 0; i < expect.size(); ++i) {
      ASSERT_EQ(inst.lineBuffer[i], expect[i])
          << "round " << round << " byte " << i << " mode " << mode << " scale " << scale
          << " w2 " << w2 << " phase " << phase << " x " << x;
    }
  }
}

// Planes as a four-ink rule leaves them: `dots[i]` holds the planes (bit k
// = plane k) of dot i; bits before the start bit keep their values, the
// rest of the last byte is cleared, later bytes are untouched.
std::vector<uint8_t> ExpectedPlanes(std::vector<uint8_t> planes, size_t stride,
                                    int startBit, const std::vector<unsigned>& dots) {
  for (size_t k = 0; k < 4; ++k) {
    uint8_t* p = planes.data() + k * stride;
    size_t bit = static_cast<size_t>(startBit);
    for (unsigned d : dots) {
      const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit % 8));
      p[bit / 8] = static_cast<uint8_t>(((d >> k) & 1u) ? (p[bit / 8] | mask) : (p[bit / 8] & ~mask));
      ++bit;
    }
    if (bit % 8 != 0) p[bit / 8] = static_cast<uint8_t>(p[bit / 8] & (0xFF00u >> (bit % 8)));
  }
  return planes;
}

// Threshold matrices hold 1 to 256 thresholds a side (a stored 255 means
// 256, so 255 itself cannot be said).  At each size an RGB line converts
// through matrix 2 and dithers against matrix 3 (method 2) exactly as the
// plain rules say, on rows and columns where the matrices wrap and from a
// start bit inside the first byte.  A block shorter than its thresholds is
// refused with 0x300 and the instance then dithers nothing.
TEST(BandMatrixLimitTest, SidesFromOneTo256) {
  struct Case {
    const char* what;
    int w, h;
    bool cutShort;
  };
  const Case cases[] = {
      {"1 x 1", 1, 1, false},
      {"256 x 256", 256, 256, false},
      {"256 x 1", 256, 1, false},
      {"1 x 256", 1, 256, false},
      {"254 x 254, the largest stored as it is", 254, 254, false},
      {"256 x 256 one threshold short", 256, 256, true},
  };
  struct Run {
    uint32_t x, y, n;
    int startBit;
  };
  const Run runs[] = {{0, 255, 700, 0}, {0, 256, 700, 0}, {250, 511, 300, 5}, {65530, 65535, 40, 3}};
  constexpr uint32_t kWidth = 700;
  constexpr size_t kStride = 100;
  std::mt19937 rng(7);
  auto byte = [&] { return static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng)); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> cells2(size_t(c.w) * c.h), cells3(size_t(c.w) * c.h);
    for (uint8_t& v : cells2) v = byte();
    for (uint8_t& v : cells3) v = byte();
    LutFixture lut(3, LutFixture::Complement, 200, 300, 1);
    EngineA engine(ParamsA(1, 1, 0, kWidth), &lut.lut);
    Blocks b;
    b[300] = Bytes(ScreenText({ScreenRow(1, 2, 0, 302, 303)}));
    b[302] = MatrixBlock(c.w, c.h, cells2);
    b[303] = MatrixBlock(c.w, c.h, cells3);
    if (c.cutShort) b[303].pop_back();
    ASSERT_EQ(engine.Load(b), c.cutShort ? RC_BAD_RESOURCE : RC_OK);
    EXPECT_EQ(engine.key, -1);

    std::vector<uint8_t> src(3 * kWidth);
    for (uint8_t& v : src) v = byte();
    for (const Run& r : runs) {
      std::vector<uint8_t> planes(4 * kStride);
      for (uint8_t& v : planes) v = byte();
      const std::vector<uint8_t> before = planes;
      const uint32_t rc = engine.Band(src.data(), planes.data(), kStride, r.startBit, r.n, r.x, r.y);
      if (c.cutShort) {
        EXPECT_EQ(rc, RC_FAILURE);
        EXPECT_EQ(planes, before);
        continue;
      }
      ASSERT_EQ(rc, RC_OK) << "x " << r.x << " y " << r.y;
      const auto& inst = *static_cast<HalftoneAInstance*>(engine.handle);
      const std::vector<uint8_t> entries =
          PlainConversion(inst, src.data(), r.n, r.x, r.y, 0, cells2, c.w, c.h);
      ASSERT_EQ(std::vector<uint8_t>(inst.lineBuffer, inst.lineBuffer + entries.size()), entries)
          << "x " << r.x << " y " << r.y;
      // Method 2: plane 3 alone where the threshold is at most the black
      // ink, else each of planes 0..2 whose ink reaches it.
      std::vector<unsigned> dots;
      for (uint32_t i = 0; i < r.n; ++i) {
        const unsigned t = cells3[size_t(r.y % c.h) * c.w + (r.x + i) % c.w];
        const uint8_t* e = &entries[4 * i];
        unsigned d = 0;
        if (t <= e[3]) {
          d = 8;
        } else {
          for (unsigned k = 0; k < 3; ++k) d |= unsigned(t <= e[k]) << k;
        }
        dots.push_back(d);
      }
      EXPECT_EQ(planes, ExpectedPlanes(before, kStride, r.startBit, dots))
          << "x " << r.x << " y " << r.y;
    }
  }
}

TEST(BandRefusalTest, BandsThatCannotBeDitheredAreRefusedAndWriteNothing) {
  struct Case {
    const char* what;
    int mode;
    std::string screen;  // empty: no screen table delivered
    int startBit;
    uint32_t n;
    bool nullSrc, nullDst;
    uint32_t code;
  };
  const std::string full = ScreenText({ScreenRow(1, 3, 301, 302, 303)});
  const Case cases[] = {
      {"accepted", 1, full, 0, 16, false, false, RC_OK},
      {"no screen table yet", 4, "", 0, 8, false, false, RC_FAILURE},
      {"start bit 8", 1, full, 8, 8, false, false, RC_FAILURE},
      {"start bit -1", 1, full, -1, 8, false, false, RC_FAILURE},
      {"n beyond the line width", 1, full, 0, 17, false, false, RC_FAILURE},
      {"no source", 1, full, 0, 8, true, false, RC_FAILURE},
      {"no destination", 1, full, 0, 8, false, true, RC_FAILURE},
      {"no matrix 3", 4, ScreenText({ScreenRow(1, 2, 0, 0, 0)}), 0, 8, false, false,
       RC_FAILURE},
      {"method 3 without matrix 1", 4, ScreenText({ScreenRow(1, 3, 0, 0, 303)}), 0, 8,
       false, false, RC_FAILURE},
      {"method 2 needs no matrix 1", 4, ScreenText({ScreenRow(1, 2, 0, 0, 303)}), 0, 8,
       false, false, RC_OK},
      {"RGB without matrix 2", 1, ScreenText({ScreenRow(1, 2, 0, 0, 303)}), 0, 8, false,
       false, RC_FAILURE},
      {"matrix 3 of width 0", 4, ScreenText({ScreenRow(1, 2, 0, 0, 310)}), 0, 8, false,
       false, RC_FAILURE},
      {"matrix 3 of height 0", 4, ScreenText({ScreenRow(1, 2, 0, 0, 311)}), 0, 8, false,
       false, RC_FAILURE},
      {"duplicates leave matrix 3 empty", 4, ScreenText({ScreenRow(1, 2, 0, 303, 303)}), 0,
       8, false, false, RC_FAILURE},
  };
  Blocks blocks = StandardBlocks(3);
  blocks[310] = {0, 4};
  blocks[311] = {4, 0};
  for (const Case& c : cases) {
    LutFixture lut(2, LutFixture::Complement, 200, 300, 1);
    EngineA engine(ParamsA(c.mode, 1, 0, 16), &lut.lut);
    if (!c.screen.empty()) {
      blocks[300] = Bytes(c.screen);
      ASSERT_EQ(engine.Load(blocks), RC_OK) << c.what;
    }
    const std::vector<uint8_t> src(64, 90);
    std::vector<uint8_t> planes(4 * 3, 0x5A);
    const uint32_t rc = HalftoneThk(engine.handle, c.nullSrc ? nullptr : src.data(),
                                    c.nullDst ? nullptr : planes.data(), 3, c.startBit,
                                    c.n, 0, 0, 0, 0, nullptr);
    EXPECT_EQ(rc, c.code) << c.what;
    if (rc != RC_OK) {
      EXPECT_EQ(planes, std::vector<uint8_t>(12, 0x5A)) << c.what;
    }
  }
  EXPECT_EQ(Band(nullptr, nullptr, nullptr, 0, 0, 0, 0, 0), RC_FAILURE);
}

}  // namespace
}  // namespace vantik::halftone_a
