// Engine B's node positions (the block the id list names first): a 16-bit
// little-endian count, which must be 32, then 32 positions rising strictly
// from 0 to 255.  The engine re-samples the colour table onto these nodes on
// all three axes.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/format.h"
#include "interface/byte_reader.h"

namespace vantik::formats {

constexpr int kNodePositionCount = 32;

struct NodePositions {
  uint8_t positions[kNodePositionCount];
};

// Codes: RC_BAD_RESOURCE for a block shorter than its count or positions or
// positions that do not rise, RC_BAD_VALUE for a count other than 32.
Outcome ParseNodePositions(ByteReader& block, NodePositions& out);
std::vector<uint8_t> WriteNodePositions(const std::vector<uint8_t>& positions);

bool FitsNodePositions(int number, std::span<const uint8_t> bytes);

}  // namespace vantik::formats
