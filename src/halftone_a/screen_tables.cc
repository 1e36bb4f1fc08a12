#include "halftone_a/screen_tables.h"

namespace vantik::halftone_a {
namespace {

// Signed 32-bit arithmetic that wraps around instead of overflowing, as the
// level table's extreme parameters need.
int32_t Mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
int32_t Add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t Sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
// Truncating division; the one overflowing case (minimum / -1) wraps.
int32_t Div(int32_t a, int32_t b) {
  if (b == -1) return Sub(0, a);
  return a / b;
}

constexpr int32_t kLevelPercent = 70;

}  // namespace

void BuildNodeTable(uint8_t* out) {
  int i = 1;
  for (int j = 0; j < 255; ++j) {
    if (j == kNodeLevels[i]) ++i;
    const int lo = kNodeLevels[i - 1];
    const int width = kNodeLevels[i] - lo;
    out[2 * j] = static_cast<uint8_t>(i - 1);
    out[2 * j + 1] = static_cast<uint8_t>((j - lo) * 255 / width);
  }
  out[510] = 24;
  out[511] = 0;
}

bool LevelTableDefined(uint16_t a, uint16_t b) {
  const int32_t l = kLevelPercent * b / 100;
  return a != 0 && 3 * static_cast<int32_t>(a) != l;
}

void BuildLevelTable(uint16_t a16, uint16_t b16, uint8_t* out) {
  const int32_t a = a16;
  const int32_t b = b16;
  const int32_t l = kLevelPercent * b / 100;
  const int32_t h = 255 * b / (3 * a);
  const int32_t q = 255 * b / 765;
  const int32_t m = 255 * b / (2 * a);
  int32_t o = Add(h, Div(Mul(-a, h - 255), 3 * a - l));
  if (o >= m) o = m;
  // Each value is an if / else-if chain: where ranges overlap (A at most
  // 127) the first listed range wins.
  for (int32_t i = 0; i < 768; ++i) {
    int32_t v;
    if (a < 255) {
      const int32_t n = 9 * a / 10;
      if (i < n) {
        v = 255;
      } else if (i < 255) {
        v = a + (i - 255) * (a - 255) / (255 - n);
      } else if (i < 2 * a) {
        v = Add(o, Div(Mul(i - 2 * a, Sub(o, a)), 2 * a - 255));
      } else if (i < 3 * a) {
        v = Add(h, Div(Mul(i - 3 * a, Sub(h, o)), a));
      } else if (i < 765) {
        v = Add(q, Div(Mul(i - 765, Sub(q, h)), 765 - 3 * a));
      } else {
        v = q;
      }
    } else {
      const int32_t lc = l < 255 ? l : 255;
      if (i < lc) {
        v = 255;
      } else if (i < 2 * a) {
        v = Add(o, Div(Mul(i - 2 * a, Sub(o, 255)), 2 * a - lc));
      } else if (i < 3 * a) {
        v = Add(h, Div(Mul(i - 3 * a, Sub(h, o)), a));
      } else {
        v = h;
      }
    }
    out[i] = static_cast<uint8_t>(v);
  }
}

void BuildColorTable(uint16_t a, uint16_t b, uint8_t* out) {
  // 1 = low byte of A, 2 = low byte of B / 2, 0 = nothing.
  static constexpr uint8_t kTemplate[32] = {
      0, 1, 0, 2, 0, 2, 0, 0,   // plane 0
      0, 0, 1, 2, 0, 0, 2, 0,   // plane 1
      0, 0, 0, 0, 1, 2, 2, 0,   // plane 2
      0, 0, 0, 0, 0, 0, 0, 1};  // plane 3
  const uint8_t one = static_cast<uint8_t>(a);
  const uint8_t two = static_cast<uint8_t>(b >> 1);
  for (int i = 0; i < 32; ++i) {
    out[i] = kTemplate[i] == 1 ? one : kTemplate[i] == 2 ? two : 0;
  }
}

}  // namespace vantik::halftone_a
