// Engine A resource dialogue on arbitrary blocks: the screen-table text and
// the threshold matrices, through the length-carrying form (and the screen
// text also through the legacy form, NUL-terminated), then one band and
// Delete.  Nothing may be read outside a block, and nothing may leak.
//
// Input: 12 bytes of settings, then the blocks in the order asked for,
// separated by "@@@" (so that seeds can be written by hand).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/common/halftone_a_fixtures.h"
#include "interface/memblock.h"

using namespace vantik::testing;

namespace {

std::vector<std::string> SplitBlocks(const uint8_t* data, size_t size) {
  std::vector<std::string> blocks;
  const std::string all(reinterpret_cast<const char*>(data), size);
  size_t from = 0;
  for (;;) {
    const size_t at = all.find("@@@", from);
    blocks.push_back(all.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) break;
    from = at + 3;
  }
  return blocks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  const int selector = data[0] % 15 - 2;
  const int renderMode = data[1] % 5;
  const int lutMode = data[2] & 1;
  const int scale = (data[2] >> 1) % 6 - 2;
  const int a = data[3] | data[4] << 8;
  const int b = data[5] | data[6] << 8;
  const bool legacyScreen = (data[7] & 1) != 0;
  const uint32_t width = data[8] * 2u;
  const int startBit = data[9] % 8;
  const uint32_t x = data[10] * 37u, y = data[11] * 11u;
  const std::vector<std::string> blocks = SplitBlocks(data + 12, size - 12);

  const long live = vantik::MemLiveBlocks();
  {
    LutFixture lut(3, LutFixture::Complement, a, b, selector);
    EngineA engine(ParamsA(renderMode, lutMode, scale, width), &lut.lut);
    if (engine.createCode != 0) std::abort();
    for (size_t i = 0; i < blocks.size() && engine.key != -1; ++i) {
      const std::string& block = blocks[i];
      if (i == 0 && legacyScreen) {
        HalftoneSetResourceThk(engine.handle, block.c_str(), &engine.key);
        continue;
      }
      // An exact-size copy so that the sanitizer sees any read past it.
      uint8_t* exact = block.empty() ? nullptr : new uint8_t[block.size()];
      if (exact != nullptr) std::memcpy(exact, block.data(), block.size());
      HalftoneSetResourceWithLength(engine.handle, exact, block.size(), &engine.key);
      delete[] exact;
    }
    std::vector<uint8_t> src(16 * size_t{width} + 16, 100);
    const int32_t stride = static_cast<int32_t>(width / 4 + 2);
    std::vector<uint8_t> planes(4 * size_t(stride), 0);
    engine.Band(src.data(), planes.data(), stride, startBit, width, x, y);
  }
  if (vantik::MemLiveBlocks() != live) std::abort();
  return 0;
}
