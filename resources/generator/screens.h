// Threshold screens of the default resource set: blue-noise rank matrices
// made by void-and-cluster, and clustered-dot rank matrices.
#pragma once

#include <cstdint>
#include <vector>

namespace vantik::resgen {

// A rank matrix: every value 0 .. width * height - 1 exactly once, row-major.
struct RankMatrix {
  int width = 0;
  int height = 0;
  std::vector<uint16_t> rank;
};

// Pixel aspect of a resolution class: how many matrix columns (rows) make
// one unit of physical distance.  Square dots are {1, 1}; 1440 x 720 dots
// are twice as dense across the line, {2, 1}; 720 x 1440 dots {1, 2}.
struct Aspect {
  int x = 1;
  int y = 1;
};

// Void-and-cluster on a torus with a Gaussian energy (standard deviation
// `sigma` in physical units of one square dot area).  The energy is updated
// incrementally over a truncated kernel window when a pixel changes, so the
// cost is one window per step plus one scan for the extreme pixel.  Fully
// deterministic for a seed.
//
// A wider Gaussian weighs clumps and gaps over a larger neighbourhood, so
// the screen's levels hold less power at low frequencies: 2.5 gives a 64 x 64
// screen about half the power below 1/16 cycles per dot that 1.5 does, at
// mid tones, where a screen that repeats every 64 dots shows it most.
inline constexpr double kDefaultSigma = 1.5;
inline constexpr double kWideSigma = 2.5;
RankMatrix VoidAndCluster(int width, int height, Aspect aspect, uint64_t seed,
                          double sigma = kDefaultSigma);

// Lowers the power of a square screen's levels below 1/16 cycles per dot
// (sides 64 and 128; other sizes are left alone): `tries` random pairs of
// ranks at most `maxGap` apart are swapped when the swap lowers the summed power of the
// levels between them, each level weighted by the inverse of its variance.
// A swap changes only the levels between its two ranks, so the screen stays
// a stack of nested patterns.  Integer arithmetic throughout: the result is
// the same on every machine.  A screen that repeats every 64 dots shows its
// low-frequency power at multiples of 1/64 cycles per dot, where the eye
// sees it as pattern; void-and-cluster leaves some there.
void RefineLowFrequencies(RankMatrix& m, int maxGap, int tries, uint64_t seed);

// Byte thresholds 1 .. 255 of a rank matrix: a level v covers the cells
// whose threshold is at most v, so level 0 prints nothing and 255 prints
// every cell.
std::vector<uint8_t> ByteThresholds(const RankMatrix& m);

// A node-choice dither for engine A that does not beat against `screen`: its
// byte thresholds (1 .. 255, same size as the screen, read at the same
// phase) order the cells within each of the screen's threshold levels by
// their rank there.  Where a colour falls between two grid nodes, the
// nodes' inks differ by a few screen levels; the cells of those levels that
// take the upper node are then the first of each level in the screen's own
// order, so the dots stay a sum of a few blue-noise slices instead of the
// overlap of two unrelated patterns, which is white noise.  Within each
// level the thresholds run evenly from 1 to 255, so every fraction between
// the nodes still prints its share.  Meant for screens of many cells a level
// (64 x 64 and up); a small screen leaves too few cells a level to spread a
// fraction.
std::vector<uint8_t> NodeDitherFor(const RankMatrix& screen);

// Clustered-dot screen: round dots on a 45-degree lattice of spacing
// period * sqrt(2) physical units; the matrix holds two dots per tile and is
// 2 * period * aspect.x wide and 2 * period * aspect.y high.  Pixels are
// ranked by distance from their dot centre; equal distances alternate between
// the dots so that every rank is a distinct level.
RankMatrix ClusteredDot(int period, Aspect aspect);

}  // namespace vantik::resgen
