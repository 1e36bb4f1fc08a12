#include "formats/reference_levels.h"

namespace vantik::formats {

constexpr int kReferenceLevelsNumber = 990;

Outcome ParseReferenceLevels(ByteReader& block, int channels, const uint8_t** levels) {
  if (channels < 0 || !block.Has(0, static_cast<size_t>(channels)))
    return Outcome::Bad("shorter than one level per channel");
  *levels = block.data();
  return {};
}

std::vector<uint8_t> WriteReferenceLevels(const std::vector<uint8_t>& levels) { return levels; }

bool FitsReferenceLevels(int number, std::span<const uint8_t>) {
  return number == kReferenceLevelsNumber;
}

}  // namespace vantik::formats
