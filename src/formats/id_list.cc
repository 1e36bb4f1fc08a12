#include "formats/id_list.h"

namespace vantik::formats {

Outcome ParseIdList(ByteReader& block, IdList& out) {
  out.count = 0;
  for (;;) {
    const int16_t id = block.S16LE();
    if (!block.ok()) return Outcome::Bad("the list runs past its block without its -1 end");
    if (id == kIdListEnd) break;
    if (out.count == kIdListMaxIds) return Outcome::Bad("more than 15 ids");
    out.ids[out.count++] = id;
  }
  out.ids[out.count] = kIdListEnd;
  return {};
}

std::vector<uint8_t> WriteIdList(const std::vector<int16_t>& ids) {
  std::vector<uint8_t> out;
  for (int16_t id : ids) {
    out.push_back(static_cast<uint8_t>(id & 0xFF));
    out.push_back(static_cast<uint8_t>((id >> 8) & 0xFF));
  }
  out.push_back(0xFF);
  out.push_back(0xFF);
  return out;
}

// A short, even block that ends with its -1.
bool FitsIdList(int, std::span<const uint8_t> bytes) {
  const size_t n = bytes.size();
  return n >= 2 && n % 2 == 0 && n <= 32 && bytes[n - 2] == 0xFF && bytes[n - 1] == 0xFF;
}

}  // namespace vantik::formats
