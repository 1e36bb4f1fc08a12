#include "formats/node_positions.h"

namespace vantik::formats {

Outcome ParseNodePositions(ByteReader& block, NodePositions& out) {
  const uint16_t count = block.U16LE();
  if (!block.ok()) return Outcome::Bad("shorter than its count");
  if (count != kNodePositionCount) return {RC_BAD_VALUE, "the count is not 32"};
  if (!block.Bytes(out.positions, kNodePositionCount))
    return Outcome::Bad("shorter than its 32 positions");
  if (!PositionsRise(out.positions, kNodePositionCount))
    return Outcome::Bad("positions do not rise strictly from 0 to 255");
  return {};
}

std::vector<uint8_t> WriteNodePositions(const std::vector<uint8_t>& positions) {
  std::vector<uint8_t> out{static_cast<uint8_t>(positions.size() & 0xFF),
                           static_cast<uint8_t>(positions.size() >> 8)};
  out.insert(out.end(), positions.begin(), positions.end());
  return out;
}

bool FitsNodePositions(int, std::span<const uint8_t> bytes) {
  return bytes.size() == 2 + kNodePositionCount && bytes[0] == kNodePositionCount && bytes[1] == 0;
}

}  // namespace vantik::formats
