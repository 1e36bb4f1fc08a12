// Engine A's threshold matrix (halftone blocks 301..399 as the screen table
// names them): byte 0 the width, byte 1 the height (a stored 255 means 256
// in either), then width x height byte thresholds, row after row.  A width
// or height of 0 is taken as it stands: the band refuses to dither against
// such a matrix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/format.h"

namespace vantik::formats {

struct Matrix8View {
  uint16_t width;
  uint16_t height;
  const uint8_t* cells;  // width x height bytes
};

// Only a block that carries its length can be found short.
Outcome ParseMatrix8(const void* data, size_t length, Matrix8View& out);
std::vector<uint8_t> WriteMatrix8(int width, int height, const std::vector<uint8_t>& cells);

bool FitsMatrix8(int number, std::span<const uint8_t> bytes);

}  // namespace vantik::formats
