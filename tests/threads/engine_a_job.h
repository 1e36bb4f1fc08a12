// Engine A's part of the thread tests, in a file of its own because its
// fixtures and the small resource set both name a helper Bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace vantik {

// An engine A instance made and loaded through the entry points with a
// screen of `method`; the planes of six bands of pixels derived from seed,
// or {0xEE, n} when step n failed.
std::vector<uint8_t> EngineABands(int method, uint32_t seed);

}  // namespace vantik
