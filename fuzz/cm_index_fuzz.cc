// Colour-table index text through the length-carrying set-resource call.  The
// first byte picks the instance's selection so that matching paths run too;
// the rest is the index, copied to a block of exactly its size.
#include <cstdint>
#include <cstring>
#include <memory>

#include "interface/params.h"
#include "vantik/vantik.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  ColorAdjustRecord adjust{};
  adjust.field[vantik::kAdjustTableSelector] = data[0] & 3;
  adjust.field[vantik::kAdjustPaper] = (data[0] >> 2) & 7;
  adjust.field[vantik::kAdjustColorModeA] =
      (data[0] >> 5) & 1 ? vantik::kColorModeABlackOnly : vantik::kColorModeAPlain;
  HalftoneParams params{};
  params.kind = 3;
  params.renderMode = 3;
  params.xResolution = 720;
  params.yResolution = 720;
  int32_t inOut = 0;
  CmHandle cm = nullptr;
  if (CmNewThk(&adjust, nullptr, nullptr, nullptr, &params, nullptr, nullptr, &inOut, &cm) !=
      RC_OK) {
    return 0;
  }
  const size_t length = size - 1;
  auto block = std::make_unique<uint8_t[]>(length == 0 ? 1 : length);
  if (length != 0) std::memcpy(block.get(), data + 1, length);
  CmSetResourceWithLength(cm, block.get(), length, &inOut);
  // Whatever the outcome, a second call must not run.
  CmSetResourceWithLength(cm, block.get(), length, &inOut);
  CmDeleteThk(cm);
  return 0;
}
