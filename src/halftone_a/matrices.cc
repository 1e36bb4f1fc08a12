// Threshold matrices (resources 301..399 as the screen table names them):
// byte 0 the width, byte 1 the height (a stored 255 means 256 in either),
// then width x height thresholds, row after row.
#include "halftone_a/instance_a.h"
#include "interface/byte_reader.h"

namespace vantik::halftone_a {
namespace {

uint16_t Extent(uint8_t stored) { return stored == 255 ? 256 : stored; }

// Codes: 0x300 for a block shorter than its two size bytes and thresholds
// (only a block that carries its length can tell); 0x100 for a buffer not
// obtained.  A width or height of 0 is taken as it stands: the band refuses
// to dither against such a matrix.
uint32_t LoadMatrix(HalftoneAInstance& inst, BufferId id, ThresholdMatrix& m,
                    const void* data, size_t length) {
  ByteReader reader(data, length);
  const uint16_t width = Extent(reader.U8());
  const uint16_t height = Extent(reader.U8());
  const size_t bytes = size_t{width} * height;
  if (!reader.ok() || !reader.HasMore(bytes)) return RC_BAD_RESOURCE;
  auto* p = static_cast<uint8_t*>(ScratchAlloc(inst, bytes, 1));
  if (p == nullptr) return RC_FAILURE;
  reader.Bytes(p, bytes);
  inst.blocks[id] = p;
  m = ThresholdMatrix{p, width, height};
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
