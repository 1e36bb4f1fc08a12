// Step 3: the threshold matrix and the tables derived from it and from the
// CmLut copy: level table, dot weights, error thresholds, node table and the
// spread limits.
#include <cstring>

#include "formats/matrix16.h"
#include "halftone_b/dispatch.h"
#include "halftone_b/kernels/eight_color_dither.h"
#include "halftone_b/kernels/matrix_dither.h"
#include "halftone_b/resources.h"

namespace vantik::halftone_b {

namespace {

constexpr uint32_t kTableBytes = 512;  // 256 x int16

// Spread limits by resolution row, then by weightLight 250, 350, 500.
constexpr int32_t kLimitsSquare[3][4] = {{32, 9, 4, 2}, {37, 20, 5, 2}, {55, 22, 8, 3}};
constexpr int32_t kLimitsKind1Wide[3][4] = {{30, 8, 5, 2}, {35, 18, 6, 3}, {52, 20, 9, 4}};
constexpr int32_t kLimitsWide[3][4] = {{56, 22, 11, 4}, {59, 27, 12, 5}, {60, 32, 14, 7}};
constexpr int32_t kLimitsTall[3][4] = {{40, 23, 6, 1}, {47, 30, 13, 2}, {63, 39, 14, 3}};

}  // namespace

uint32_t SpreadLimits(const HalftoneParams& p, int32_t weightLight,
                      int32_t out[4]) {
  const int32_t x = p.xResolution, y = p.yResolution;
  const int32_t (*row)[4];
  if (x == y) {
    row = kLimitsSquare;
  } else if (x == 1440 && y == 720 && p.kind == kKindDiffusion) {
    row = kLimitsKind1Wide;
  } else if (IsDoubleOf(x, y)) {
    row = kLimitsWide;
  } else if (IsDoubleOf(y, x)) {
    row = kLimitsTall;
  } else {
    return RC_BAD_PARAMETER;
  }
  int column;
  switch (weightLight) {
    case 250: column = 0; break;
    case 350: column = 1; break;
    case 500: column = 2; break;
    default: return RC_BAD_RESOURCE;
  }
  std::memcpy(out, row[column], sizeof(int32_t) * 4);
  return RC_OK;
}

bool BuildDotWeightTable(int32_t weightLight, int32_t weightFull,
                         int16_t out[256]) {
  // 64-bit so that no weight pair can overflow; entries are kept to 16 bits
  // and must stay positive, since the level table divides by them.
  const int64_t l = weightLight, f = weightFull;
  bool positive = true;
  for (int64_t i = 0; i < 256; ++i) {
    const int64_t w = (((255 - i) * (255 - i) * (l - f) + 1) / 255 + 255 * f) / 100;
    out[i] = static_cast<int16_t>(w);
    if (out[i] <= 0) positive = false;
  }
  return positive;
}

void BuildLevelTable(uint32_t matrixCells, const int16_t dotWeight[256],
                     int16_t out[256]) {
  for (uint32_t j = 0; j < 255; ++j) {
    const auto dw = static_cast<uint32_t>(dotWeight[j]);
    out[j] = static_cast<int16_t>(((matrixCells >> 8) * j * 255) / dw);
  }
  const auto dw = static_cast<uint32_t>(dotWeight[255]);
  out[255] = static_cast<int16_t>((matrixCells * 255 - 255) / dw + 1);
}

void BuildErrorThresholdTable(const int16_t dotWeight[256], int16_t out[256]) {
  int32_t e[256];
  for (int32_t n = 1; n <= 254; ++n) e[n] = (128 + 2 * n) / 3;
  for (int32_t k = 0; k <= 8; ++k) {
    e[1 + k] = 29 * (k + 1) / 10 + 20;
    e[254 - k] = 255 - e[1 + k];
  }
  for (int32_t n = 1; n <= 254; ++n) {
    const int32_t v = ((dotWeight[n] - 255) / 3 + 255) * e[n] / 255 + (2560 - 20 * n) / 128;
    out[n] = static_cast<int16_t>(v);
  }
  out[0] = out[255] = 128;
}

void BuildNodeTable(const uint8_t* positions, int32_t count, uint8_t out[512]) {
  std::memset(out, 0, 512);
  int32_t k = 0;
  for (int32_t v = 0; v < 256 && k < count; ++v) {
    if (v == positions[k]) {
      out[2 * v] = static_cast<uint8_t>(k);
      out[2 * v + 1] = 255;
      ++k;
    } else if (v < positions[k] && k > 0) {
      const int32_t span = positions[k] - positions[k - 1];
      out[2 * v] = static_cast<uint8_t>(k - 1);
      out[2 * v + 1] = static_cast<uint8_t>((positions[k] - v) * 255 / span);
    }
  }
}

uint32_t LoadThresholdMatrix(HalftoneInstanceB& instance, ByteReader& block,
                             int32_t* outNextId) {
  *outNextId = -1;
  const HalftoneParams& p = instance.params;
  const CmLut& lut = instance.lutRecord;

  // Everything is checked before anything is allocated or changed.
  formats::Matrix16View m;
  const formats::Outcome parsed = formats::ParseMatrix16(block, m);
  if (!parsed.ok()) return parsed.code;
  const uint32_t w = m.width;
  const uint32_t h = m.height;
  const uint32_t bytesPerCell = m.bytesPerCell;
  const uint32_t cells = m.cells;

  int32_t limits[4];
  const uint32_t limitsCode = SpreadLimits(p, lut.weightLight, limits);
  if (limitsCode != RC_OK) return limitsCode;
  int16_t dotWeight[256];
  if (!BuildDotWeightTable(lut.weightLight, lut.weightFull, dotWeight)) {
    return RC_BAD_RESOURCE;
  }
  // Step 2 has checked this grid (it is the instance's own after colour
  // re-sampling); the check here keeps the node walk inside its array.
  if (!PositionsAreValid(lut.gridA, lut.gridCountA)) return RC_BAD_PARAMETER;

  // Cells, padding (zeroed) and the 512-byte level table in one block; the
  // block holds at least 2 bytes per cell whatever the block says.
  const uint32_t cellBytes = cells * (bytesPerCell < 2 ? 2 : bytesPerCell);
  const uint32_t matrixBytes = ((cellBytes + 3) & ~3u) + kTableBytes;
  uint32_t code = AllocSlot(instance, kSlotThresholdMatrix, matrixBytes, true);
  if (code != RC_OK) {
    ReleaseSlots(instance);
    return code;
  }
  auto* matrixBase = static_cast<uint8_t*>(instance.slots[kSlotThresholdMatrix].data);
  auto* matrix = reinterpret_cast<int16_t*>(matrixBase);
  for (uint32_t i = 0; i < cells; ++i) matrix[i] = m.Cell(i);
  auto* level = reinterpret_cast<int16_t*>(matrixBase + matrixBytes - kTableBytes);
  ShareSlot(instance, kSlotLevelTable, level, kTableBytes);

  const bool wideErrors = p.lutMode == 3;
  const uint32_t weightBytes = wideErrors ? 2048 : 1536;
  code = AllocSlot(instance, kSlotDotWeightTable, weightBytes, true);
  if (code != RC_OK) {
    ReleaseSlots(instance);
    return code;
  }
  auto* weightBase = static_cast<uint8_t*>(instance.slots[kSlotDotWeightTable].data);
  // Error thresholds from 512 bytes in (1024 for lutMode 3), the node table
  // 512 bytes after their start.
  const uint32_t errorOffset = wideErrors ? 1024 : 512;
  ShareSlot(instance, kSlotErrorThresholdTable, weightBase + errorOffset,
            wideErrors ? 1024 : 512);
  ShareSlot(instance, kSlotNodeTable, weightBase + errorOffset + kTableBytes,
            kTableBytes);

  instance.matrixWidth = w;
  instance.matrixHeight = h;
  instance.matrixCells = cells;
  BuildNodeTable(lut.gridA, lut.gridCountA,
                 static_cast<uint8_t*>(instance.slots[kSlotNodeTable].data));
  instance.dotParam0 = limits[0];
  instance.dotParam1 = limits[1];
  instance.dotParam2 = limits[2];
  instance.dotParam3 = limits[3];

  auto* dw = reinterpret_cast<int16_t*>(weightBase);
  std::memcpy(dw, dotWeight, sizeof dotWeight);
  BuildLevelTable(cells, dw, level);
  if ((p.kind == kKindUnset || p.kind == kKindFourInk) && p.lutMode == kLutGray) {
    auto* tone = static_cast<int16_t*>(instance.slots[kSlotToneTable].data);
    for (int i = 0; i < 256; ++i) tone[i] = level[tone[i]];
    std::memcpy(level, tone, kTableBytes);
  }
  BuildErrorThresholdTable(dw, static_cast<int16_t*>(instance.slots[kSlotErrorThresholdTable].data));
  // The ordered dither of one ink runs on level bounds per cell where the
  // level table allows them, the eight-colour dither on the inks of each
  // colour per cell.
  const HalftoneKernel kernel = ChooseKernel(p);
  if (kernel == MatrixDitherKernel || kernel == EightColorDitherKernel) {
    code = kernel == MatrixDitherKernel ? BuildDitherBounds(instance)
                                        : BuildEightColourDots(instance);
    if (code != RC_OK) {
      ReleaseSlots(instance);
      return code;
    }
  }
  return RC_OK;
}

}  // namespace vantik::halftone_b
