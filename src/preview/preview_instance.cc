// Create and Delete of the preview service.
#include "preview/preview_instance.h"

#include <cstring>
#include <new>

#include "interface/memblock.h"
#include "interface/services.h"
#include "interface/tagged_list.h"
#include "preview/tone_curves.h"

namespace vantik::preview {
namespace {

constexpr int32_t kKeyGamma = 1;
constexpr int32_t kKeyCurveTable = 256;
constexpr int32_t kDefaultGamma = 150;

// Pixel formats 1, 2 and 3 are the RGB, BGR and xRGB forms that render
// modes of the same numbers name.
bool FormatKnown(int32_t format) { return format >= kRenderRgb && format <= kRenderXrgb; }

void SetLayout(PreviewInstance& inst, int32_t format) {
  const PixelLayout l = LayoutOf(format);
  inst.offset[0] = l.offsets[0];
  inst.offset[1] = l.offsets[1];
  inst.offset[2] = l.offsets[2];
  inst.bytesPerPixel = l.bytesPerPixel;
  inst.pixelFormat = format;
}

// Every instance handed out is complete, even one whose Create then fails:
// identity tables, the record's fields and mode, and a valid layout (format
// 1's when the requested format is refused), so Translate and Delete on it
// are well defined.
void InitInstance(PreviewInstance& inst, const ColorAdjustRecord& adjust,
                  const PreviewOptions& options, void* block) {
  for (int f = 0; f < kPreviewFields; ++f) inst.fields[f] = adjust.field[f];
  inst.mode = options.mode;
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 256; ++i) inst.tone[c][i] = i;
  }
  SetLayout(inst, kRenderRgb);
  inst.selfBlock = block;
}

// Gamma under key 1: a missing key, a null value or a stored 0 mean 150.
int32_t GammaOf(const TaggedValueList* list) {
  const auto* gamma = static_cast<const int32_t*>(Lookup(kKeyGamma, list));
  if (gamma == nullptr) return kDefaultGamma;
  int32_t value;
  std::memcpy(&value, gamma, sizeof value);
  return value == 0 ? kDefaultGamma : value;
}

uint32_t ValidateParameters(const PreviewInstance& inst, int32_t gamma) {
  if (inst.fields[0] != 0) return RC_BAD_PARAMETER;
  for (int f = 1; f < kPreviewFields; ++f) {
    if (inst.fields[f] < -kAdjustLimit || inst.fields[f] > kAdjustLimit) {
      return RC_BAD_PARAMETER;
    }
  }
  if (inst.mode < 0 || inst.mode > 3) return RC_BAD_VALUE;
  if (gamma < 100 || gamma > 300) return RC_BAD_VALUE;
  return RC_OK;
}

void BuildParameterTables(PreviewInstance& inst, int32_t gamma) {
  int32_t curve[256];
  int32_t gammaDelta[256];
  BuildAdjustCurve(inst.fields[1], inst.fields[2], curve);
  BuildGammaDelta(gamma, gammaDelta);
  for (int c = 0; c < 3; ++c) {
    BuildToneTable(curve, inst.fields[4 + c], gammaDelta, inst.tone[c]);
  }
}

}  // namespace

uint32_t PreviewCreate(const ColorAdjustRecord& adjust,
                       const PreviewOptions& options, int32_t pixelFormat,
                       PreviewHandle* outInstance) {
  if (outInstance == nullptr) return RC_BAD_PARAMETER;
  void* block = nullptr;
  const uint32_t got = MemAllocLocked(sizeof(PreviewInstance), 0, &block);
  if (got != RC_OK) return got;
  auto* inst = new (block) PreviewInstance;
  *outInstance = block;
  InitInstance(*inst, adjust, options, block);
  PrepareTranslateTables(*inst);

  if (!FormatKnown(pixelFormat)) return RC_BAD_MODE;
  SetLayout(*inst, pixelFormat);

  int32_t gamma = kDefaultGamma;
  const uint8_t* curveTable = nullptr;
  if (adjust.field14 != nullptr) {
    gamma = GammaOf(adjust.field14);
    curveTable = static_cast<const uint8_t*>(Lookup(kKeyCurveTable, adjust.field14));
  }

  if (curveTable != nullptr) {
    // The caller's curves replace every tone computation; nothing is checked.
    for (int c = 0; c < 3; ++c) {
      for (int i = 0; i < 256; ++i) inst->tone[c][i] = curveTable[256 * c + i];
    }
  } else {
    const uint32_t rc = ValidateParameters(*inst, gamma);
    if (rc != RC_OK) return rc;
    BuildParameterTables(*inst, gamma);
  }
  PrepareTranslateTables(*inst);
  return RC_OK;
}

RunBytes PreviewRunBytes(PreviewHandle instance, uint32_t count) {
  const uint32_t bytes =
      count * static_cast<uint32_t>(static_cast<const PreviewInstance*>(instance)->bytesPerPixel);
  return {bytes, bytes};
}

uint32_t PreviewDelete(PreviewHandle instance) {
  if (instance == nullptr) return RC_LOCK_FAILED;
  void* block = static_cast<PreviewInstance*>(instance)->selfBlock;
  if (MemUnlock(block) != 0) return RC_UNLOCK_FAILED;
  if (MemFree(block) != 0) return RC_FREE_FAILED;
  return RC_OK;
}

}  // namespace vantik::preview
