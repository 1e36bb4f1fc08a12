// Line converters: each method's dot rule, the common frame, the byte-at-a-
// time route against the dot-by-dot one, and pinned output per method.
#include "halftone_a/converters.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/halftone_a_fixtures.h"
#include "halftone_a/screen_tables.h"

namespace vantik::halftone_a {
namespace {

using namespace vantik::testing;

// An instance record set up by hand around one converter: matrix 3 (and 1)
// as given, a constant level table, the colour table of A and B.
struct ConverterRig {
  HalftoneAInstance inst{};
  std::vector<uint8_t> m3, m1;
  std::array<uint8_t, 768> level{};
  std::array<uint8_t, 32> color{};
  LineConverter convert = nullptr;

  ConverterRig(int method, int w3, int h3, std::vector<uint8_t> cells3,
               int renderMode = 4, int scale = 0, bool plain = false)
      : m3(std::move(cells3)) {
    ConverterInfo info{};
    EXPECT_TRUE(FindConverter(method, &info, plain));
    convert = info.convert;
    inst.params = ParamsA(renderMode, 1, scale, 1 << 16);
    static constexpr int kOff[5][5] = {{0, 0, 0, 0, 1}, {0, 1, 2, 0, 3}, {2, 1, 0, 0, 3},
                                       {1, 2, 3, 0, 4}, {0, 1, 2, 3, 4}};
    for (int k = 0; k < 4; ++k) inst.channelOffset[k] = kOff[renderMode][k];
    inst.bytesPerPixel = kOff[renderMode][4];
    inst.matrix3 = {m3.data(), static_cast<uint16_t>(w3), static_cast<uint16_t>(h3)};
    SetMatrix1(1, 1, {0});
    SetLevel(128);
    SetAB(200, 300);
  }
  void SetMatrix1(int w, int h, std::vector<uint8_t> cells) {
    m1 = std::move(cells);
    inst.matrix1 = {m1.data(), static_cast<uint16_t>(w), static_cast<uint16_t>(h)};
  }
  void SetLevel(uint8_t value) {
    level.fill(value);
    inst.levelTable = level.data();
  }
  void SetAB(uint16_t a, uint16_t b) {
    inst.paramA = a;
    inst.paramB = b;
    BuildColorTable(a, b, color.data());
    inst.colorTable = color.data();
  }
  void Run(const uint8_t* in, uint8_t* dst, ptrdiff_t stride, int startBit, uint32_t n,
           uint32_t x = 0, uint32_t y = 0) {
    convert(inst, in, dst, stride, startBit, n, x, y);
  }
};

bool Bit(const std::vector<uint8_t>& planes, int stride, int plane, int dot) {
  return (planes[size_t(plane) * stride + dot / 8] >> (7 - dot % 8)) & 1;
}

// The planes (bit k = plane k) that one entry of the given bytes gets at
// each threshold 0..255: matrix 3 is one row holding 0..255.
std::array<unsigned, 256> Ladder(ConverterRig& rig, const std::vector<uint8_t>& pixel) {
  std::vector<uint8_t> in;
  for (int i = 0; i < 256; ++i) in.insert(in.end(), pixel.begin(), pixel.end());
  std::vector<uint8_t> planes(4 * 32, 0);
  rig.Run(in.data(), planes.data(), 32, 0, 256);
  std::array<unsigned, 256> out{};
  for (int t = 0; t < 256; ++t)
    for (int k = 0; k < 4; ++k) out[t] |= unsigned(Bit(planes, 32, k, t)) << k;
  return out;
}

std::vector<uint8_t> Ramp() {
  std::vector<uint8_t> r(256);
  for (int i = 0; i < 256; ++i) r[i] = static_cast<uint8_t>(i);
  return r;
}

struct Span { int from, to; unsigned planes; };

void ExpectSpans(const std::array<unsigned, 256>& got, const std::vector<Span>& spans,
                 const std::string& what) {
  for (const Span& s : spans)
    for (int t = s.from; t <= s.to; ++t) EXPECT_EQ(got[t], s.planes) << what << " t " << t;
}

TEST(DotRuleTest, MethodsOneAndTwo) {
  struct Case { int method; std::vector<uint8_t> inks; std::vector<Span> spans; };
  const Case cases[] = {
      // Three coinciding dots print as one black dot on plane 3.
      {1, {200, 200, 200, 0}, {{0, 200, 8}, {201, 255, 0}}},
      {1, {200, 50, 200, 255}, {{0, 50, 8}, {51, 200, 5}, {201, 255, 0}}},
      // Plane 3 first: while t <= ink 3 nothing else.
      {2, {255, 255, 255, 100}, {{0, 100, 8}, {101, 255, 7}}},
      {2, {30, 0, 90, 0}, {{0, 0, 8}, {1, 30, 5}, {31, 90, 4}, {91, 255, 0}}},
  };
  for (const Case& c : cases) {
    ConverterRig rig(c.method, 256, 1, Ramp());
    ExpectSpans(Ladder(rig, c.inks), c.spans, "method " + std::to_string(c.method));
  }
}

TEST(DotRuleTest, StackedMethodsSixToEight) {
  struct Case { std::vector<uint8_t> inks; std::vector<Span> spans; };
  const Case cases[] = {
      // w0 = w1 = 200: o = 144 and the inks become 56 and 56.
      {{200, 200, 0, 0}, {{0, 0, 8}, {1, 144, 3}, {145, 200, 1}, {201, 255, 2}}},
      {{200, 200, 56, 50},
       {{0, 50, 8}, {51, 194, 3}, {195, 199, 1}, {200, 250, 5}, {251, 255, 6}}},
      // No overlap: ink 0 then ink 1 above ink 3.
      {{20, 30, 0, 10}, {{0, 10, 8}, {11, 30, 1}, {31, 60, 2}, {61, 255, 0}}},
  };
  for (int method : {6, 7, 8}) {
    for (const Case& c : cases) {
      ConverterRig rig(method, 256, 1, Ramp());
      ExpectSpans(Ladder(rig, c.inks), c.spans, "method " + std::to_string(method));
    }
  }
}

TEST(DotRuleTest, MethodThreeLimitsByLevelAndInvertsMatrixOneForPlaneOne) {
  struct Case { int u; std::vector<uint8_t> inks; std::vector<Span> spans; };
  const Case cases[] = {
      // L = 128.  u = 100: planes 0 and 2 allowed, plane 1 needs 156 <= L.
      {100, {255, 255, 255, 40}, {{0, 40, 8}, {41, 255, 5}}},
      // u = 200: 256 - u = 56 <= L lets plane 1 through, u <= L fails.
      {200, {255, 255, 255, 40}, {{0, 40, 0}, {41, 255, 2}}},
      // u = 128 passes both tests (128 <= L and 256 - 128 <= L).
      {128, {60, 90, 30, 0}, {{0, 0, 8}, {1, 30, 7}, {31, 60, 3}, {61, 90, 2}, {91, 255, 0}}},
      // u = 127: 256 - u = 129 is one above L, so plane 1 is held back.
      {127, {60, 90, 30, 0}, {{0, 0, 8}, {1, 30, 5}, {31, 60, 1}, {61, 255, 0}}},
  };
  for (const Case& c : cases) {
    ConverterRig rig(3, 256, 1, Ramp());
    rig.SetMatrix1(1, 1, {static_cast<uint8_t>(c.u)});
    ExpectSpans(Ladder(rig, c.inks), c.spans, "u " + std::to_string(c.u));
  }
}

TEST(DotRuleTest, MethodFiveRaisesTheLimitForLightInks) {
  struct Case { int level, u; std::vector<uint8_t> inks; std::vector<Span> spans; };
  const Case cases[] = {
      // L 100, ink 3 = 96: L' = 100 + 155 x 96 / 192 = 177.
      {100, 177, {0, 0, 0, 96}, {{0, 96, 8}, {97, 255, 0}}},
      {100, 178, {0, 0, 0, 96}, {{0, 255, 0}}},
      // ink 3 above 192 keeps L.
      {100, 101, {0, 0, 0, 200}, {{0, 255, 0}}},
      // L >= 255: matrix 1 not consulted.
      {255, 255, {40, 80, 120, 0}, {{0, 0, 8}, {1, 40, 7}, {41, 80, 6}, {81, 120, 4}}},
      // L0 = 100 + 155 x 92 / 192 = 174 for ink 0 = 100; ink 1 = 200 keeps
      // L1 = L; plane 2 always uses L.
      {100, 174, {100, 200, 255, 0}, {{1, 100, 1}, {101, 255, 0}}},
      {100, 100, {100, 200, 255, 0}, {{1, 100, 7}, {101, 200, 6}, {201, 255, 4}}},
  };
  for (const Case& c : cases) {
    ConverterRig rig(5, 256, 1, Ramp());
    rig.SetLevel(static_cast<uint8_t>(c.level));
    rig.SetMatrix1(1, 1, {static_cast<uint8_t>(c.u)});
    ExpectSpans(Ladder(rig, c.inks), c.spans,
                "L " + std::to_string(c.level) + " u " + std::to_string(c.u));
  }
}

TEST(DotRuleTest, NegativeLevelIndexUsesEntryZero) {
  // Ink 3 = 255 with the other inks 0 indexes -510: entry 0 serves.
  for (int method : {3, 5}) {
    ConverterRig rig(method, 256, 1, Ramp());
    rig.SetLevel(0);
    rig.level[0] = 255;
    rig.SetMatrix1(1, 1, {250});
    ExpectSpans(Ladder(rig, {0, 0, 0, 255}), {{0, 255, 8}}, "method " + std::to_string(method));
  }
}

TEST(DotRuleTest, MethodZeroUsesTheTwoLevelColourTable) {
  struct Case { int mode; std::vector<uint8_t> pixel; std::vector<Span> spans; };
  const Case cases[] = {
      // Three dark channels: index 7, plane 3 at A = 200.
      {4, {0, 0, 0, 255}, {{0, 200, 8}, {201, 255, 0}}},
      // Channels 0 and 1 dark: index 3, planes 0 and 1 at B / 2 = 150.
      {4, {0, 0, 255, 0}, {{0, 0, 8}, {1, 150, 3}, {151, 255, 0}}},
      {4, {200, 127, 128, 0}, {{0, 0, 8}, {1, 200, 2}, {201, 255, 0}}},
      // One byte per pixel: the same byte for all three channels.
      {0, {10}, {{0, 200, 8}, {201, 255, 0}}},
      // Format 2 reads channel 0 from byte 2.
      {2, {255, 255, 0}, {{0, 0, 8}, {1, 200, 1}, {201, 255, 0}}},
  };
  for (const Case& c : cases) {
    ConverterRig rig(0, 256, 1, Ramp(), c.mode);
    ExpectSpans(Ladder(rig, c.pixel), c.spans, "format " + std::to_string(c.mode));
  }
}

TEST(DotRuleTest, MethodsNineAndTenReadByteZeroAndWritePlaneZeroOnly) {
  struct Case { int method, mode; uint16_t a; std::vector<uint8_t> pixel; std::vector<Span> spans; };
  const Case cases[] = {
      {9, 4, 200, {55, 0, 0, 0}, {{0, 200, 1}, {201, 255, 0}}},
      {9, 0, 200, {255}, {{0, 0, 1}, {1, 255, 0}}},
      {9, 1, 200, {0, 255, 255}, {{0, 255, 1}}},
      // v = 200 x 255 / 100 = 510 for dark pixels, 0 for light ones.
      {10, 4, 200, {127, 255, 255, 255}, {{0, 255, 1}}},
      {10, 4, 200, {128, 0, 0, 0}, {{0, 0, 1}, {1, 255, 0}}},
      // Only A's low byte: 0x114 is 20, v = 51.
      {10, 3, 0x114, {0, 255, 255, 255}, {{0, 51, 1}, {52, 255, 0}}},
      // v = 99 x 255 / 100 = 252 (a factor 256 would give 253).
      {10, 4, 99, {0, 0, 0, 0}, {{0, 252, 1}, {253, 255, 0}}},
  };
  for (const Case& c : cases) {
    ConverterRig rig(c.method, 256, 1, Ramp(), c.mode);
    rig.SetAB(c.a, 300);
    std::vector<uint8_t> in;
    for (int i = 0; i < 256; ++i) in.insert(in.end(), c.pixel.begin(), c.pixel.end());
    std::vector<uint8_t> planes(4 * 32, 0x33);
    rig.Run(in.data(), planes.data(), 32, 0, 256);
    std::array<unsigned, 256> got{};
    for (int t = 0; t < 256; ++t) got[t] = Bit(planes, 32, 0, t);
    ExpectSpans(got, c.spans, "method " + std::to_string(c.method));
    EXPECT_EQ(std::vector<uint8_t>(planes.begin() + 32, planes.end()),
              std::vector<uint8_t>(96, 0x33));
  }
}

TEST(FrameTest, StartBitPartialBytesAndEmptyRuns) {
  struct Case {
    const char* what;
    int startBit;
    uint32_t n;
    uint8_t plane0[2];  // method 2 with ink 3 = 255: dots on plane 3 only
    uint8_t plane3[2];
  };
  const Case cases[] = {
      {"start bit 3: top bits kept, first dot on 0x10", 3, 2, {0xE0, 0xFF}, {0xF8, 0xFF}},
      {"line ending inside a byte", 0, 5, {0x00, 0xFF}, {0xF8, 0xFF}},
      {"across a byte boundary", 6, 4, {0xFC, 0x00}, {0xFF, 0xC0}},
      {"empty run, start bit 3: low bits cleared", 3, 0, {0xE0, 0xFF}, {0xE0, 0xFF}},
      {"empty run, start bit 0: untouched", 0, 0, {0xFF, 0xFF}, {0xFF, 0xFF}},
      {"a whole byte", 0, 8, {0x00, 0xFF}, {0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    for (bool plain : {false, true}) {
      ConverterRig rig(2, 1, 1, {1}, 4, 0, plain);
      const std::vector<uint8_t> in(64, 255);
      std::vector<uint8_t> planes(4 * 2, 0xFF);
      rig.Run(in.data(), planes.data(), 2, c.startBit, c.n);
      EXPECT_EQ(planes[0], c.plane0[0]) << c.what;
      EXPECT_EQ(planes[1], c.plane0[1]) << c.what;
      EXPECT_EQ(planes[6], c.plane3[0]) << c.what;
      EXPECT_EQ(planes[7], c.plane3[1]) << c.what;
    }
  }
}

TEST(FrameTest, RepeatedDotsWalkNeighbouringColumnsAndRowsFollowY) {
  // Row 0: 50, 150 repeating; row 1: 150, 50.  Ink 3 = 100 dots where 50.
  const std::vector<uint8_t> cells = {50, 150, 50, 150, 150, 50, 150, 50};
  struct Case { int scale; uint32_t n, x, y; uint8_t plane3; };
  const Case cases[] = {
      {1, 8, 0, 0, 0xAA},  // four entries, two dots each
      {1, 8, 1, 0, 0x55},  // x = 1 starts on column 1
      {1, 8, 0, 1, 0x55},  // row 1
      {0, 8, 0, 5, 0x55},  // y wraps: 5 mod 2 = 1
      {2, 8, 0, 0, 0xA8},  // two entries of three dots; the last two not written
  };
  for (const Case& c : cases) {
    ConverterRig rig(2, 4, 2, cells, 4, c.scale);
    const std::vector<uint8_t> in = {0, 0, 0, 100, 0, 0, 0, 100, 0, 0, 0, 100, 0, 0, 0, 100,
                                     0, 0, 0, 100, 0, 0, 0, 100, 0, 0, 0, 100, 0, 0, 0, 100};
    std::vector<uint8_t> planes(4, 0);
    rig.Run(in.data(), planes.data(), 1, 0, c.n, c.x, c.y);
    EXPECT_EQ(planes[3], c.plane3) << "scale " << c.scale << " x " << c.x << " y " << c.y;
  }
}

TEST(FrameTest, ByteRouteMatchesDotByDotRouteOnRandomLines) {
  std::mt19937 rng(12345);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int method : {0, 1, 2, 3, 5, 6, 9, 10}) {
    for (int round = 0; round < 300; ++round) {
      const int mode = rnd(0, 1) ? 4 : rnd(0, 3);
      const int scale = rnd(-2, 3);
      const int w3 = rnd(1, 19), h3 = rnd(1, 5), w1 = rnd(1, 19), h1 = rnd(1, 5);
      std::vector<uint8_t> m3(size_t(w3) * h3), m1(size_t(w1) * h1);
      for (uint8_t& b : m3) b = static_cast<uint8_t>(rnd(0, 255));
      for (uint8_t& b : m1) b = static_cast<uint8_t>(rnd(0, 255));
      const uint32_t n = static_cast<uint32_t>(rnd(0, 120));
      const int startBit = rnd(0, 7);
      const uint32_t x = static_cast<uint32_t>(rnd(0, 1000)), y = static_cast<uint32_t>(rnd(0, 1000));
      std::vector<uint8_t> in(8 * 250);
      for (uint8_t& b : in) b = static_cast<uint8_t>(rnd(0, 255));
      const int stride = 40;
      std::vector<uint8_t> start(4 * stride);
      for (uint8_t& b : start) b = static_cast<uint8_t>(rnd(0, 255));
      const int a = rnd(0, 700), b = rnd(0, 700);
      std::vector<uint8_t> outs[2];
      for (int plain = 0; plain < 2; ++plain) {
        ConverterRig rig(method, w3, h3, m3, mode, scale, plain != 0);
        rig.SetMatrix1(w1, h1, m1);
        rig.SetAB(static_cast<uint16_t>(a), static_cast<uint16_t>(b));
        for (size_t i = 0; i < rig.level.size(); ++i) rig.level[i] = static_cast<uint8_t>(i * 7 + round);
        outs[plain] = start;
        rig.Run(in.data(), outs[plain].data(), stride, startBit, n, x, y);
      }
      ASSERT_EQ(outs[0], outs[1]) << "method " << method << " round " << round;
    }
  }
}

// kSize bytes ending right before a page that cannot be read.
template <size_t kSize>
struct GuardedBytes {
  GuardedBytes() {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t span = (kSize + page - 1) / page * page;
    base = static_cast<uint8_t*>(
        mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    EXPECT_NE(base, MAP_FAILED);
    EXPECT_EQ(mprotect(base + span, page, PROT_NONE), 0);
    length = span + page;
    bytes = base + span - kSize;
  }
  ~GuardedBytes() { munmap(base, length); }
  uint8_t* base = nullptr;
  uint8_t* bytes = nullptr;
  size_t length = 0;
};

// Methods 1, 2, 5 and 6 to 8 take sixteen entries at a time where the line
// allows: matrix widths below, at and above sixteen and around the widths
// whose rows are copied, every start bit, level tables with entries at 255,
// and an input that ends where the line's last entry does (method 1 reads
// three bytes of it), so that a read past it shows under the sanitizer.
TEST(FrameTest, SixteenEntryRouteMatchesDotByDotRoute) {
  GuardedBytes<768> guarded;
  std::mt19937 rng(777);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int widths[] = {1, 3, 8, 16, 17, 64, 1023, 1024, 1025, 1500};
  for (int method : {1, 2, 5, 6, 7, 8}) {
    for (int w3 : widths) {
      const int h3 = rnd(1, 3);
      std::vector<uint8_t> m3(size_t(w3) * h3);
      for (uint8_t& b : m3) b = static_cast<uint8_t>(rnd(0, 255));
      const int w1 = widths[rnd(0, 9)], h1 = rnd(1, 3);
      std::vector<uint8_t> m1(size_t(w1) * h1);
      for (uint8_t& b : m1) b = static_cast<uint8_t>(rnd(0, 255));
      std::array<uint8_t, 768> level;
      for (uint8_t& b : level) b = static_cast<uint8_t>(rnd(0, 3) == 0 ? 255 : rnd(0, 255));
      for (uint32_t n = 0; n <= 100; ++n) {
        const int startBit = rnd(0, 7);
        const uint32_t x = static_cast<uint32_t>(rnd(0, 3000)), y = static_cast<uint32_t>(rnd(0, 9));
        std::vector<uint8_t> in(n * 4 - (method == 1 && n > 0 ? 1 : 0));
        for (uint8_t& b : in) b = static_cast<uint8_t>(rnd(0, 255));
        // Inks at the thresholds' edges and around 192 (method 5's raised
        // limits), and entries whose three inks all clear the threshold
        // (method 1's black).
        for (size_t i = 0; i + 4 <= in.size(); i += 12) in[i] = in[i + 1] = in[i + 2] = 255;
        for (size_t i = 5; i < in.size(); i += 7) {
          const uint8_t edge[] = {0, 1, 128, 191, 192, 193, 254, 255};
          in[i] = edge[rnd(0, 7)];
        }
        const int stride = 16;  // 100 entries from bit 7
        std::vector<uint8_t> start(4 * stride);
        for (uint8_t& b : start) b = static_cast<uint8_t>(rnd(0, 255));
        // Entries at the top of the level table's index range (inks 0..2
        // at 255 and ink 3 at 0..2).
        if (n >= 2) {
          const size_t i = 4 * size_t(rnd(0, int(n) - 2));
          in[i] = in[i + 1] = in[i + 2] = 255;
          in[i + 3] = static_cast<uint8_t>(rnd(0, 2));
        }
        // The level table ends where an unreadable page begins, so that a
        // read past its end faults.
        std::memcpy(guarded.bytes, level.data(), level.size());
        std::vector<uint8_t> outs[2];
        for (int plain = 0; plain < 2; ++plain) {
          ConverterRig rig(method, w3, h3, m3, 4, 0, plain != 0);
          rig.SetMatrix1(w1, h1, m1);
          rig.inst.levelTable = guarded.bytes;
          outs[plain] = start;
          rig.Run(in.data(), outs[plain].data(), stride, startBit, n, x, y);
        }
        ASSERT_EQ(outs[0], outs[1]) << "method " << method << " width " << w3 << " n " << n
                                    << " start bit " << startBit << " x " << x;
      }
    }
  }
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char buf[3];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    s += buf;
  }
  return s;
}

// A fixed resource set (9-node complement table, A 200, B 300, the 8 x 8
// ordered-dither matrices) and a 64-pixel RGB line running from dark red
// through grey to light blue, on two rows.
TEST(GoldenTest, EveryMethodGivesItsPinnedDots) {
  struct Case { int method; const char* hex; };
  const Case cases[] = {
      {0,
       "0000000064c000000000001030400000000000109880000000000000003fffff"
       "00000004644000000000001030000000000000189880000000000000003fffff"},
      {1,
       "0003080c0000300000030b0f000000000000000000003000fffcf4f0f0f0c0c0"
       "00030d040000300000030f0f000000000000000000001000fffcf0f0f0f0c0c0"},
      {2,
       "0003080c0000300000030b0f000000000000000000003000fffcf4f0f0f0c0c0"
       "00030d040000300000030f0f000000000000000000001000fffcf0f0f0f0c0c0"},
      {3,
       "0000080c0000300000030b0f000000000000000000003000f8f8f0f0f0f0c0c0"
       "000004040000300000030f0f000000000000000000001000f0f4f0f0f0f0c0c0"},
      {5,
       "0000080c000030000000080c000000000000000000003000f8fcf4f0f0f0c0c0"
       "00000c04000030000000040c000000000000000000001000f4fcf0f0f0f0c0c0"},
      {6,
       "00030b0f0f04300000030b0e000a00300f0f0f0300000000fffcf4f0f0f0c0c0"
       "00030f0f0f00300000030f0f000f00100f0f0f0302000000fffcf0f0f0f0c0c0"},
      {9,
       "60e0e0f0f4ffffff000000000000000000000000000000000000000000000000"
       "60e0e0f0f4f5ffff000000000000000000000000000000000000000000000000"},
      {10,
       "0000000266ffffff000000000000000000000000000000000000000000000000"
       "00000006667fffff000000000000000000000000000000000000000000000000"},
  };
  std::vector<uint8_t> line;
  for (int i = 0; i < 64; ++i) {
    line.push_back(static_cast<uint8_t>(i * 4));
    line.push_back(static_cast<uint8_t>(i < 32 ? i * 2 : 255 - (63 - i) * 3));
    line.push_back(static_cast<uint8_t>(i * 3 + 60));
  }
  std::map<int, std::vector<uint8_t>> outputs;
  for (const Case& c : cases) {
    LutFixture lut(9, LutFixture::Complement, 200, 300, 1);
    EngineA engine(ParamsA(1, 1, 0, 64), &lut.lut);
    ASSERT_EQ(engine.Load(StandardBlocks(c.method, 3)), RC_OK);
    std::vector<uint8_t> planes(2 * 4 * 8, 0);
    for (uint32_t y = 0; y < 2; ++y) {
      ASSERT_EQ(engine.Band(line.data(), planes.data() + y * 32, 8, 0, 64, 0, y), RC_OK);
    }
    EXPECT_EQ(Hex(planes), c.hex) << "method " << c.method;
    outputs[c.method] = planes;
  }
  // Plausibility of what is pinned: black follows the dark end of the line,
  // and with this table (black = least of C, M, Y) methods 1 and 2 agree;
  // methods 9 and 10 write plane 0 alone.
  auto dotsIn = [](const std::vector<uint8_t>& p, int plane, int from, int to) {
    int n = 0;
    for (int row = 0; row < 2; ++row)
      for (int i = from; i < to; ++i) n += __builtin_popcount(p[row * 32 + plane * 8 + i]);
    return n;
  };
  EXPECT_GT(dotsIn(outputs[2], 3, 0, 4), dotsIn(outputs[2], 3, 4, 8));
  EXPECT_EQ(outputs[1], outputs[2]);
  for (int method : {9, 10}) {
    EXPECT_EQ(dotsIn(outputs[method], 1, 0, 8) + dotsIn(outputs[method], 2, 0, 8) +
                  dotsIn(outputs[method], 3, 0, 8),
              0);
  }
}

}  // namespace
}  // namespace vantik::halftone_a
