// The screen table (resource 300): a text whose lines, after a first line
// that is skipped, start with a screen selector; the line of the instance's
// selector names the method, the three threshold matrices and the column
// phase of matrix 2.

#include "halftone_a/converters.h"
#include "halftone_a/instance_a.h"
#include "halftone_a/registry.h"
#include "halftone_a/screen_tables.h"
#include "interface/byte_reader.h"

namespace vantik::halftone_a {
namespace {

constexpr size_t kMaxToken = 255;

// Character access over the bounded reader.  The text ends at the end of the
// block or at a NUL byte, whichever comes first, so that a legacy block
// without its END line stops at its terminator.
class Text {
 public:
  Text(const void* data, size_t length) : reader_(data, length) {}
  int Peek(size_t ahead = 0) const {
    const size_t at = reader_.pos() + ahead;
    if (ahead > reader_.remaining() || !reader_.Has(at, 1)) return -1;
    const uint8_t c = reader_.data()[at];
    return c == 0 ? -1 : c;
  }
  void Advance() { reader_.Skip(1); }
  bool SkipLine() {
    for (int c = Peek(); c >= 0; c = Peek()) {
      Advance();
      if (c == '\n') return true;
    }
    return false;
  }
  void SkipBlanks() {
    while (Peek() == ' ' || Peek() == '\t') Advance();
  }
  // A token runs up to a space or a tab (a line end does not end it); at
  // most 255 characters.  '-' makes the value negative; every other
  // character adds its digit value (c - 48), wrapping as 32-bit.
  bool Token(int32_t* value) {
    SkipBlanks();
    uint32_t v = 0;
    int32_t sign = 1;
    size_t length = 0;
    for (int c = Peek();; c = Peek()) {
      if (c < 0 || length > kMaxToken) return false;
      if (c == ' ' || c == '\t') break;
      if (c == '-') {
        sign = -1;
      } else {
        v = v * 10u + static_cast<uint32_t>(c - 48);
      }
      ++length;
      Advance();
    }
    if (length == 0 || length > kMaxToken) return false;
    *value = static_cast<int32_t>(v * static_cast<uint32_t>(sign));
    return true;
  }
  bool AtEndLine() const {
    return Peek(0) == 'E' && Peek(1) == 'N' && Peek(2) == 'D';
  }

 private:
  ByteReader reader_;
};

uint32_t RegisterMatrix(HalftoneAInstance& inst, int16_t number,
                        ResourceHandler handler) {
  if (number == 0) return RC_OK;
  // 300 is the screen table's own number: a matrix of that number would
  // send its block back into this handler.
  if (number <= 300 || number > 399) return RC_FAILURE;
  return RegistryRegister(*inst.registry, number, 0, &inst, handler);
}

}  // namespace

uint32_t ParseScreenTable(const void* data, size_t length, int32_t selector,
                          ScreenLine* out) {
  Text text(data, length);
  if (!text.SkipLine()) return RC_BAD_RESOURCE;
  for (;;) {
    text.SkipBlanks();
    if (text.AtEndLine()) return RC_BAD_RESOURCE;
    int32_t first = 0;
    if (!text.Token(&first)) return RC_BAD_RESOURCE;
    if (first == selector) break;
    if (!text.SkipLine()) return RC_BAD_RESOURCE;
  }
  ScreenLine line{selector, 0, 0, 0, 0, 0};
  if (!text.Token(&line.method) || !text.Token(&line.matrix1) ||
      !text.Token(&line.matrix2) || !text.Token(&line.matrix3) ||
      !text.Token(&line.matrix2Phase)) {
    return RC_BAD_RESOURCE;
  }
  *out = line;
  return RC_OK;
}

// Codes: 0x300 for a screen table that does not yield the selected line;
// 0x200 for a method without a converter, and for A and B that would make
// the level table divide by zero (A = 0, or 3A = 70 B / 100); 0x100 for a
// buffer not obtained, or a matrix number outside 301..399 (0 = none).
uint32_t ScreenTableHandler(void* context, int32_t, const void* data,
                            size_t length, uint32_t) {
  auto& inst = *static_cast<HalftoneAInstance*>(context);
  ScreenLine line;
  const uint32_t parsed = ParseScreenTable(data, length, inst.screenSelector, &line);
  if (parsed != RC_OK) return parsed;

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
