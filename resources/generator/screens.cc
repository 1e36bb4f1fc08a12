#include "screens.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace vantik::resgen {
namespace {

// splitmix64: a small, fully specified generator, so the output does not
// depend on the standard library's distributions.
uint64_t NextRandom(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

struct KernelTap {
  int dx;
  int dy;
  int64_t weight;
};

// Integer Gaussian taps; integer energies keep the selection order exact and
// identical on every machine.
std::vector<KernelTap> GaussianTaps(Aspect aspect, double kSigma) {
  // Physical length of one step along x and y, in units whose square is the
  // area of one dot.
  const double sx = std::sqrt(static_cast<double>(aspect.y) / aspect.x);
  const double sy = std::sqrt(static_cast<double>(aspect.x) / aspect.y);
  const int rx = static_cast<int>(std::ceil(4.0 * kSigma / sx));
  const int ry = static_cast<int>(std::ceil(4.0 * kSigma / sy));
  std::vector<KernelTap> taps;
  for (int dy = -ry; dy <= ry; ++dy) {
    for (int dx = -rx; dx <= rx; ++dx) {
      const double d2 = dx * dx * sx * sx + dy * dy * sy * sy;
      const auto w = static_cast<int64_t>(std::lround(std::exp(-d2 / (2 * kSigma * kSigma)) * 65536.0));
      if (w > 0) taps.push_back({dx, dy, w});
    }
  }
  return taps;
}

class EnergyField {
 public:
  EnergyField(int width, int height, Aspect aspect, double sigma)
      : w_(width), h_(height), taps_(GaussianTaps(aspect, sigma)),
        energy_(static_cast<size_t>(width) * height, 0),
        on_(static_cast<size_t>(width) * height, 0) {}

  void Set(int p, bool on) {
    if (static_cast<bool>(on_[p]) == on) return;
    on_[p] = on ? 1 : 0;
    const int x = p % w_;
    const int y = p / w_;
    for (const KernelTap& t : taps_) {
      const int qx = ((x + t.dx) % w_ + w_) % w_;
      const int qy = ((y + t.dy) % h_ + h_) % h_;
      energy_[static_cast<size_t>(qy) * w_ + qx] += on ? t.weight : -t.weight;
    }
  }
  bool On(int p) const { return on_[p] != 0; }

  // Tightest cluster: the set pixel with the highest energy (first on ties).
  int TightestCluster() const {
    int best = -1;
    for (int p = 0; p < Size(); ++p)
      if (on_[p] && (best < 0 || energy_[p] > energy_[best])) best = p;
    return best;
  }
  // Largest void: the empty pixel with the lowest energy (first on ties).
  int LargestVoid() const {
    int best = -1;
    for (int p = 0; p < Size(); ++p)
      if (!on_[p] && (best < 0 || energy_[p] < energy_[best])) best = p;
    return best;
  }
  int Size() const { return w_ * h_; }

 private:
  int w_, h_;
  std::vector<KernelTap> taps_;
  std::vector<int64_t> energy_;
  std::vector<uint8_t> on_;
};

}  // namespace

RankMatrix VoidAndCluster(int width, int height, Aspect aspect, uint64_t seed, double sigma) {
  const int n = width * height;
  RankMatrix out{width, height, std::vector<uint16_t>(n, 0)};

  // Initial pattern: a tenth of the pixels at random positions.
  EnergyField initial(width, height, aspect, sigma);
  const int ones = std::max(1, n / 10);
  uint64_t state = seed;
  for (int placed = 0; placed < ones;) {
    const int p = static_cast<int>(NextRandom(state) % static_cast<uint64_t>(n));
    if (initial.On(p)) continue;
    initial.Set(p, true);
    ++placed;
  }
  // Relax it into a homogeneous pattern: move the tightest cluster into the
  // largest void until the move would put the pixel back where it was.
  for (int guard = 0; guard < 4 * n; ++guard) {
    const int cluster = initial.TightestCluster();
    initial.Set(cluster, false);
    const int hole = initial.LargestVoid();
    initial.Set(hole, true);
    if (hole == cluster) break;
  }

  // Ranks below the initial count: remove tightest clusters one by one.
  EnergyField shrink = initial;
  for (int r = ones - 1; r >= 0; --r) {
    const int p = shrink.TightestCluster();
    shrink.Set(p, false);
    out.rank[p] = static_cast<uint16_t>(r);
  }
  // Ranks from the initial count up: fill largest voids.  With a kernel whose
  // taps sum to the same total at every pixel, the densest cluster of empty
  // pixels is the emptiest void, so one rule serves both halves.
  EnergyField grow = initial;
  for (int r = ones; r < n; ++r) {
    const int p = grow.LargestVoid();
    grow.Set(p, true);
    out.rank[p] = static_cast<uint16_t>(r);
  }
  return out;
}

namespace {

// cos(2 pi k / 128) x 4096 for k = 0 .. 32; the rest of the circle follows
// by symmetry.  Fixed integers keep the refinement identical on every
// machine.
constexpr int kQuarterCos128[33] = {4096, 4091, 4076, 4052, 4017, 3973, 3920, 3857, 3784, 3703, 3612,
                                    3513, 3406, 3290, 3166, 3035, 2896, 2751, 2598, 2440, 2276, 2106,
                                    1931, 1751, 1567, 1380, 1189, 995,  799,  601,  401,  201,  0};

// cos(2 pi k / 128) x 4096.
int Cos128(int k) {
  k &= 127;
  if (k <= 32) return kQuarterCos128[k];
  if (k <= 64) return -kQuarterCos128[64 - k];
  if (k <= 96) return -kQuarterCos128[k - 64];
  return kQuarterCos128[128 - k];
}

}  // namespace

void RefineLowFrequencies(RankMatrix& m, int maxGap, int tries, uint64_t seed) {
  if (m.width != m.height || (m.width != 64 && m.width != 128) || maxGap < 1) return;
  const int side = m.width;
  const int n = side * side;
  const int step = 128 / side;  // of the 128-step circle per frequency unit
  // The frequencies (u, v) / side cycles per dot below 1/16: 0 < |(u, v)| < side / 16.
  const int reach = side / 16;
  std::vector<std::pair<int, int>> freq;
  for (int v = -reach + 1; v < reach; ++v) {
    for (int u = -reach + 1; u < reach; ++u) {
      const int r2 = u * u + v * v;
      if (r2 > 0 && r2 < reach * reach) freq.emplace_back(u, v);
    }
  }
  const size_t nf = freq.size();
  // Each cell's term exp(-2 pi i f . x) x 4096 at every frequency.
  std::vector<int64_t> eRe(static_cast<size_t>(n) * nf), eIm(eRe.size());
  for (int p = 0; p < n; ++p) {
    for (size_t k = 0; k < nf; ++k) {
      const int phase = step * (freq[k].first * (p % side) + freq[k].second * (p / side));
      eRe[static_cast<size_t>(p) * nf + k] = Cos128(phase);
      eIm[static_cast<size_t>(p) * nf + k] = -Cos128(phase - 32);
    }
  }
  std::vector<int> at(static_cast<size_t>(n));
  for (int p = 0; p < n; ++p) at[m.rank[static_cast<size_t>(p)]] = p;
  // Weight of level L (the first L ranks set): the inverse of its variance,
  // so that every level counts alike.
  std::vector<int64_t> weight(static_cast<size_t>(n) + 1, 0);
  for (int level = 1; level < n; ++level) {
    weight[static_cast<size_t>(level)] = (int64_t{1} << 40) / (int64_t{level} * (n - level));
  }
  // Sums of the terms of each level's cells.
  std::vector<int64_t> cRe((static_cast<size_t>(n) + 1) * nf, 0), cIm(cRe.size(), 0);
  for (int level = 1; level <= n; ++level) {
    const size_t p = static_cast<size_t>(at[static_cast<size_t>(level - 1)]);
    for (size_t k = 0; k < nf; ++k) {
      cRe[level * nf + k] = cRe[(level - 1) * nf + k] + eRe[p * nf + k];
      cIm[level * nf + k] = cIm[(level - 1) * nf + k] + eIm[p * nf + k];
    }
  }
  uint64_t state = seed;
  for (int t = 0; t < tries; ++t) {
    const int r = static_cast<int>(NextRandom(state) % static_cast<uint64_t>(n - 1));
    const int s = r + 1 + static_cast<int>(NextRandom(state) % static_cast<uint64_t>(maxGap));
    if (s >= n) continue;
    const size_t p = static_cast<size_t>(at[static_cast<size_t>(r)]);
    const size_t q = static_cast<size_t>(at[static_cast<size_t>(s)]);
    // Levels r + 1 .. s hold p and not q; swapping the two ranks makes them
    // hold q instead.  The change in weighted power at the low frequencies:
    __int128 change = 0;
    for (size_t k = 0; k < nf; ++k) {
      const int64_t dRe = eRe[q * nf + k] - eRe[p * nf + k];
      const int64_t dIm = eIm[q * nf + k] - eIm[p * nf + k];
      for (int level = r + 1; level <= s; ++level) {
        const size_t i = static_cast<size_t>(level) * nf + k;
        const int64_t delta = 2 * (dRe * cRe[i] + dIm * cIm[i]) + dRe * dRe + dIm * dIm;
        change += static_cast<__int128>(delta) * weight[static_cast<size_t>(level)];
      }
    }
    if (change >= 0) continue;
    for (size_t k = 0; k < nf; ++k) {
      const int64_t dRe = eRe[q * nf + k] - eRe[p * nf + k];
      const int64_t dIm = eIm[q * nf + k] - eIm[p * nf + k];
      for (int level = r + 1; level <= s; ++level) {
        cRe[static_cast<size_t>(level) * nf + k] += dRe;
        cIm[static_cast<size_t>(level) * nf + k] += dIm;
      }
    }
    std::swap(at[static_cast<size_t>(r)], at[static_cast<size_t>(s)]);
    m.rank[p] = static_cast<uint16_t>(s);
    m.rank[q] = static_cast<uint16_t>(r);
  }
}

std::vector<uint8_t> ByteThresholds(const RankMatrix& m) {
  const int cells = m.width * m.height;
  std::vector<uint8_t> thresholds;
  thresholds.reserve(m.rank.size());
  for (uint16_t r : m.rank) thresholds.push_back(static_cast<uint8_t>(1 + int64_t{r} * 255 / cells));
  return thresholds;
}

std::vector<uint8_t> NodeDitherFor(const RankMatrix& screen) {
  const int64_t cells = int64_t{screen.width} * screen.height;
  // First rank and size of every threshold level of the screen.
  std::vector<int64_t> first(256, -1), size(256, 0);
  for (int64_t r = 0; r < cells; ++r) {
    const int level = static_cast<int>(1 + r * 255 / cells);
    if (first[level] < 0) first[level] = r;
    ++size[level];
  }
  std::vector<uint8_t> out(screen.rank.size());
  for (size_t p = 0; p < out.size(); ++p) {
    const int64_t r = screen.rank[p];
    const int level = static_cast<int>(1 + r * 255 / cells);
    // The middle of the cell's share of 1 .. 255, so that a fraction between
    // the nodes takes the upper one as often as it should on average.
    out[p] = static_cast<uint8_t>(1 + (2 * (r - first[level]) + 1) * 255 / (2 * size[level]));
  }
  return out;
}

RankMatrix ClusteredDot(int period, Aspect aspect) {
  const int w = 2 * period * aspect.x;
  const int h = 2 * period * aspect.y;
  struct Cell {
    int64_t distance;
    int dot;
    int index;
  };
  std::vector<Cell> cells;
  cells.reserve(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      // Dot centres, in matrix pixels: (period * m * aspect.x,
      // period * n * aspect.y) with m + n even; the tile holds the dots at
      // (0, 0) and (period, period) and their wrapped copies.
      int64_t best = -1;
      int bestDot = 0;
      for (int m = -2; m <= 2; ++m) {
        for (int k = -2; k <= 2; ++k) {
          if (((m + k) & 1) != 0) continue;
          const int64_t dx = x - static_cast<int64_t>(period) * m * aspect.x;
          const int64_t dy = y - static_cast<int64_t>(period) * k * aspect.y;
          // Physical squared distance scaled by (aspect.x * aspect.y)^2.
          const int64_t d = dx * dx * aspect.y * aspect.y + dy * dy * aspect.x * aspect.x;
          if (best < 0 || d < best) {
            best = d;
            bestDot = m & 1;  // dots with odd m and k are the tile's second dot
          }
        }
      }
      cells.push_back({best, bestDot, y * w + x});
    }
  }
  std::sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) {
    if (a.distance != b.distance) return a.distance < b.distance;
    if (a.dot != b.dot) return a.dot < b.dot;
    return a.index < b.index;
  });
  RankMatrix out{w, h, std::vector<uint16_t>(static_cast<size_t>(w) * h, 0)};
  for (size_t r = 0; r < cells.size(); ++r) out.rank[cells[r].index] = static_cast<uint16_t>(r);
  return out;
}

}  // namespace vantik::resgen
