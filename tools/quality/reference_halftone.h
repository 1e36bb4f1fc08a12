// Two textbook halftoners the quality report measures the methods against:
// plain Floyd-Steinberg error diffusion and a plain ordered dither with the
// 16 x 16 Bayer matrix.  They are comparison baselines that halftone one ink
// plane at a time, not print engines: the report inks every plane on its
// own, with no ink limits and no interaction between inks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vantik::tool::quality {

// Coverage 0..1 per dot (row-major) in, one byte per dot out (1 = dot).
// Floyd-Steinberg: rows left to right, the error split 7/16 right, 3/16
// below left, 5/16 below, 1/16 below right.
std::vector<uint8_t> FloydSteinberg(std::span<const float> coverage, int width, int height);
// Ordered dither: a dot where the coverage exceeds the Bayer threshold of
// its place in the 16 x 16 tile.
std::vector<uint8_t> BayerDither(std::span<const float> coverage, int width, int height);

}  // namespace vantik::tool::quality
