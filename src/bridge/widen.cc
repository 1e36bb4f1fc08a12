#include "bridge/widen.h"

#include "interface/byte_reader.h"

namespace vantik::bridge {

void WidenAdjust(const uint8_t* rec, ColorAdjustRecord* out) {
  ByteReader r(rec, kAdjustBytes16);
  *out = ColorAdjustRecord{};
  for (int f = 0; f < 12; ++f) out->field[f] = r.S16LE();
}

void WidenParams(const uint8_t* rec, HalftoneParams* out) {
  ByteReader r(rec, kParamsBytes16);
  *out = HalftoneParams{};
  out->kind = r.S16LE();
  out->variant = r.S16LE();
  out->renderMode = r.S16LE();
  out->lutMode = r.S16LE();
  out->xResolution = r.S16LE();
  out->yResolution = r.S16LE();
  out->engineField7 = r.S16LE();
  out->horizontalScale = r.S16LE();
  out->engineField9 = r.S16LE();
  out->lineWidth = r.U16LE();  // the one zero-extended field
}

void WidenOptions(const uint8_t* rec, PreviewOptions* out) {
  ByteReader r(rec, kOptionsBytes16);
  *out = PreviewOptions{};
  out->mode = r.S16LE();
}

}  // namespace vantik::bridge
