// Colour-table index: the text resource that names, for each combination of
// halftone kind, colour mode, resolution and the caller's two selection
// values, the table block to load and the halftone resource that goes with it.
#pragma once

#include <cstdint>

#include "colormatch/cm_instance.h"
#include "interface/byte_reader.h"

namespace vantik::colormatch {

// Format limits of the index text.  Input beyond them is refused.
constexpr int kIndexMaxEntries = 100;
constexpr int kIndexMaxNameBytes = 11;
constexpr int kIndexMaxKindNames = 12;
constexpr int kIndexMaxList2Names = 32;
constexpr int kIndexMaxModeNames = 12;
constexpr int kIndexMaxTokenBytes = 255;
constexpr int kIndexMaxRemainderBytes = 255;
constexpr int kIndexWorkBytes = 8000;

// One parsed entry line.
struct TableIndexEntry {
  int32_t tableNumber;
  int32_t halftoneNumber;  // 0 in the text is stored as -1
  int32_t kindIndex;       // position of kindName in name list 1
  char kindName[12];
  int32_t modeIndex;       // position of modeName in name list 3
  char modeName[12];
  int32_t list2Number;     // base of name list 2 plus the position of list2Name
  char list2Name[12];
  int32_t selector;
  int32_t xResolution;
  int32_t yResolution;
};
static_assert(sizeof(TableIndexEntry) * kIndexMaxEntries <= kIndexWorkBytes);

// The decimal rule of the index: every byte but '-' adds (byte - '0') to ten
// times the value, the byte taken as signed 8-bit; any '-' negates the result.
// Wraps around in 32 bits.
int32_t IndexDecimal(const char* token, int length);

// Parses the index and walks its entries for the instance's selection.  On
// code 0, *tableNumber is the table number of the last matching entry (0 when
// none matches), and a match sets the instance's tableNumber and
// halftoneNumber.  Codes: 0x101 / 0x102 when the work block is not obtained,
// 0x300 for an index beyond the format's limits (the instance is unchanged).
uint32_t CmIndexLookup(CmInstance& instance, ByteReader& block,
                       int32_t* tableNumber);

}  // namespace vantik::colormatch
