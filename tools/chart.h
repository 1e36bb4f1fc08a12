// The test chart: gray and primary ramps, colour patches, skin tones, gray
// steps, fine lines and a smooth radial gradient, drawn as packed RGB.
#pragma once

#include <cstdint>
#include <vector>

namespace vantik::tool {

std::vector<uint8_t> DrawChart(int width, int height);

}  // namespace vantik::tool
