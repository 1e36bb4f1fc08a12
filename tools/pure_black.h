// Pure black: the colour tables of a resource set rewritten so that grays at
// and near solid black print with black ink alone, and black text and lines
// carry no cyan, magenta or yellow under their black.
//
// Which nodes change, for a node at levels (r, g, b) of a four-ink table:
//   lightest = max(r, g, b), spread = max(r, g, b) - min(r, g, b)
//   darkness share: 1 at lightest <= 64, falling linearly to 0 at 128
//   nearness share: 1 on the neutral axis (spread 0), falling linearly to 0
//                   at a spread of 32 levels (two nodes of a 17-node grid
//                   are 16 levels apart)
//   t = darkness share x nearness share
// The node's cyan, magenta and yellow are scaled by (1 - t); its black is
// the level at which the printer model prints the node as light as before.
// Black ink alone cannot print as dark as a rich black, so the lightness
// aimed at is blended (by t) toward a scale that maps the table's solid
// black onto solid black ink and leaves level 128 where it is: the neutral
// axis keeps falling in lightness, without a step, from paper to solid
// black, and a photograph's dark gradient does not band.  The explicit
// neutral axis some tables carry is rewritten the same way.  The table's
// levels become ink coverage as the engines weigh them (the table's dot
// weights).  The same set always gives the same tables.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "printmodel/print_model.h"
#include "vantik/vantik.hpp"

namespace vantik::tool {

// The levels that bound the hand-over, and the spread at which a node no
// longer counts as near the neutral axis.
constexpr int kPureBlackFull = 64;    // at or below: black ink alone
constexpr int kPureBlackEnd = 128;    // at or above: the table's own inks
constexpr int kPureBlackSpread = 32;  // spread at which nearness ends

// One table block rewritten under `model`; a block that is not a four-ink
// table with equal node counts is returned unchanged.
std::vector<uint8_t> PureBlackTable(std::span<const uint8_t> block,
                                    const printmodel::PrintModel& model);

// A copy of `set` whose colour tables named by its colour-table index are
// rewritten by PureBlackTable under the built-in printer model; every other
// block is copied as it is.
ResourceSet PureBlackResources(const ResourceSet& set);

}  // namespace vantik::tool
