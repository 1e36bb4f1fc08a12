// The twelve entry points: thin shells that copy the caller's records into
// local copies, overwrite their address fields with the separate arguments,
// and forward to the service's worker.  A null record gives RC_BAD_PARAMETER
// instead of a crash.
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "halftone_a/instance_a.h"
#include "halftone_b/instance_b.h"
#include "interface/byte_reader.h"
#include "interface/params.h"
#include "interface/services.h"
#include "vantik/vantik.h"

using vantik::ByteReader;

namespace {

// Both halftone instance records begin with a copy of HalftoneParams, so the
// first 32-bit field of any halftone instance is its kind.
static_assert(offsetof(HalftoneParams, kind) == 0);
static_assert(std::is_standard_layout_v<vantik::halftone_a::HalftoneAInstance> &&
              offsetof(vantik::halftone_a::HalftoneAInstance, params) == 0);
static_assert(std::is_standard_layout_v<vantik::halftone_b::HalftoneInstanceB> &&
              offsetof(vantik::halftone_b::HalftoneInstanceB, params) == 0);

int32_t KindOf(HalftoneHandle instance) { return vantik::HalftoneKindOf(instance); }

}  // namespace

extern "C" {

const char* VantikCodeName(uint32_t code) {
  switch (code) {
    case RC_OK: return "RC_OK";
    case RC_FAILURE: return "RC_FAILURE";
    case RC_NO_MEMORY: return "RC_NO_MEMORY";
    case RC_LOCK_FAILED: return "RC_LOCK_FAILED";
    case RC_UNLOCK_FAILED: return "RC_UNLOCK_FAILED";
    case RC_FREE_FAILED: return "RC_FREE_FAILED";
    case RC_REFUSED: return "RC_REFUSED";
    case RC_BAD_PARAMETER: return "RC_BAD_PARAMETER";
    case RC_BAD_VALUE: return "RC_BAD_VALUE";
    case RC_BAD_MODE: return "RC_BAD_MODE";
    case RC_BAND_TOO_LARGE: return "RC_BAND_TOO_LARGE";
    case RC_BAD_FLAG: return "RC_BAD_FLAG";
    case RC_BAD_BUFFER: return "RC_BAD_BUFFER";
    case RC_BAD_RESOURCE: return "RC_BAD_RESOURCE";
    case RC_BAD_HANDLE: return "RC_BAD_HANDLE";
    case RC_NOT_CONNECTED: return "RC_NOT_CONNECTED";
    default: return "RC_UNKNOWN";
  }
}

// ---- Colour matching --------------------------------------------------------

uint32_t CmNewThk(const ColorAdjustRecord* adjust, void* field12, void* field13,
                  TaggedValueList* field14, const HalftoneParams* params,
                  void* paramsPointer, void* reserved, int32_t* inOut,
                  CmHandle* outInstance) {
  if (adjust == nullptr || params == nullptr || inOut == nullptr ||
      outInstance == nullptr) {
    return RC_BAD_PARAMETER;
  }
  ColorAdjustRecord localAdjust = *adjust;
  localAdjust.field12 = field12;
  localAdjust.field13 = field13;
  localAdjust.field14 = field14;
  HalftoneParams localParams = *params;
  localParams.pointer = paramsPointer;
  return vantik::colormatch::CmCreate(localAdjust, localParams, reserved, inOut, outInstance);
}

uint32_t CmSetResourceThk(CmHandle instance, const void* block, int32_t* inOut) {
  return vantik::colormatch::CmSetResource(instance, block, ByteReader::kUnbounded, inOut);
}

uint32_t CmSetResourceWithLength(CmHandle instance, const void* block,
                                 size_t length, int32_t* inOut) {
  return vantik::colormatch::CmSetResource(instance, block, length, inOut);
}

uint32_t CmTranslateColorsThk(CmHandle instance, int32_t count,
                              const uint8_t* src, uint8_t* dst,
                              uint32_t /*unused*/, void* /*unusedAddress*/) {
  return vantik::colormatch::CmTranslate(instance, count, src, dst);
}

CmLut* CmGetLutThk(CmHandle instance) { return vantik::colormatch::CmGetLut(instance); }

uint32_t CmDeleteThk(CmHandle instance) { return vantik::colormatch::CmDelete(instance); }

// ---- Preview -----------------------------------------------------------------

uint32_t PreviewNewThk(const ColorAdjustRecord* adjust, void* field12,
                       void* field13, TaggedValueList* field14,
                       const PreviewOptions* options, void* optionsPointer,
                       int32_t pixelFormat, PreviewHandle* outInstance) {
  if (adjust == nullptr || options == nullptr || outInstance == nullptr) {
    return RC_BAD_PARAMETER;
  }
  ColorAdjustRecord localAdjust = *adjust;
  localAdjust.field12 = field12;
  localAdjust.field13 = field13;
  localAdjust.field14 = field14;
  PreviewOptions localOptions = *options;
  localOptions.pointer = optionsPointer;
  return vantik::preview::PreviewCreate(localAdjust, localOptions, pixelFormat, outInstance);
}

uint32_t PreviewTranslateColorsThk(PreviewHandle instance, uint32_t count,
                                   const uint8_t* src, uint8_t* dst,
                                   uint32_t /*unused*/, void* /*unusedAddress*/) {
  return vantik::preview::PreviewTranslate(instance, count, src, dst);
}

uint32_t PreviewDeleteThk(PreviewHandle instance) {
  return vantik::preview::PreviewDelete(instance);
}

// ---- Halftoning: routed by kind -------------------------------------------------

uint32_t HalftoneNewThk(const HalftoneParams* params, void* paramsPointer,
                        CmLut* lut, void* reserved, int32_t* inOut,
                        HalftoneHandle* outInstance) {
  if (params == nullptr || inOut == nullptr || outInstance == nullptr) {
    return RC_BAD_PARAMETER;
  }
  HalftoneParams local = *params;
  local.pointer = paramsPointer;
  if (local.kind == vantik::kKindEngineA) {
    return vantik::EngineANew(local, lut, reserved, inOut, outInstance);
  }
  return vantik::halftone_b::EngineBNew(local, lut, reserved, inOut, outInstance);
}

uint32_t HalftoneSetResourceThk(HalftoneHandle instance, const void* block,
                                int32_t* inOut) {
  return HalftoneSetResourceWithLength(instance, block, ByteReader::kUnbounded,
                                       inOut);
}

uint32_t HalftoneSetResourceWithLength(HalftoneHandle instance,
                                       const void* block, size_t length,
                                       int32_t* inOut) {
  if (instance == nullptr || inOut == nullptr) return RC_BAD_PARAMETER;
  if (KindOf(instance) == vantik::kKindEngineA) {
    return vantik::EngineASetResource(instance, block, length, inOut);
  }
  return vantik::halftone_b::EngineBSetResource(instance, block, length, inOut);
}

uint32_t HalftoneThk(HalftoneHandle instance, const uint8_t* src, uint8_t* dst,
                     int32_t planeStride, int32_t firstBit, uint32_t count,
                     uint32_t x0, uint32_t arg8, uint32_t y, int32_t flags,
                     void* extra) {
  if (instance == nullptr) return RC_BAD_PARAMETER;
  if (KindOf(instance) == vantik::kKindEngineA) {
    return vantik::EngineABand(instance, src, dst, planeStride, firstBit, count,
                               x0, arg8, y, flags, extra);
  }
  return vantik::halftone_b::EngineBBand(instance, src, dst, planeStride, firstBit, count,
                             x0, arg8, y, flags, extra);
}

uint32_t HalftoneDeleteThk(HalftoneHandle instance) {
  if (instance == nullptr) return RC_BAD_PARAMETER;
  if (KindOf(instance) == vantik::kKindEngineA) return vantik::EngineADelete(instance);
  return vantik::halftone_b::EngineBDelete(instance);
}

}  // extern "C"
