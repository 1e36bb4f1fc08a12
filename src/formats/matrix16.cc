#include "formats/matrix16.h"

namespace vantik::formats {

Outcome ParseMatrix16(ByteReader& block, Matrix16View& v) {
  v.width = block.U8();
  v.height = block.U8();
  v.bytesPerCell = block.U8();
  block.Skip(1);
  if (!block.ok()) return Outcome::Bad("shorter than its 4-byte header");
  if (v.width == 0 || v.height == 0) return Outcome::Bad("a width or height of 0");
  v.cells = v.width * v.height;
  if (!block.HasMore(2 * static_cast<size_t>(v.cells))) return Outcome::Bad("shorter than its cells");
  v.data = block.data() + block.pos();
  return {};
}

std::vector<uint8_t> WriteMatrix16(int width, int height, const std::vector<uint16_t>& cells) {
  std::vector<uint8_t> out{static_cast<uint8_t>(width), static_cast<uint8_t>(height), 2, 0};
  for (uint16_t c : cells) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

bool FitsMatrix16(int, std::span<const uint8_t> bytes) {
  const size_t n = bytes.size();
  if (n < 4 || bytes[2] != 2) return false;
  const size_t cells = static_cast<size_t>(bytes[0]) * bytes[1];
  return cells > 0 && n == 4 + 2 * cells;
}

}  // namespace vantik::formats
