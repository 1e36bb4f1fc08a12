// The calibration blocks (980, 990, the second index and the curve block)
// through the length-carrying set-resource call, on an instance whose table
// step has left a small table and started the calibration.
//
// Input: channels (1..19), the calibration key, one level per channel, then
// up to four blocks, each a 16-bit little-endian length and its bytes.  Each
// block is copied to a heap block of exactly its size.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "colormatch/cm_calibration.h"
#include "colormatch/cm_instance.h"
#include "interface/memblock.h"
#include "vantik/vantik.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int channels = 1 + data[0] % 19;
  if (size < 2 + static_cast<size_t>(channels)) return 0;
  std::vector<uint8_t> record = {0x43, 0x57, 0x3A, data[1]};
  for (int i = 0; i < channels; ++i) record.push_back(static_cast<uint8_t>(30 + data[2 + i] % 41));
  record.push_back(0xFE);
  record.push_back(0xFF);
  size_t pos = 2 + static_cast<size_t>(channels);

  TaggedValuePair pair{512, record.data()};
  TaggedValueList list{1, &pair};
  ColorAdjustRecord adjust{};
  adjust.field[7] = 1;
  HalftoneParams params{};
  params.kind = 3;
  params.xResolution = 720;
  params.yResolution = 720;
  int32_t inOut = 0;
  CmHandle cm = nullptr;
  if (CmNewThk(&adjust, nullptr, nullptr, &list, &params, nullptr, nullptr, &inOut, &cm) !=
      RC_OK) {
    return 0;
  }
  // The state the table step leaves: a 2 x 2 x 2 table, the calibration begun.
  auto* inst = static_cast<vantik::colormatch::CmInstance*>(cm);
  CmLut* lut = inst->lut;
  lut->channels = channels;
  lut->gridCountA = lut->gridCountB = lut->gridCountC = 2;
  lut->tableBlock = vantik::MemAlloc(8 * static_cast<size_t>(channels), 1);
  lut->table = static_cast<uint8_t*>(lut->tableBlock);
  inst->loadState = 3;
  if (vantik::colormatch::CmCalibrationStart(*inst, &inOut) == RC_OK && inOut == 980) {
    for (int step = 0; step < 4 && pos + 2 <= size; ++step) {
      size_t length = data[pos] | (data[pos + 1] << 8);
      pos += 2;
      if (length > size - pos) length = size - pos;
      auto block = std::make_unique<uint8_t[]>(length == 0 ? 1 : length);
      if (length != 0) std::memcpy(block.get(), data + pos, length);
      pos += length;
      if (CmSetResourceWithLength(cm, block.get(), length, &inOut) != RC_OK || inOut == -1) break;
    }
  }
  CmDeleteThk(cm);
  return 0;
}
