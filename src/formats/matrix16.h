// Engine B's threshold matrix: width, height, bytes per cell and one unused
// byte, then width x height 16-bit little-endian cells, row after row.
// Width and height must not be 0.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/format.h"
#include "interface/byte_reader.h"

namespace vantik::formats {

struct Matrix16View {
  uint32_t width;
  uint32_t height;
  uint32_t bytesPerCell;  // as stored; the cells are 2 bytes whatever it says
  uint32_t cells;         // width x height
  const uint8_t* data;    // 2 x cells bytes

  int16_t Cell(uint32_t i) const {
    return static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
};

Outcome ParseMatrix16(ByteReader& block, Matrix16View& out);
std::vector<uint8_t> WriteMatrix16(int width, int height, const std::vector<uint16_t>& cells);

bool FitsMatrix16(int number, std::span<const uint8_t> bytes);

}  // namespace vantik::formats
