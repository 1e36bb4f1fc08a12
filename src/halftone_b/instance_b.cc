// Placeholder until engine B lands.
#include "interface/services.h"

namespace vantik {
uint32_t EngineBNew(const HalftoneParams&, CmLut*, void*, int32_t*,
                    HalftoneHandle*) { return RC_FAILURE; }
uint32_t EngineBSetResource(HalftoneHandle, const void*, size_t, int32_t*) {
  return RC_FAILURE;
}
uint32_t EngineBBand(HalftoneHandle, const uint8_t*, uint8_t*, int32_t, int32_t,
                     uint32_t, uint32_t, uint32_t, uint32_t, int32_t, void*) {
  return RC_FAILURE;
}
uint32_t EngineBDelete(HalftoneHandle) { return RC_FAILURE; }
}  // namespace vantik
