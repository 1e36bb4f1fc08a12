// HalftoneThk on random runs of a ready engine B instance: random parameter
// set (and so kernel), random matrix, then runs with a random first bit,
// count, x0, y and pixels.  Source and planes are allocated to the exact
// size a run may touch, so any read or write past them is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "vantik/vantik.h"

namespace {

std::vector<uint8_t> Le16(std::initializer_list<int> values) {
  std::vector<uint8_t> v;
  for (int x : values) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static const int32_t kResolutions[][2] = {
      {720, 720}, {1440, 720}, {720, 1440}, {720, 360}, {360, 720}, {1440, 1440}};

  HalftoneParams p{};
  p.kind = in.PickValueInArray({0, 1, 3, 5, -1});
  p.variant = in.ConsumeIntegralInRange<int32_t>(0, 3);
  p.lutMode = in.PickValueInArray({0, 1, 2, 3});
  p.renderMode = p.lutMode == 0 ? 0 : in.PickValueInArray({1, 2, 4});
  const auto& r = kResolutions[in.ConsumeIntegralInRange<size_t>(0, 5)];
  p.xResolution = r[0];
  p.yResolution = r[1];
  p.horizontalScale = in.ConsumeIntegralInRange<int32_t>(-1, 1);
  p.lineWidth = in.ConsumeIntegralInRange<uint32_t>(1, 2000);
  const bool colour = p.lutMode != 0;

  // A CmLut with a 5-node grid and a fuzzed table.
  CmLut lut{};
  lut.channels = 4;
  lut.gridCountA = lut.gridCountB = lut.gridCountC = 5;
  const uint8_t grid[5] = {0, 64, 128, 192, 255};
  for (int i = 0; i < 5; ++i) lut.gridA[i] = lut.gridB[i] = lut.gridC[i] = grid[i];
  lut.weightLight = in.PickValueInArray({250, 350, 500});
  lut.weightFull = in.ConsumeIntegralInRange<int32_t>(1, 300);
  for (int i = 0; i < 256; ++i) lut.toneCurve[i] = in.ConsumeIntegral<uint8_t>();
  std::vector<uint8_t> table(125 * 4);
  for (uint8_t& b : table) b = in.ConsumeIntegral<uint8_t>();
  lut.table = table.data();
  lut.tableBlock = table.data();

  const uint32_t w = 1u << in.ConsumeIntegralInRange(0, 7);
  const uint32_t h = in.ConsumeIntegralInRange<uint32_t>(1, 255);
  std::vector<uint8_t> matrix = {static_cast<uint8_t>(w), static_cast<uint8_t>(h), 2, 0};
  const bool rawCells = in.ConsumeBool();
  for (uint32_t i = 0; i < w * h; ++i) {
    const uint16_t c = rawCells ? in.ConsumeIntegral<uint16_t>()
                                : static_cast<uint16_t>((i * 97 + 13) % (w * h));
    matrix.push_back(static_cast<uint8_t>(c));
    matrix.push_back(static_cast<uint8_t>(c >> 8));
  }
  std::vector<uint8_t> ids = Le16({600, 601, 602, -1});
  std::vector<uint8_t> nodes = {32, 0};
  for (int i = 0; i < 32; ++i) nodes.push_back(static_cast<uint8_t>(i * 255 / 31));

  HalftoneHandle handle = nullptr;
  int32_t next = 0;
  if (HalftoneNewThk(&p, nullptr, &lut, nullptr, &next, &handle) != 0) std::abort();
  if (HalftoneSetResourceWithLength(handle, ids.data(), ids.size(), &next) != 0 ||
      HalftoneSetResourceWithLength(handle, nodes.data(), nodes.size(), &next) != 0 ||
      HalftoneSetResourceWithLength(handle, matrix.data(), matrix.size(), &next) != 0) {
    std::abort();
  }

  for (int run = 0; run < 16 && in.remaining_bytes() > 0; ++run) {
    int32_t firstBit = in.ConsumeIntegralInRange<int32_t>(0, 7);
    if (in.ConsumeIntegralInRange<int>(0, 31) == 0) firstBit = in.ConsumeIntegral<int8_t>();
    const uint32_t x0 = in.ConsumeIntegralInRange<uint32_t>(0, p.lineWidth);
    uint32_t count = in.ConsumeIntegralInRange<uint32_t>(0, p.lineWidth - x0);
    if (in.ConsumeIntegralInRange<int>(0, 31) == 0) count = in.ConsumeIntegral<uint32_t>();
    const uint32_t y = in.ConsumeIntegralInRange<uint32_t>(0, 3000);
    const int32_t flags = in.ConsumeIntegralInRange<int>(0, 63) == 0 ? 1 : 0;

    // Two pixels per dot at most; a run longer than the line is refused
    // before anything is read.
    const uint64_t sane = count <= p.lineWidth ? count : 0;
    const size_t srcBytes = static_cast<size_t>(sane) * (colour ? 8 : 2) + 8;
    std::unique_ptr<uint8_t[]> src(new uint8_t[srcBytes]);
    for (size_t i = 0; i < srcBytes; ++i) {
      src[i] = in.remaining_bytes() > 0 ? in.ConsumeIntegral<uint8_t>() : static_cast<uint8_t>(i);
    }
    const int32_t bit = firstBit >= 0 && firstBit <= 7 ? firstBit : 0;
    const auto planeBytes = static_cast<int32_t>((bit + sane) / 8 + 1);
    std::unique_ptr<uint8_t[]> planes(new uint8_t[4 * static_cast<size_t>(planeBytes)]());

    const uint32_t code = HalftoneThk(handle, src.get(), planes.get(), planeBytes, firstBit,
                                      count, x0, 0, y, flags, nullptr);
    // Refused runs must be refused.
    if (code == 0 && (firstBit < 0 || firstBit > 7 || flags != 0 ||
                      static_cast<uint64_t>(x0) + count > p.lineWidth)) {
      std::abort();
    }
  }
  if (HalftoneDeleteThk(handle) != 0) std::abort();
  return 0;
}
