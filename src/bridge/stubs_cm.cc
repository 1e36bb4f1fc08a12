// Stubs of the colour-matching entry points.
#include <cstdint>

#include "bridge/stubs.h"
#include "bridge/widen.h"
#include "interface/services.h"

namespace vantik::bridge {

// far 36-byte record, far, far, far, far 24-byte record, far, far reserved,
// far short (in/out), far instance variable.
uint32_t StubCmNew(Frame& f) {
  const FarPtr16 recFar = f.Far(), far12 = f.Far(), far13 = f.Far(), far14 = f.Far();
  const FarPtr16 paramsFar = f.Far(), paramsPtrFar = f.Far(), reservedFar = f.Far();
  const FarPtr16 inOutFar = f.Far(), varFar = f.Far();

  const uint8_t* rec = f.Map(recFar, kAdjustBytes16);
  void* field12 = f.Map(far12, 0);
  void* field13 = f.Map(far13, 0);
  TaggedValueList* list = f.List(far14);
  const uint8_t* params = f.Map(paramsFar, kParamsBytes16);
  void* paramsPointer = f.Map(paramsPtrFar, 0);
  void* reserved = f.Map(reservedFar, 0);
  int32_t* inOut = f.InOut(inOutFar);
  uint8_t* var = f.Map(varFar, 4);
  if (f.bad()) return f.BadCode();

  ColorAdjustRecord adjust;
  HalftoneParams widened;
  if (rec != nullptr) WidenAdjust(rec, &adjust);
  if (params != nullptr) WidenParams(params, &widened);
  CmHandle instance = nullptr;
  const uint32_t rc = CmNewThk(rec ? &adjust : nullptr, field12, field13, list,
                               params ? &widened : nullptr, paramsPointer, reserved,
                               inOut, var ? &instance : nullptr);
  return HandOut(instance, HandleKind::kCm, var, rc, CmDeleteThk, f.TakeList());
}

uint32_t SetResourceFrame(Frame& f, HandleKind kind,
                          uint32_t (*setResource)(void*, const void*, size_t, int32_t*)) {
  const uint32_t handle = f.U32();
  const FarPtr16 blockFar = f.Far(), inOutFar = f.Far();
  void* instance = ObjectOf(handle, kind);
  if (instance == nullptr) return RC_BAD_HANDLE;
  uint32_t reachable = 0;
  const uint8_t* block = f.Map(blockFar, 1, &reachable);
  int32_t* inOut = f.InOut(inOutFar);
  if (f.bad()) return RC_BAD_HANDLE;
  return setResource(instance, block, reachable, inOut);
}

uint32_t StubCmSetResource(Frame& f) {
  return SetResourceFrame(f, HandleKind::kCm, CmSetResourceWithLength);
}

// instance, short count, far source, far destination, 32-bit value, far.
uint32_t StubCmTranslateColors(Frame& f) {
  const uint32_t handle = f.U32();
  const int32_t count = f.Short();
  const FarPtr16 srcFar = f.Far(), dstFar = f.Far();
  const uint32_t value = f.U32();
  const FarPtr16 extraFar = f.Far();
  void* instance = ObjectOf(handle, HandleKind::kCm);
  if (instance == nullptr) return RC_BAD_HANDLE;
  // Both runs must lie inside the caller's registered memory.
  const RunBytes need = colormatch::CmRunBytes(instance, count);
  const uint8_t* src = f.Map(srcFar, need.source);
  uint8_t* dst = f.Map(dstFar, need.destination);
  void* extra = f.Map(extraFar, 0);
  if (f.bad()) return RC_BAD_HANDLE;
  return CmTranslateColorsThk(instance, count, src, dst, value, extra);
}

// instance; returns the CmLut as a 32-bit handle of the bridge's table (0
// for a null address), owned by the instance so that it goes with it.
uint32_t StubCmGetLut(Frame& f) {
  const uint32_t handle = f.U32();
  void* instance = ObjectOf(handle, HandleKind::kCm);
  if (instance == nullptr) return RC_BAD_HANDLE;
  CmLut* lut = CmGetLutThk(instance);
  if (lut == nullptr) return 0;
  const uint32_t lutHandle = HandleFor(lut, HandleKind::kLut, handle);
  return lutHandle == 0 ? static_cast<uint32_t>(RC_NO_MEMORY) : lutHandle;
}

// instance.
uint32_t StubCmDelete(Frame& f) {
  const uint32_t handle = f.U32();
  void* instance = ObjectOf(handle, HandleKind::kCm);
  if (instance == nullptr) return RC_BAD_HANDLE;
  const uint32_t rc = CmDeleteThk(instance);
  DropHandle(handle);  // the delete always releases the instance
  return rc;
}

}  // namespace vantik::bridge
