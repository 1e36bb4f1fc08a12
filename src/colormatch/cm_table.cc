// Placeholder until the table step lands.
#include "colormatch/cm_internal.h"

namespace vantik {
uint32_t CmLoadTableBlock(CmInstance&, ByteReader&) { return RC_FAILURE; }
}  // namespace vantik
