// Four-ink colour tables built by inverting the measured print model and
// corrected by printing their nodes through the library itself
// (printmodel/table_builder.h, printmodel/node_correction.h).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "printmodel/screen_printer.h"
#include "separation.h"
#include "vantik/vantik.hpp"

namespace vantik::resgen {

// The table a build replaces and the print path its nodes are checked on:
// the method (halftone kind, variant and the index's selector) and the
// resolution the table serves, on its paper.
struct PrintTarget {
  int tableNumber;    // colour block the table is stored under
  const char* paper;  // paper name as the index's list 2 gives it
  int kind = 1;
  int variant = 0;
  int selector = 0;
  int xResolution = 720;
  int yResolution = 720;
  // Engine A's screens lay their inks by their own rule: the nodes are
  // built and stepped under that rule instead of independent dots.
  std::optional<printmodel::ScreenRule> screen = std::nullopt;
};

// The settings that print through `target`'s method, paper and resolution.
// Exits with a message when the index names no such paper.
ColorSettings PrintSettings(const ResourceSet& resources, const PrintTarget& target);

// The table block `base` (its header, node positions, weights and gray
// levels kept) with every node built for the paper's ink limit and black
// curve and then corrected by printing; `resources` holds every other
// block the print path needs.  Exits with a message when the print path
// refuses the table.
std::vector<uint8_t> BuildCorrectedTable(const std::vector<uint8_t>& base, const PaperModel& paper,
                                         const PrintTarget& target, ResourceSet resources);

}  // namespace vantik::resgen
