// Stubs of the preview entry points.
#include "bridge/stubs.h"
#include "bridge/widen.h"
#include "interface/services.h"

namespace vantik::bridge {

uint32_t HandOut(void* instance, HandleKind kind, uint8_t* instanceVar,
                 uint32_t rc, uint32_t (*deleteFn)(void*), std::unique_ptr<WidenedList> kept) {
  if (instance == nullptr) return rc;
  const uint32_t handle = HandleFor(instance, kind);
  if (handle == 0) {
    deleteFn(instance);
    return RC_NO_MEMORY;
  }
  if (kept) KeepWithHandle(handle, std::move(kept));
  for (int b = 0; b < 4; ++b) instanceVar[b] = static_cast<uint8_t>(handle >> (8 * b));
  return rc;
}

// far 36-byte record, far, far, far, far 6-byte record, far, short format,
// far instance variable.
uint32_t StubPreviewNew(Frame& f) {
  const FarPtr16 recFar = f.Far(), far12 = f.Far(), far13 = f.Far(), far14 = f.Far();
  const FarPtr16 optFar = f.Far(), optPtrFar = f.Far();
  const int32_t format = f.Short();
  const FarPtr16 varFar = f.Far();

  const uint8_t* rec = f.Map(recFar, kAdjustBytes16);
  void* field12 = f.Map(far12, 0);
  void* field13 = f.Map(far13, 0);
  TaggedValueList* list = f.List(far14);
  const uint8_t* opt = f.Map(optFar, kOptionsBytes16);
  void* optPointer = f.Map(optPtrFar, 0);
  uint8_t* var = f.Map(varFar, 4);
  if (f.bad()) return f.BadCode();

  ColorAdjustRecord adjust;
  PreviewOptions options;
  if (rec != nullptr) WidenAdjust(rec, &adjust);
  if (opt != nullptr) WidenOptions(opt, &options);
  PreviewHandle instance = nullptr;
  const uint32_t rc = PreviewNewThk(rec ? &adjust : nullptr, field12, field13, list,
                                    opt ? &options : nullptr, optPointer, format,
                                    var ? &instance : nullptr);
  return HandOut(instance, HandleKind::kPreview, var, rc, PreviewDeleteThk, f.TakeList());
}

// instance, word count, far source, far destination, 32-bit value, far.
uint32_t StubPreviewTranslateColors(Frame& f) {
  const uint32_t handle = f.U32();
  const uint32_t count = f.Word();
  const FarPtr16 srcFar = f.Far(), dstFar = f.Far();
  const uint32_t value = f.U32();
  const FarPtr16 extraFar = f.Far();
  void* instance = ObjectOf(handle, HandleKind::kPreview);
  if (instance == nullptr) return RC_BAD_HANDLE;
  // The run must lie inside the caller's registered memory.
  const RunBytes need = preview::PreviewRunBytes(instance, count);
  const uint8_t* src = f.Map(srcFar, need.source);
  uint8_t* dst = f.Map(dstFar, need.destination);
  void* extra = f.Map(extraFar, 0);
  if (f.bad()) return RC_BAD_HANDLE;
  return PreviewTranslateColorsThk(instance, count, src, dst, value, extra);
}

// instance.
uint32_t StubPreviewDelete(Frame& f) {
  const uint32_t handle = f.U32();
  void* instance = ObjectOf(handle, HandleKind::kPreview);
  if (instance == nullptr) return RC_BAD_HANDLE;
  const uint32_t rc = PreviewDeleteThk(instance);
  if (rc == RC_OK) DropHandle(handle);  // a refused release can be retried
  return rc;
}

}  // namespace vantik::bridge
