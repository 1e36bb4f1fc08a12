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
#include <functional>
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

// What the gray levels of a ramp print, measured on the simulated print,
// with `curve` applied to every ink of the colour table; empty when the
// print path refuses.
using RampPrinter = std::function<std::vector<printmodel::Lab>(const std::array<uint8_t, 256>& curve)>;

struct PrintedCurveFigures {
  // Largest |a*| or |b*| of the printed ramp above L* 10, on the rows
  // of levels 30, 50 and 70 (rows 0, 10 and 20).
  double castLight = 0, castMid = 0, castDark = 0;
  int prints = 0;
};

// The rows for one colour table whose neutral axis is `axis` at node
// positions `positions`, checked by printing: each row aims the printed
// gray ramp at neutral and at the row's darkness (RowDarkness of what row
// 10, the identity, prints).  The model predicts how a change of the curve
// moves each gray; what the ramp really printed corrects the prediction,
// round by round, and each row keeps the curve that printed best.  Rows
// are fitted outward from row 10, each bounded by the row inside it, so
// they stay ordered.  `grays` are the levels `print` prints.
std::array<std::array<uint8_t, 256>, kCurveRows> PrintedCurveRows(
    const NeutralAxis& axis, const std::vector<uint8_t>& positions, const std::vector<uint8_t>& grays,
    const printmodel::PrintModel& model, const RampPrinter& print, int rounds,
    PrintedCurveFigures* figures);

}  // namespace vantik::resgen
