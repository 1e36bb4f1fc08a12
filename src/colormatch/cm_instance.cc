// Placeholder until the colour-matching instance lands.
#include "interface/services.h"

namespace vantik {
uint32_t CmCreate(const ColorAdjustRecord&, const HalftoneParams&, void*,
                  int32_t*, CmHandle*) { return RC_FAILURE; }
CmLut* CmGetLut(CmHandle) { return nullptr; }
uint32_t CmDelete(CmHandle) { return RC_OK; }
}  // namespace vantik
