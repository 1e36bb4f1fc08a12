// Colour tables for engine A's screens, built under each screen's own dot
// rule (screen_printer.h) and corrected by printing (node_correction.h).
//
// The resource generator and `vantik resources build` both build these
// tables; the steps that differ from a table of independent dots live here
// so that both make the same table.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "printmodel/node_correction.h"
#include "printmodel/screen_printer.h"
#include "printmodel/table_builder.h"
#include "vantik/vantik.hpp"

namespace vantik::printmodel {

// The level-table parameters (A, B) a colour table block holds, which the
// ink-limited screen builds its level table from.  Fails on a block that is
// not a colour table.
Result<std::array<int, 2>> LevelTableParams(std::span<const uint8_t> block);

// The settings a screen's table is built under, from those of the paper.
// The stacked screen lays yellow from the top of the threshold range and
// the other inks from the bottom, so a gray between two recipes prints with
// a cast neither shows; its neutral axis is black alone, as black takes the
// whole gray component there, and the other nodes' recipes are evened out
// between neighbours (TableBuilder::SmoothRecipes), as its black, cyan and
// magenta dots share the threshold axis.
BuildSettings ScreenBuildSettings(BuildSettings settings, ScreenRule rule);

// Corrects `nodes`, built by a TableBuilder over `printer`, by printing
// them through the screen (CorrectByPrinting's arguments), and leaves each
// node's inks as the table stores them (printer.Stored).  On the stacked
// screen the black-only grays below the darkest print are first spread
// apart in lightness.  `options.printer` is set here.
Result<CorrectionFigures> CorrectScreenTable(std::vector<BuiltNode>& nodes, std::span<const uint8_t> positions,
                                             std::span<const uint8_t> base, int tableNumber,
                                             const ColorSettings& settings, ResourceSet& resources,
                                             const PrintModel& model, CorrectionOptions options,
                                             const ScreenPrinter& printer);

}  // namespace vantik::printmodel
