#include "threads/engine_a_job.h"

#include "common/halftone_a_fixtures.h"

namespace vantik {

std::vector<uint8_t> EngineABands(int method, uint32_t seed) {
  using namespace vantik::testing;
  LutFixture lut(5, LutFixture::Complement);
  EngineA engine(ParamsA(3, 1, 0, 96), &lut.lut);
  if (engine.createCode != 0 || engine.Load(StandardBlocks(method)) != 0) return {0xEE, 4};
  std::vector<uint8_t> out;
  uint32_t s = seed * 2654435761u + 1;
  for (uint32_t y = 0; y < 6; ++y) {
    std::vector<uint8_t> src(4 * 96 + 4);
    for (uint8_t& v : src) {
      s = s * 1664525u + 1013904223u;
      v = static_cast<uint8_t>(s >> 24);
    }
    std::vector<uint8_t> planes(4 * 13, 0);
    if (engine.Band(src.data(), planes.data(), 13, 0, 96, 0, y) != 0) return {0xEE, 5};
    out.insert(out.end(), planes.begin(), planes.end());
  }
  return out;
}

}  // namespace vantik
