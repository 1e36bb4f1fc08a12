// Calibration from measured ink ramps.
//
// A printer whose ink spreads more or less than intended prints each ink's
// values too dark or too light.  Measured ramps of each ink alone give its
// density (-log10 of the light it leaves, in the X, Y or Z channel it
// absorbs most) against its value; the calibration maps each value to the
// value that prints density proportional to it.
//
// The resource sequence reads calibration as one curve block of 21 tone
// curves, shared by all inks, and a reference level per ink: a user level
// (30..70) selects row (user - reference + 20) / 2.  Each ink's own
// linearising curve goes on a row of its own, placed by how much ink the
// curve asks for (lighter curves lower), and its reference level makes the
// user level 50 select that row.  Rows between two inks' rows blend their
// curves; rows beyond the outermost step lightness as the built-in curve
// block does.  Lower levels therefore still print lighter, higher darker.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "printmodel/print_model.h"

namespace vantik::printmodel {

struct CalibrationBlocks {
  std::vector<uint8_t> curves;           // 21 rows of 256 bytes
  std::array<uint8_t, kInks> reference;  // reference level per ink
  std::array<int, kInks> row;            // row each ink takes at level 50
  // Each ink's own linearising curve and how far its row is from it
  // (largest difference in values; inks that share a row share a curve).
  std::array<std::array<uint8_t, 256>, kInks> linearising;
  std::array<int, kInks> rowError;
};

// Builds the calibration from ramps of each ink alone (and the bare paper);
// a set without the paper or with fewer than two steps of an ink is refused.
Result<CalibrationBlocks> BuildCalibration(const MeasurementSet& set);

// The user level `level` (30..70) maps each ink through this row.
int CalibrationRow(int level, int reference);

// Density of each ink's ramp in the channel it absorbs most: (value 0..1,
// density) pairs sorted by value, the paper first.
Result<std::array<std::vector<std::array<double, 2>>, kInks>> InkDensities(
    const MeasurementSet& set);

// The patches of a calibration chart: paper, then each ink alone in
// `steps` even steps up to solid.
std::vector<std::array<double, kInks>> CalibrationPatches(int steps);
// The chart as CGATS text with CMYK_C .. CMYK_K columns, for the measuring
// side to fill in with XYZ or L*a*b*.
std::string CalibrationTarget(int steps);

}  // namespace vantik::printmodel
