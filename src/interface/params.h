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

}  // namespace vantik
