// Calibration reference levels (colour block 990): one level byte per
// channel, the level the curve block's middle row was made for.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/format.h"
#include "interface/byte_reader.h"

namespace vantik::formats {

// Points at the first `channels` bytes; refused when the block is shorter.
Outcome ParseReferenceLevels(ByteReader& block, int channels, const uint8_t** levels);
std::vector<uint8_t> WriteReferenceLevels(const std::vector<uint8_t>& levels);

bool FitsReferenceLevels(int number, std::span<const uint8_t> bytes);

}  // namespace vantik::formats
