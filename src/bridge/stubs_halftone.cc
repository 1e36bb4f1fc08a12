// Stubs of the halftone entry points.
#include "bridge/stubs.h"
#include "bridge/widen.h"
#include "interface/params.h"
#include "interface/services.h"

namespace vantik::bridge {

// far 24-byte record, far, 32-bit CmLut handle, far reserved, far short
// (in/out), far instance variable.
uint32_t StubHalftoneNew(Frame& f) {
  const FarPtr16 paramsFar = f.Far(), paramsPtrFar = f.Far();
  const uint32_t lutHandle = f.U32();
  const FarPtr16 reservedFar = f.Far(), inOutFar = f.Far(), varFar = f.Far();

  CmLut* lut = nullptr;
  if (lutHandle != 0) {
    lut = static_cast<CmLut*>(ObjectOf(lutHandle, HandleKind::kLut));
    if (lut == nullptr) return RC_BAD_HANDLE;
  }
  const uint8_t* params = f.Map(paramsFar, kParamsBytes16);
  void* paramsPointer = f.Map(paramsPtrFar, 0);
  void* reserved = f.Map(reservedFar, 0);
  int32_t* inOut = f.InOut(inOutFar);
  uint8_t* var = f.Map(varFar, 4);
  if (f.bad()) return RC_BAD_HANDLE;

  HalftoneParams widened;
  if (params != nullptr) WidenParams(params, &widened);
  HalftoneHandle instance = nullptr;
  const uint32_t rc = HalftoneNewThk(params ? &widened : nullptr, paramsPointer, lut,
                                     reserved, inOut, var ? &instance : nullptr);
  return HandOut(instance, HandleKind::kHalftone, var, rc, HalftoneDeleteThk);
}

uint32_t StubHalftoneSetResource(Frame& f) {
  return SetResourceFrame(f, HandleKind::kHalftone, HalftoneSetResourceWithLength);
}

// instance, far source, far destination, 32-bit value, short, word, word,
// word, word, short, far.
uint32_t StubHalftone(Frame& f) {
  const uint32_t handle = f.U32();
  const FarPtr16 srcFar = f.Far(), dstFar = f.Far();
  const int32_t planeStride = static_cast<int32_t>(f.U32());
  const int32_t firstBit = f.Short();
  const uint32_t count = f.Word();
  const uint32_t x0 = f.Word();
  const uint32_t arg8 = f.Word();
  const uint32_t y = f.Word();
  const int32_t flags = f.Short();
  const FarPtr16 extraFar = f.Far();
  void* instance = ObjectOf(handle, HandleKind::kHalftone);
  if (instance == nullptr) return RC_BAD_HANDLE;
  // Both runs (every plane of the destination) must lie inside the caller's
  // registered memory, sized by what the instance's engine reads and writes.
  const bool engineA = HalftoneKindOf(instance) == kKindEngineA;
  const RunBytes need =
      engineA ? EngineARunBytes(instance, planeStride, firstBit, count)
              : halftone_b::EngineBRunBytes(instance, planeStride, firstBit, count, x0, flags);
  // Engine A refuses a null source or destination itself (0x100); engine B
  // would read or write through it, so such a run is refused here like an
  // unmapped address.
  if (!engineA &&
      ((need.source != 0 && srcFar == 0) || (need.destination != 0 && dstFar == 0))) {
    return RC_BAD_HANDLE;
  }
  const uint8_t* src = f.Map(srcFar, need.source);
  uint8_t* dst = f.Map(dstFar, need.destination);
  void* extra = f.Map(extraFar, 0);
  if (f.bad()) return RC_BAD_HANDLE;
  return HalftoneThk(instance, src, dst, planeStride, firstBit, count, x0, arg8, y,
                     flags, extra);
}

// instance.
uint32_t StubHalftoneDelete(Frame& f) {
  const uint32_t handle = f.U32();
  void* instance = ObjectOf(handle, HandleKind::kHalftone);
  if (instance == nullptr) return RC_BAD_HANDLE;
  // An engine may release the instance even when it reports a failure, so
  // the handle never outlives a delete (a retry could reach freed memory).
  const uint32_t rc = HalftoneDeleteThk(instance);
  DropHandle(handle);
  return rc;
}

}  // namespace vantik::bridge
