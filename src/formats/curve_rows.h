// Calibration curve block (the block the calibration index names): 21 rows
// of 256 bytes, each a tone curve.  A channel takes the row of its level
// difference; the middle row (10) is chosen when the levels match.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "formats/format.h"
#include "interface/byte_reader.h"

namespace vantik::formats {

constexpr int kCurveRowCount = 21;
constexpr int kCurveRowBytes = 256;

struct CurveRowsView {
  const uint8_t* rows;  // row r at r x 256

  const uint8_t* Row(int r) const { return rows + r * kCurveRowBytes; }
};

Outcome ParseCurveRows(ByteReader& block, CurveRowsView& out);
std::vector<uint8_t> WriteCurveRows(const std::array<std::array<uint8_t, kCurveRowBytes>, kCurveRowCount>& rows);

bool FitsCurveRows(int number, std::span<const uint8_t> bytes);

}  // namespace vantik::formats
