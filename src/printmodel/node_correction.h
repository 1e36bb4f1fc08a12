// Corrects a built colour table by printing it.
//
// The table builder inverts the print model as if every ink's dots fell
// independently of the others.  The halftone engines do not place them so:
// the diffusion kernels gather cyan dots with black's and keep magenta off
// them, the screens stack or spread inks by their own rules.  What a node
// really prints therefore differs from what the model predicts for its
// inks, most in the dark and saturated nodes.
//
// The correction prints a small flat patch of every node through the real
// colour-matching and halftoning path (all patches in one page, with the
// grays halfway between the neutral axis's nodes), counts the
// overprints of each patch's dots, and reads the colour they make under the
// print model, as an instrument would on the simulated print.  Each node's
// cyan, magenta and yellow then move toward its target colour by a Jacobian
// (the model's, refined by what each round measured), black held and the
// ink limit kept; nodes of black ink alone are left so.  Where the printed
// black is lighter than the black the targets were mapped onto, the
// darkest targets are first spread over the printed black's range.  After a few rounds
// every node keeps the inks that printed closest to its target.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "printmodel/print_model.h"
#include "printmodel/printer.h"
#include "printmodel/table_builder.h"
#include "vantik/vantik.hpp"

namespace vantik::printmodel {

struct CorrectionOptions {
  int rounds = 6;
  // Rounds for halftone kind 3.  Its kernels place cyan and black from one
  // end of the threshold matrix and magenta and yellow from the other, so
  // in the dark grays a few levels of colour decide whether dots land on
  // paper or on black: the prints answer sharply and take more rounds.
  int ditherRounds = 8;
  // Patch side in dots, and the rows and columns at its top and left that
  // are not read while the halftone settles after the previous patch: 1,600
  // dots read, so that a patch's colour carries well under a unit of
  // Delta E of dot noise.  Halftone kind 3 reads whole periods of its
  // threshold matrices instead (patch_printer.h).
  int patch = 48;
  int settle = 8;
  // A node whose print lies within this Delta E 2000 of its target is left.
  double tolerance = 0.5;
  // Share of each step taken: a node's patch also reads its neighbours
  // (engines re-sample the table onto their own grid), and full steps make
  // neighbouring nodes chase each other.
  double damping = 0.7;
  double inkLimit = 2.6;
  // The printer each node's first step is taken from: the print model's
  // flat tint when null.  A screen that lays its inks by its own rule
  // (screen_printer.h) steps far better from its own printer.  The nodes'
  // inks are read in that printer's terms: the table stores
  // printer->Stored(ink) for each.
  const Printer* printer = nullptr;
  // Keep every ink of the neutral axis rising from white to black through
  // the rounds (MakeAxisMonotone after each step), and let the axis keep
  // the round that printed best as a whole, not node by node, so that the
  // order holds in what is stored.
  bool monotoneAxis = false;
};

struct CorrectionFigures {
  // Delta E 2000 between what the nodes print and their targets, before and
  // after the correction.
  double meanBefore = 0, maxBefore = 0, meanAfter = 0, maxAfter = 0;
  // Largest chroma of the grays halfway between neighbouring gray nodes.
  double axisCastBefore = 0, axisCastAfter = 0;
  int rounds = 0;
};

// Corrects `nodes` (built for `positions` on each axis, red slowest) of the
// colour table stored as `tableNumber` in `resources`, whose block `base`
// gives the header the nodes are written under.  `settings` select that
// table and the halftone method it serves; its line width is set here.  The
// table in `resources` is replaced while printing and holds the corrected
// nodes on return.
Result<CorrectionFigures> CorrectByPrinting(std::vector<BuiltNode>& nodes,
                                            std::span<const uint8_t> positions,
                                            std::span<const uint8_t> base, int tableNumber,
                                            ColorSettings settings, ResourceSet& resources,
                                            const PrintModel& model,
                                            const CorrectionOptions& options);

}  // namespace vantik::printmodel
