// Colour separation of the default resource set: RGB to cyan, magenta,
// yellow and black coverage, and the colour-table blocks built from it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vantik::resgen {

// How an engine lays the dots of different inks over each other, which
// decides how ink amounts combine on paper.
enum class DotLayout {
  // Dots of each ink fall independently of the others (error diffusion):
  // the reflectance of a channel is the product of the uncovered fractions.
  kIndependent,
  // Every ink is thresholded against the same cell, black first, so the dots
  // nest: where black prints, the colour dots under it are dropped.  Black
  // then replaces the darkest part of the three-colour composite.
  kNested,
  // Stacked along the threshold axis: black lowest, then cyan and magenta
  // beside it, yellow from the top.  Black takes the whole gray component,
  // so cyan, magenta and black fit in the axis without being cut off.
  kStacked,
  // Cyan and yellow dithered beside black (coverages add), magenta diffused
  // independently of it: the kind-3 kernel that diffuses magenta.
  kDitherBesideBlack,
  // All three colour inks dithered beside black: the kind-3 kernel that
  // dithers every ink.
  kAllBesideBlack,
  // The four-ink diffusion kernels: cyan and black share the sign of the
  // threshold jitter, so their dots gather on the same cells; magenta takes
  // the opposite sign and avoids them; yellow is ordered and independent.
  kDiffusion,
};

struct PaperModel {
  const char* name;         // tag written into the block
  double inkLimit;          // total coverage of the four inks, 1.0 = one solid ink
  double blackStart;        // gray component where black generation begins
  double blackPower;        // shape of black generation above the start
  int weightLight;          // dot weight at no ink, percent
  int weightFull;           // dot weight at full ink, percent
  int limitParam;           // ink-total limit for the ordered-dither level table
};

struct Coverage {
  double c, m, y, k;  // 0 .. 1
};

// Separation of one colour (components 0 .. 1, 1 = full light); `shift` is
// added to cyan, magenta and yellow before the ink limit.
Coverage Separate(double r, double g, double b, const PaperModel& paper, DotLayout layout,
                  const std::array<double, 3>& shift = {0.0, 0.0, 0.0});

// Black-only coverage of a gray level (0 .. 1): its complement.
double BlackOnly(double gray);

// Dot weight of a level as the error-diffusion and matrix engine derives it
// from the table's weights: a dot at level v stands for dotWeight(v) / 255 of
// a full dot, so v prints v / dotWeight(v) of the cells.
int DotWeight(int level, int weightLight, int weightFull);

// Level whose printed coverage under those weights is closest to `coverage`.
uint8_t LevelForCoverage(double coverage, int weightLight, int weightFull);

// Grid node positions: 17 nodes, i * 16 for i < 16, then 255.
std::vector<uint8_t> GridPositions();

struct TableDesign {
  std::string tag;     // up to 15 bytes of label at the block's start
  int channels;        // 4 (C, M, Y, K) or 1 (K)
  DotLayout layout;
  bool compensateWeights;  // encode levels through the dot-weight table
  PaperModel paper;
};

// Colour-table block: header, node positions, table, gray levels and the
// explicit neutral axis.
std::vector<uint8_t> BuildTableBlock(const TableDesign& design);

}  // namespace vantik::resgen
