// The calibration curve block: 21 tone curves shared by every ink.
//
// A user level picks one row for all inks at once, and the row acts on the
// colour tables' ink values.  A plain power curve bends each ink's value by
// a different factor wherever a gray is made of unequal cyan, magenta and
// yellow (gray balance, black generation, dot weights), so lighter or darker
// grays drift green or red.  The rows here are fitted instead: for every
// row, the curve that, applied to the neutral-axis nodes of all the colour
// tables, prints them through the print model with the a* and b* they have
// uncalibrated and with the row's darkness.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "printmodel/print_model.h"

namespace vantik::resgen {

// The neutral axis of one four-ink colour table: its diagonal nodes (cyan,
// magenta, yellow, black values) and how a value turns into covered area.
struct NeutralAxis {
  std::vector<std::array<uint8_t, 4>> nodes;
  bool compensated;  // values are dot-weight encoded (see LevelForCoverage)
  int weightLight;
  int weightFull;
};

inline constexpr int kCurveRows = 21;
inline constexpr int kIdentityRow = 10;

// The darkness the gray of darkness d (0 paper .. 1 solid) aims at on row r:
// d ^ (1.8 ^ ((10 - r) / 10)), so lower rows print lighter, higher darker.
double RowDarkness(int row, double darkness);

// Fits the 21 rows; row 10 is the identity, every row non-decreasing from 0
// and each row at least as dark as the one below it.  The lighter rows take
// ink off solids too: holding them at full ink would leave the darkest grays
// with the uncalibrated balance of inks and tint them.
std::array<std::array<uint8_t, 256>, kCurveRows> NeutralCurveRows(
    const std::vector<NeutralAxis>& axes, const printmodel::PrintModel& model);

}  // namespace vantik::resgen
