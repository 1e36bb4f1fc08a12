// The screen table (resource 300): the line of the instance's selector names
// the method, the three threshold matrices and the column phase of matrix 2.
#include "formats/screen_text.h"
#include "halftone_a/converters.h"
#include "halftone_a/instance_a.h"
#include "halftone_a/registry.h"
#include "halftone_a/screen_tables.h"

namespace vantik::halftone_a {
namespace {

uint32_t RegisterMatrix(HalftoneAInstance& inst, int16_t number,
                        ResourceHandler handler) {
  if (number == 0) return RC_OK;
  // 300 is the screen table's own number: a matrix of that number would
  // send its block back into this handler.
  if (number <= 300 || number > 399) return RC_FAILURE;
  return RegistryRegister(*inst.registry, number, 0, &inst, handler);
}

}  // namespace

// Codes: 0x300 for a screen table that does not yield the selected line;
// 0x200 for a method without a converter, and for A and B that would make
// the level table divide by zero (A = 0, or 3A = 70 B / 100); 0x100 for a
// buffer not obtained, or a matrix number outside 301..399 (0 = none).
uint32_t ScreenTableHandler(void* context, int32_t, const void* data,
                            size_t length, uint32_t) {
  auto& inst = *static_cast<HalftoneAInstance*>(context);
  formats::ScreenLine line;
  const formats::Outcome parsed =
      formats::FindScreenLine(data, length, inst.screenSelector, &line);
  if (!parsed.ok()) return parsed.code;

  auto* screen = static_cast<ScreenDescriptor*>(
      ScratchLock(inst, inst.blocks[kScreenBuffer]));
  if (screen == nullptr) return RC_FAILURE;
  inst.screen = screen;
  screen->method = inst.params.lutMode != 0 ? line.method : 9;
  screen->matrix1 = static_cast<int16_t>(line.matrix1);
  screen->matrix2 = static_cast<int16_t>(line.matrix2);
  screen->matrix3 = static_cast<int16_t>(line.matrix3);
  screen->matrix2Phase = static_cast<int16_t>(line.matrix2Phase);
  const int32_t method = screen->method;
  const int16_t numbers[3] = {screen->matrix1, screen->matrix2, screen->matrix3};

  if (!LevelTableDefined(inst.paramA, inst.paramB)) return RC_REFUSED;
  auto* level = static_cast<uint8_t*>(ScratchAlloc(inst, kLevelTableBytes, 1));
  if (level == nullptr) return RC_FAILURE;
  inst.blocks[kLevelTableBuffer] = inst.levelTable = level;
  auto* node = static_cast<uint8_t*>(ScratchAlloc(inst, kNodeTableBytes, 1));
  if (node == nullptr) return RC_FAILURE;
  inst.blocks[kNodeTableBuffer] = inst.nodeTable = node;
  auto* color = static_cast<uint8_t*>(ScratchAlloc(inst, kColorTableBytes, 1));
  if (color == nullptr) return RC_FAILURE;
  inst.blocks[kColorTableBuffer] = inst.colorTable = color;
  BuildLevelTable(inst.paramA, inst.paramB, level);
  BuildNodeTable(node);
  BuildColorTable(inst.paramA, inst.paramB, color);

  ConverterInfo converter;
  if (!FindConverter(method, &converter)) return RC_REFUSED;
  inst.converter = converter.convert;
  inst.usesMatrix1 = converter.usesMatrix1;
  inst.converterPlanes = converter.planes;
  inst.converterPixelStep = converter.pixelStep;
  inst.converterEntryBytes = converter.entryBytes;
  UnlockBuffers(inst);

  const ResourceHandler handlers[3] = {Matrix1Handler, Matrix2Handler,
                                       Matrix3Handler};
  for (int m = 0; m < 3; ++m) {
    const uint32_t rc = RegisterMatrix(inst, numbers[m], handlers[m]);
    if (rc != RC_OK) return rc;
  }
  return RC_OK;
}

}  // namespace vantik::halftone_a
