// The vocabulary of the caller's records: what each ColorAdjustRecord field
// and each HalftoneParams value means, and the rules derived from them that
// more than one service (or the C++ API) needs.  Every reader of a record
// field by number goes through these names.
#pragma once

#include <cstdint>

#include "vantik/vantik.h"

namespace vantik {

// ---- ColorAdjustRecord fields ------------------------------------------------

enum AdjustField : int {
  kAdjustSelector = 0,     // preview adjustment selector
  kAdjustBrightness = 1,   // -50..50 for the preview, as are 2..6
  kAdjustContrast = 2,
  kAdjustSaturation = 3,   // colour matching may raise its own copy
  kAdjustRed = 4,          // red, green and blue offsets
  kAdjustGreen = 5,
  kAdjustBlue = 6,
  kAdjustTableSelector = 7,  // must equal the index entry's last number
  kAdjustPaper = 8,          // must equal the entry's name-list-2 number
  kAdjustColorModeA = 9,     // see ColorModeA
  kAdjustColorModeB = 10,    // see ColorModeB
  kAdjustGrayAxis = 11,      // see kGrayAxisFromLevels
  kAdjustTaggedList = 14,    // TaggedValueList address (the record's field14)
};

// The first seven fields, the ones the preview keeps.
inline constexpr int kPreviewAdjustFields = 7;

// Colour mode A (field 9).  Plain steers the table step's ink corrections;
// kNoCorrections asks for the colour tables without them; kBlackOnly selects
// the black-only tables and overrides mode B.
enum ColorModeA : int32_t {
  kColorModeAPlain = 0,
  kColorModeANoCorrections = 1,
  kColorModeABlackOnly = 4,
};

// Colour mode B (field 10): kColorTables selects the colour tables (table
// mode 4) with the table block's ink corrections; any other value is taken
// as the table mode itself.
enum ColorModeB : int32_t {
  kColorModeBNone = 0,
  kColorModeBColorTables = 2,
};

// Field 11: with this value (and RGB input) the table step rebuilds the gray
// nodes from the block's gray levels; any other value leaves the gray axis to
// the table block.
inline constexpr int32_t kGrayAxisFromLevels = 50;

// Table modes the index's name list 3 is matched against.
inline constexpr int32_t kTableModeBlack = 0;
inline constexpr int32_t kTableModeColor = 4;

// ---- HalftoneParams values ---------------------------------------------------

// kind: 2 is engine A; every other kind is engine B.  0 means "not given" and
// colour matching reads it as the four-ink diffusion kind.
enum HalftoneKind : int32_t {
  kKindUnset = 0,
  kKindDiffusion = 1,
  kKindEngineA = 2,
  kKindFourInk = 3,
};

// renderMode: the form of the pixels a service reads.
enum RenderMode : int32_t {
  kRenderGray = 0,  // one gray byte (goes with lutMode 0)
  kRenderRgb = 1,   // R, G, B
  kRenderBgr = 2,   // B, G, R in memory
  kRenderXrgb = 3,  // an unused byte, then R, G, B
  kRenderInks = 4,  // four ink values, cyan first: no colour table
};

// lutMode: 0 halftones a single ink from one gray byte per pixel through the
// black tone curve; any other value halftones four inks through the colour
// table.
enum LutMode : int32_t {
  kLutGray = 0,
  kLutColor = 1,
};

// Bytes per pixel and where each value sits: red, green, blue (unused fourth
// offset) for the RGB forms, the four inks for kRenderInks, the gray byte for
// kRenderGray.
struct PixelLayout {
  int32_t bytesPerPixel;
  int32_t offsets[4];
};

// The pixel form of a render mode (0..4; anything else reads as xRGB).
constexpr PixelLayout LayoutOf(int32_t renderMode) {
  switch (renderMode) {
    case kRenderGray: return {1, {0, 0, 0, 0}};
    case kRenderRgb: return {3, {0, 1, 2, 0}};
    case kRenderBgr: return {3, {2, 1, 0, 0}};
    case kRenderInks: return {4, {0, 1, 2, 3}};
    default: return {4, {1, 2, 3, 0}};
  }
}

// The RGB form colour matching translates for a render mode: the two 3-byte
// forms as they are, the 4-byte xRGB form for every other mode.
constexpr PixelLayout TranslationLayoutOf(int32_t renderMode) {
  if (renderMode == kRenderRgb || renderMode == kRenderBgr) return LayoutOf(renderMode);
  return LayoutOf(kRenderXrgb);
}

// The pixel form a halftone engine reads.  Engine A reads each render mode's
// own form whatever the lutMode; engine B one gray byte for lutMode 0, else
// four bytes: the inks for kRenderInks, xRGB otherwise.
constexpr PixelLayout HalftoneInputLayoutOf(int32_t kind, int32_t renderMode,
                                            int32_t lutMode) {
  if (kind == kKindEngineA) return LayoutOf(renderMode);
  if (lutMode == kLutGray) return LayoutOf(kRenderGray);
  return renderMode == kRenderInks ? LayoutOf(kRenderInks) : LayoutOf(kRenderXrgb);
}

// Dot planes a halftone engine writes: one for lutMode 0, else four.
constexpr int PlaneCountOf(int32_t lutMode) { return lutMode == kLutGray ? 1 : 4; }

// ---- Rules derived from the records ------------------------------------------

// What colour-matching creation makes of kind and the colour modes: the kind
// it uses, colour mode B as it leaves it, and the table mode it matches in
// the index.
struct ColorModes {
  int32_t kind;
  int32_t colorModeB;
  int16_t tableMode;
};

// A kind of 0 becomes the four-ink kind with colour mode B 2; then the table
// mode, each rule applied to the result of the one before, so colour mode A 4
// overrides everything and B 2 or A 1 both give the colour tables.
inline ColorModes ResolveColorModes(int32_t kind, int32_t colorModeA,
                                    int32_t colorModeB) {
  if (kind == kKindUnset) {
    kind = kKindFourInk;
    colorModeB = kColorModeBColorTables;
  }
  auto tableMode = static_cast<int16_t>(colorModeB);
  if (colorModeB == kColorModeBColorTables) tableMode = kTableModeColor;
  if (colorModeA == kColorModeANoCorrections) tableMode = kTableModeColor;
  if (colorModeA == kColorModeABlackOnly) {
    tableMode = kTableModeBlack;
    colorModeB = kColorModeBNone;
  }
  return {kind, colorModeB, tableMode};
}

// True when the table step applies the table block's ink corrections (the
// saturation boost, the primary, secondary and hue adjustments, the explicit
// gray nodes): colour tables chosen by mode B, with colour mode A plain.
inline bool InkCorrections(const ColorAdjustRecord& adjust) {
  return adjust.field[kAdjustColorModeB] == kColorModeBColorTables &&
         adjust.field[kAdjustColorModeA] == kColorModeAPlain;
}

// The largest value of each adjustment, and of the saturation colour
// matching raises by the table block's boost.
inline constexpr int32_t kAdjustLimit = 50;

}  // namespace vantik
