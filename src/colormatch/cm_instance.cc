// Placeholder until colour matching lands.
#include "interface/services.h"

namespace vantik {
uint32_t CmCreate(const ColorAdjustRecord&, const HalftoneParams&, void*,
                  int32_t*, CmHandle*) { return RC_FAILURE; }
uint32_t CmSetResource(CmHandle, const void*, size_t, int32_t*) { return RC_FAILURE; }
uint32_t CmTranslate(CmHandle, int32_t, const uint8_t*, uint8_t*) { return RC_FAILURE; }
CmLut* CmGetLut(CmHandle) { return nullptr; }
uint32_t CmDelete(CmHandle) { return RC_OK; }
}  // namespace vantik
