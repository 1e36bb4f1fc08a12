// Resource block formats.  Every block a resource dialogue hands over has one
// module here that knows its layout: a bounded parse into a typed view (or
// the refusal code with its reason in words), a writer that lays a typed
// value out as a valid block, a one-line summary and a guess of the kind from
// the bytes.  The services, the C++ API, the resource tools, the generator of
// the default set and the tests all read and write blocks through them, so a
// layout is written down once.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "vantik/vantik.h"

namespace vantik::formats {

// Result of a parse: RC_OK, or the code the service returns for the block
// (almost always RC_BAD_RESOURCE) and why, in words.
struct Outcome {
  uint32_t code = RC_OK;
  const char* reason = "";

  bool ok() const { return code == RC_OK; }
  static Outcome Bad(const char* why) { return {RC_BAD_RESOURCE, why}; }
};

enum class Kind : uint8_t {
  kUnknown,
  kIndex,            // colour-table index text (also the calibration index)
  kTable,            // colour table
  kCurveSlots,       // calibration: curve slot records
  kReferenceLevels,  // calibration: reference level per channel
  kCurveRows,        // calibration: 21 rows of tone curves
  kIdList,           // engine B resource-id list
  kNodes,            // engine B node positions of the re-sampled table
  kMatrix16,         // engine B threshold matrix, 16-bit cells
  kScreenTable,      // engine A screen-table text
  kMatrix8,          // engine A threshold matrix, byte cells
};

enum class Dialogue : uint8_t { kColor, kHalftone };

struct Handler {
  Kind kind;
  Dialogue dialogue;      // which service's resource dialogue asks for it
  std::string_view name;  // short name the resource tools print
  std::string_view summary;
  // True when the block, under that number, looks like this kind.
  bool (*fits)(int number, std::span<const uint8_t> bytes);
};

// Every format, in the order a guess tries them.
std::span<const Handler> Handlers();
const Handler& HandlerOf(Kind kind);

// The first format of that dialogue whose guess fits; kUnknown when none.
Kind GuessKind(Dialogue dialogue, int number, std::span<const uint8_t> bytes);

// Node positions: a count of 2 to 32, rising strictly from 0 (first) to
// 255 (last).
bool PositionsRise(const uint8_t* positions, int32_t count);

// Printable text (tabs and line ends allowed) up to its first NUL, and not
// empty: what a text block looks like.
bool LooksLikeText(std::span<const uint8_t> bytes);
// The bytes before the first NUL.
std::span<const uint8_t> TextPart(std::span<const uint8_t> bytes);

}  // namespace vantik::formats
