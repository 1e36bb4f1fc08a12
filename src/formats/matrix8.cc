#include "formats/matrix8.h"

#include "interface/byte_reader.h"

namespace vantik::formats {
namespace {

uint16_t Extent(uint8_t stored) { return stored == 255 ? 256 : stored; }
uint8_t Stored(int extent) { return static_cast<uint8_t>(extent == 256 ? 255 : extent); }

}  // namespace

Outcome ParseMatrix8(const void* data, size_t length, Matrix8View& v) {
  ByteReader reader(data, length);
  v.width = Extent(reader.U8());
  v.height = Extent(reader.U8());
  const size_t bytes = size_t{v.width} * v.height;
  if (!reader.ok()) return Outcome::Bad("shorter than its two size bytes");
  if (!reader.HasMore(bytes)) return Outcome::Bad("shorter than its thresholds");
  v.cells = reader.data() + reader.pos();
  return {};
}

std::vector<uint8_t> WriteMatrix8(int width, int height, const std::vector<uint8_t>& cells) {
  std::vector<uint8_t> out{Stored(width), Stored(height)};
  out.insert(out.end(), cells.begin(), cells.end());
  return out;
}

// The numbers engine A's screen table may name, and exactly its cells.
bool FitsMatrix8(int number, std::span<const uint8_t> bytes) {
  const size_t n = bytes.size();
  if (n < 2 || number < 300 || number > 399) return false;
  const size_t cells = size_t{Extent(bytes[0])} * Extent(bytes[1]);
  return cells > 0 && n == 2 + cells;
}

}  // namespace vantik::formats
