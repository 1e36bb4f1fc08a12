// The table of formats and the kind guess.
#include "formats/format.h"

#include "interface/tetrahedral.h"

#include "formats/curve_rows.h"
#include "formats/curve_slots.h"
#include "formats/id_list.h"
#include "formats/index_text.h"
#include "formats/matrix16.h"
#include "formats/matrix8.h"
#include "formats/node_positions.h"
#include "formats/reference_levels.h"
#include "formats/screen_text.h"
#include "formats/table_block.h"
#include "interface/tetrahedral.h"

namespace vantik::formats {
namespace {

bool FitsNothing(int, std::span<const uint8_t>) { return false; }

constexpr Dialogue kC = Dialogue::kColor;
constexpr Dialogue kH = Dialogue::kHalftone;

// The calibration blocks are told apart first by their numbers, a table by
// its shape before an index by its text; on the halftone side the screen
// table by its number or END line, then the binary blocks by their sizes.
const Handler kHandlers[] = {
    {Kind::kCurveSlots, kC, "calibration", "calibration curve slots: per key, a curve slot per channel",
     FitsCurveSlots},
    {Kind::kReferenceLevels, kC, "calibration", "calibration reference levels: a level per channel",
     FitsReferenceLevels},
    {Kind::kCurveRows, kC, "calibration", "calibration curves: 21 rows of 256-byte tone curves",
     FitsCurveRows},
    {Kind::kTable, kC, "table", "colour table: header, node positions, table, gray levels, neutral axis",
     FitsTableBlock},
    {Kind::kIndex, kC, "index", "colour-table index: entries naming a table per selection, three name lists",
     FitsIndex},
    {Kind::kScreenTable, kH, "screen-table", "engine A screen table: per selector, method, matrices and phase",
     FitsScreenTable},
    {Kind::kNodes, kH, "nodes", "engine B node positions: 32 positions for the re-sampled table",
     FitsNodePositions},
    {Kind::kMatrix16, kH, "matrix16", "engine B threshold matrix: 16-bit cells", FitsMatrix16},
    {Kind::kMatrix8, kH, "matrix8", "engine A threshold matrix: byte thresholds", FitsMatrix8},
    {Kind::kIdList, kH, "id-list", "engine B id list: node positions and threshold matrices by number",
     FitsIdList},
    {Kind::kUnknown, kC, "unknown", "not a known block", FitsNothing},
};

}  // namespace

std::span<const Handler> Handlers() { return std::span<const Handler>(kHandlers).first(std::size(kHandlers) - 1); }

const Handler& HandlerOf(Kind kind) {
  for (const Handler& h : kHandlers)
    if (h.kind == kind) return h;
  return kHandlers[std::size(kHandlers) - 1];
}

Kind GuessKind(Dialogue dialogue, int number, std::span<const uint8_t> bytes) {
  for (const Handler& h : Handlers())
    if (h.dialogue == dialogue && h.fits(number, bytes)) return h.kind;
  return Kind::kUnknown;
}

bool PositionsRise(const uint8_t* p, int32_t count) { return tetra::AxisUsable(p, count); }

std::span<const uint8_t> TextPart(std::span<const uint8_t> bytes) {
  size_t n = 0;
  while (n < bytes.size() && bytes[n] != 0) ++n;
  return bytes.first(n);
}

bool LooksLikeText(std::span<const uint8_t> bytes) {
  const auto text = TextPart(bytes);
  if (text.empty()) return false;
  for (uint8_t b : text) {
    if (b < 0x20 && b != '\t' && b != '\r' && b != '\n' && b != 0x1A) return false;
    if (b >= 0x7F) return false;
  }
  return true;
}

}  // namespace vantik::formats
