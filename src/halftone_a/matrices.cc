// Threshold matrices (resources 301..399 as the screen table names them).
#include <cstring>

#include "formats/matrix8.h"
#include "halftone_a/instance_a.h"

namespace vantik::halftone_a {
namespace {

// Codes: 0x300 for a block the format refuses; 0x100 for a buffer not
// obtained.
uint32_t LoadMatrix(HalftoneAInstance& inst, BufferId id, ThresholdMatrix& m,
                    const void* data, size_t length) {
  formats::Matrix8View v;
  const formats::Outcome parsed = formats::ParseMatrix8(data, length, v);
  if (!parsed.ok()) return parsed.code;
  const size_t bytes = size_t{v.width} * v.height;
  auto* p = static_cast<uint8_t*>(ScratchAlloc(inst, bytes, 1));
  if (p == nullptr) return RC_FAILURE;
  std::memcpy(p, v.cells, bytes);
  inst.blocks[id] = p;
  m = ThresholdMatrix{p, v.width, v.height};
  ScratchUnlock(inst, p);
  return RC_OK;
}

}  // namespace

uint32_t Matrix1Handler(void* context, int32_t, const void* data, size_t length,
                        uint32_t) {
  auto& inst = *static_cast<HalftoneAInstance*>(context);
  return LoadMatrix(inst, kMatrix1Buffer, inst.matrix1, data, length);
}

uint32_t Matrix2Handler(void* context, int32_t, const void* data, size_t length,
                        uint32_t) {
  auto& inst = *static_cast<HalftoneAInstance*>(context);
  return LoadMatrix(inst, kMatrix2Buffer, inst.matrix2, data, length);
}

uint32_t Matrix3Handler(void* context, int32_t, const void* data, size_t length,
                        uint32_t) {
  auto& inst = *static_cast<HalftoneAInstance*>(context);
  return LoadMatrix(inst, kMatrix3Buffer, inst.matrix3, data, length);
}

}  // namespace vantik::halftone_a
