// Engine A is not built yet: every kind-2 call fails and touches nothing.
#include "interface/services.h"

namespace vantik {
uint32_t EngineANew(const HalftoneParams&, CmLut*, void*, int32_t*,
                    HalftoneHandle*) { return RC_FAILURE; }
uint32_t EngineASetResource(HalftoneHandle, const void*, size_t, int32_t*) {
  return RC_FAILURE;
}
uint32_t EngineABand(HalftoneHandle, const uint8_t*, uint8_t*, int32_t, int32_t,
                     uint32_t, uint32_t, uint32_t, uint32_t, int32_t, void*) {
  return RC_FAILURE;
}
uint32_t EngineADelete(HalftoneHandle) { return RC_FAILURE; }
}  // namespace vantik
