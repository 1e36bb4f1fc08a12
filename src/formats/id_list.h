// Engine B's resource-id list (the halftone block the colour-table index
// names): 16-bit little-endian ids, ended by -1; at most 15 ids.  Step 2 of
// the engine's dialogue takes the first id, step 3 the second, or the third
// when x = 2 y.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/format.h"
#include "interface/byte_reader.h"

namespace vantik::formats {

constexpr int kIdListMaxIds = 15;
constexpr int16_t kIdListEnd = -1;

struct IdList {
  int16_t ids[kIdListMaxIds + 1];  // the ids, then -1
  int count;
};

Outcome ParseIdList(ByteReader& block, IdList& out);
std::vector<uint8_t> WriteIdList(const std::vector<int16_t>& ids);

bool FitsIdList(int number, std::span<const uint8_t> bytes);

}  // namespace vantik::formats
