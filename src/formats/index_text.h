// Colour-table index: the text that names, for each combination of halftone
// kind, colour mode, resolution and the caller's two selection values, the
// table block to load and the halftone resource that goes with it.
//
//   header      everything up to the first '/', that '/' and one byte more,
//               then the rest of that line and one more line
//   entries     one a line: table, halftone, kind name, list-2 name,
//               x and y resolution, mode name, selector
//   '/' line    ends the entries
//   three name lists, one a line: kinds, list 2 (an optional base number
//               first, unless its first token begins with 'P'), modes
//
// After the header the text ends at a 0x00 or 0x1A byte or at the end of the
// block.  Tokens are separated by TABs and spaces; a run of CR and LF bytes
// ends a line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/format.h"
#include "interface/byte_reader.h"

namespace vantik::formats {

// Limits of the index text.  Input beyond them is refused as a whole.
constexpr int kIndexMaxEntries = 100;
constexpr int kIndexMaxNameBytes = 11;
constexpr int kIndexMaxKindNames = 12;
constexpr int kIndexMaxList2Names = 32;
constexpr int kIndexMaxModeNames = 12;
constexpr int kIndexMaxTokenBytes = 255;
constexpr int kIndexMaxRemainderBytes = 255;
// Bytes of the work block that holds the parsed entries.
constexpr int kIndexWorkBytes = 8000;

// One entry line.  The three positions are filled by ResolveIndexNames.
struct IndexEntry {
  int32_t tableNumber;
  int32_t halftoneNumber;  // as written; 0 stands for none
  int32_t kindIndex;       // position of kindName in the kind list
  char kindName[12];
  int32_t modeIndex;       // position of modeName in the mode list
  char modeName[12];
  int32_t list2Number;     // list 2's base plus the position of list2Name
  char list2Name[12];
  int32_t selector;
  int32_t xResolution;
  int32_t yResolution;
};
static_assert(sizeof(IndexEntry) * kIndexMaxEntries <= kIndexWorkBytes);

struct IndexNameList {
  char names[kIndexMaxList2Names][kIndexMaxNameBytes + 1];
  int lengths[kIndexMaxList2Names];
  int count;

  // Position of the last name equal to `name`, or `none`.
  int32_t LastPosition(const char* name, int32_t none) const;
};

// A parsed index; the entries live in storage the caller provides.
struct IndexView {
  IndexEntry* entries = nullptr;
  int count = 0;
  IndexNameList kinds{};
  int32_t list2Base = 0;
  IndexNameList list2{};
  IndexNameList modes{};
};

// The decimal rule of the index: every byte but '-' adds (byte - '0') to ten
// times the value, the byte taken as signed 8-bit; any '-' negates the result.
// Wraps around in 32 bits.
int32_t IndexDecimal(const char* token, int length);

// Parses the block into `out`, its entries into `entries` (room for
// kIndexMaxEntries).  Nothing past the text's end is read.
Outcome ParseIndex(ByteReader& block, IndexEntry* entries, IndexView& out);

// Gives every entry its positions: the last equal name of a list wins; a
// name in no list resolves to 0 (not to list 2's base).
void ResolveIndexNames(IndexView& index);

// An index to write.  Tokens are joined by single spaces, every name of a
// list is followed by a space, every line ends with `lineEnd`.
struct IndexContent {
  struct Entry {
    int table = 0;
    int halftone = 0;
    std::string kind, list2;
    int xResolution = 0, yResolution = 0;
    std::string mode;
    int selector = 0;
  };
  std::string header;     // the text after the header's '/'
  std::string columns;    // the second header line
  std::vector<Entry> entries;
  std::string endLine;    // the text after the '/' that ends the entries
  std::vector<std::string> kinds;
  bool hasList2Base = false;
  int list2Base = 0;
  std::vector<std::string> list2;
  std::vector<std::string> modes;
  std::string lineEnd = "\r\n";
  bool nulTerminated = true;  // ends the text for callers that pass no length
};
std::vector<uint8_t> WriteIndex(const IndexContent& index);

bool FitsIndex(int number, std::span<const uint8_t> bytes);

}  // namespace vantik::formats
