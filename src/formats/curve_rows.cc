#include "formats/curve_rows.h"

namespace vantik::formats {

Outcome ParseCurveRows(ByteReader& block, CurveRowsView& out) {
  if (!block.Has(0, static_cast<size_t>(kCurveRowCount) * kCurveRowBytes))
    return Outcome::Bad("shorter than 21 rows of 256 bytes");
  out.rows = block.data();
  return {};
}

std::vector<uint8_t> WriteCurveRows(
    const std::array<std::array<uint8_t, kCurveRowBytes>, kCurveRowCount>& rows) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(kCurveRowCount) * kCurveRowBytes);
  for (const auto& row : rows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

bool FitsCurveRows(int, std::span<const uint8_t> bytes) {
  return bytes.size() == static_cast<size_t>(kCurveRowCount) * kCurveRowBytes;
}

}  // namespace vantik::formats
