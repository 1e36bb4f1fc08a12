// Human-readable decoding of resource blocks for `vantik resources show`.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "vantik/default_resources.h"

namespace vantik::resources {

// Multi-line description: index entries, table header fields, id lists,
// node positions, matrix statistics, calibration contents.  Never reads
// outside the block; a malformed block is described as far as it goes.
std::string Describe(const Block& block);

// Statistics of a threshold matrix of `width` x `height` cells.
struct MatrixStats {
  int width = 0;
  int height = 0;
  int minValue = 0;
  int maxValue = 0;
  int distinct = 0;          // number of distinct values
  bool permutation = false;  // values are exactly a permutation of 0 .. cells - 1
  // Share of the AC power of the 50 % pattern at spatial frequencies below
  // 1/8 cycle per dot; white noise gives about 0.05, blue noise far less.
  double lowFrequencyShare = 0.0;
};
MatrixStats AnalyseMatrix(std::span<const int> cells, int width, int height);

}  // namespace vantik::resources
