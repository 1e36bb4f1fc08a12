#include "preview/tone_curves.h"

#include <array>
#include <cstdint>

namespace vantik::preview {
namespace {

// The primes 2..23 sit at indices 0..8; 29..509 at 9..96.
constexpr int kSmallPrimeCount = 9;

constexpr int32_t ComputeIntLog(int32_t x) {
  int32_t sum = 0;
  for (int k = 0; k < kSmallPrimeCount; ++k) {
    while (x % kPrimes[k] == 0) {
      x /= kPrimes[k];
      sum += kPrimeLogTable[k];
    }
  }
  if (x != 1) {
    for (int k = kSmallPrimeCount; k < kPrimeLogCount - 1; ++k) {
      if (kPrimes[k] == x) {
        sum += kPrimeLogTable[k];
        break;
      }
    }
  }
  return sum;
}

// IntLog of every argument the gamma search can ask for, computed once.
constexpr std::array<int32_t, 512> kIntLog = [] {
  std::array<int32_t, 512> t{};
  for (int32_t x = 1; x < 512; ++x) t[x] = ComputeIntLog(x);
  return t;
}();

static_assert(kIntLog[255] == 27706);
static_assert(kIntLog[1] == 0);

constexpr int32_t Clamp(int64_t v) {
  return v < 0 ? 0 : (v > 255 ? 255 : static_cast<int32_t>(v));
}

// Cubic segment d^3 * q / 6553600, in 64 bits so that no combination of
// brightness and contrast overflows.
constexpr int64_t Cubic(int64_t d, int64_t q) { return d * d * d * q / 6553600; }

}  // namespace

int32_t IntLog(int32_t x) {
  if (x < 1 || x > 511) return 0;
  return kIntLog[x];
}

int32_t GammaLevel(int32_t i, int32_t gamma) {
  if (i <= 0) return 0;
  if (i >= 255) return 255;
  const int32_t d = (gamma * 2048) / 100;
  const int32_t e = 27706 * d - 63855256;
  const int32_t x = d * kIntLog[i];
  if (e > x) return 0;
  // The smallest odd c >= 3 with 2048 * IntLog(c) + e > x; c = 511 always
  // satisfies it for gammas in 100..300, the bound only guards the loop.
  for (int32_t c = 3; c <= 511; c += 2) {
    if (2048 * kIntLog[c] + e > x) return Clamp((c - 1) / 2);
  }
  return 255;
}

void BuildAdjustCurve(int32_t brightness, int32_t contrast, int32_t curve[256]) {
  int64_t a[256];
  for (int i = 0; i < 256; ++i) a[i] = i;

  if (brightness > 0) {
    const int64_t k = 10000 / (100 - brightness);
    const int64_t n = ((300 - k) * 256) / (2 * k);
    const int64_t q = (k * 65536) / (3 * (n - 256) * (n - 256));
    for (int i = 0; i < 256; ++i) {
      a[i] = i < n ? a[i] * k / 100 : Cubic(a[i] - 256, q) + 256;
    }
  } else if (brightness < 0) {
    const int64_t k = 10000 / (brightness + 100);
    const int64_t m = ((k - 100) * 768) / (2 * k);
    const int64_t q = (k * 65536) / (3 * m * m);
    for (int i = 0; i < 256; ++i) {
      a[i] = i < m ? Cubic(a[i], q) : ((a[i] - 256) * k + 25600) / 100;
    }
  }
  if (brightness != 0) {
    for (int i = 0; i < 256; ++i) a[i] = Clamp(a[i]);
  }

  if (contrast < 0) {
    for (int i = 0; i < 256; ++i) {
      a[i] = ((a[i] - 128) * (contrast + 100) + 12800) / 100;
    }
  } else if (contrast > 0) {
    const int64_t k = 10000 / (100 - contrast);
    const int64_t lo = ((k - 100) * 384) / (2 * k);
    const int64_t q1 = (k * 65536) / (3 * lo * lo);
    const int64_t hi = ((k + 300) * 128) / (2 * k);
    const int64_t q2 = (k * 65536) / (3 * (hi - 256) * (hi - 256));
    for (int i = 0; i < 256; ++i) {
      if (i < lo) {
        a[i] = Cubic(a[i], q1);
      } else if (i < hi) {
        a[i] = ((a[i] - 128) * k + 12800) / 100;
      } else {
        a[i] = Cubic(a[i] - 256, q2) + 256;
      }
    }
  }
  if (contrast != 0) {
    for (int i = 0; i < 256; ++i) a[i] = Clamp(a[i]);
  }
  for (int i = 0; i < 256; ++i) curve[i] = static_cast<int32_t>(a[i]);
}

void BuildGammaDelta(int32_t gamma, int32_t gammaDelta[256]) {
  for (int i = 0; i < 256; ++i) {
    gammaDelta[i] = gamma == 150 ? 0 : GammaLevel(i, gamma) - GammaLevel(i, 150);
  }
}

void SmoothToneTable(int32_t table[256]) {
  for (int j = 1; j <= 253; ++j) {
    table[j] = (table[j - 1] + table[j] + table[j + 1]) / 3;
  }
}

void BuildToneTable(const int32_t curve[256], int32_t offset,
                    const int32_t gammaDelta[256], int32_t out[256]) {
  for (int i = 0; i < 256; ++i) {
    out[i] = Clamp(int64_t{curve[i]} + offset + gammaDelta[i]);
  }
  SmoothToneTable(out);
}

}  // namespace vantik::preview
