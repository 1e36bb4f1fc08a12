// The colour-table builder: for every node of a colour table, the ink
// amounts that the printer (the print model or an ICC output profile, see
// printer.h) prints closest to the node's colour.
//
// Each node's sRGB colour is mapped into the printable gamut (gamut_map.h),
// black is fixed by the black-generation curve from the node's darkness, and
// cyan, magenta and yellow are solved for the rest under the total ink
// limit.  Nodes are solved in grid order, each starting from its
// neighbour's answer, so that neighbouring nodes land on neighbouring
// solutions; the neutral axis then never prints lighter toward black.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "printmodel/gamut_map.h"
#include "printmodel/print_model.h"
#include "printmodel/printer.h"
#include "vantik/vantik.hpp"

namespace vantik::printmodel {

using Inks = std::array<double, kInks>;

// Black generation: no black below `start` darkness (0..1, from the node's
// darkest channel), then rising as a power `power` curve to full black.
struct BlackCurve {
  double start = 0.5;
  double power = 1.8;
};

// The named black settings of `--black`: none, light, medium, heavy, max.
Result<BlackCurve> BlackCurveByName(const std::string& name);

struct BuildSettings {
  double inkLimit = 2.6;  // total of the four inks, 1.0 = one solid ink
  BlackCurve black;
  // Grays at and near solid black print with black ink alone.
  bool pureBlack = false;
  // Darkness (0..1) from which pure black takes the neutral axis over.
  double pureBlackFrom = 0.5;
  // Black point compensation bends only the shadows, lighter tones keep
  // their lightness (GamutMap's keepTones).  For tables corrected by
  // printing (node_correction.h), which then aim each node at its own tone.
  bool keepTones = false;
  // Every ink of the neutral axis rises (never falls) from white to solid
  // black, black along the black curve alone.  For halftones that answer a
  // calibration curve, which moves every ink of a gray by the same curve:
  // a gray whose recipe differs in kind from its neighbours' (black taking
  // over from colour within a node or two) then drifts off neutral.
  bool monotoneAxis = false;
  // With monotoneAxis, above 0: the axis takes black by lightness instead
  // of the black curve, this share of the black that would print the gray's
  // lightness alone (rising to all of it toward solid black), so that the
  // gray component is black's and the colour inks only balance and deepen
  // it.  A calibration curve then moves mostly black, which keeps its hue.
  double axisBlackShare = 0.0;
  // Above 0: rounds of SmoothRecipes after the nodes are solved.  For
  // screens whose dots of different inks interact, so that a table
  // interpolating between recipes of a different kind (black in place of
  // colour) prints far from the colour between them.
  int continuityRounds = 0;
};

struct BuiltNode {
  Inks ink{};
  Lab target;   // the mapped colour the node aims at
  Lab printed;  // what the model prints for `ink`
};

class TableBuilder {
 public:
  // The printer must outlive the builder.
  TableBuilder(const Printer& printer, const BuildSettings& settings);
  TableBuilder(const PrintModel& model, const BuildSettings& settings);

  // The ink amounts closest to `target` with black held at `k`, searched
  // from `start`; cyan, magenta and yellow stay within the ink limit.
  Inks Solve(const Lab& target, double k, Inks start) const;

  // The table for nodes at `positions` (0..255) on each of the three axes,
  // red slowest: positions.size()^3 nodes.
  std::vector<BuiltNode> Build(std::span<const uint8_t> positions) const;

  // Evens out the recipes of `nodes` (a table for `positions`, as Build
  // makes it) for `rounds` rounds: each node off the neutral axis tries the
  // black of each of its six grid neighbours, cyan, magenta and yellow
  // solved again for it, and keeps whichever inks give the least cost, its
  // own error plus the error of what the table interpolates halfway to
  // each neighbour (against the colour there).  A light node the solve
  // gave no black to takes none.  Returns the number of nodes changed.
  int SmoothRecipes(std::vector<BuiltNode>& nodes, std::span<const uint8_t> positions, int rounds) const;

  Lab Printed(const Inks& ink) const { return printer_->Print(ink); }
  const GamutMap& gamut() const { return gamut_; }

 private:
  double PreferredBlack(double darkness) const;
  Inks SolveNode(const Lab& target, double darkness, const Inks& start) const;
  Inks BlackOnly(double l) const;

  TableBuilder(std::unique_ptr<const Printer> owned, const BuildSettings& settings);

  std::unique_ptr<const Printer> owned_;  // the model's printer, when built from a model
  const Printer* printer_;
  BuildSettings settings_;
  GamutMap gamut_;
  GamutMap blackOnlyGamut_;
};

// Makes every ink of the neutral axis of `nodes` (a table of n^3 nodes, red
// slowest, white last) rise from white to black, and keeps black plus the
// colour inks under `inkLimit`: each ink is replaced by its closest
// non-rising sequence from black to white (pooling neighbours that break
// the order), and colour is then trimmed where the total exceeds the limit,
// repeated until both hold (or, at the last, each lighter gray's inks
// lowered to the darker gray's).  Black is left as it is when it already
// rises.  Only the inks change; `printed` is not updated.
void MakeAxisMonotone(std::span<BuiltNode> nodes, size_t n, double inkLimit);

// Level an engine must be given so that its dots cover `coverage` (0..1)
// of the cells under the table's dot weights (percent at no ink and full
// ink), as the diffusion and matrix engines weigh their levels.
uint8_t LevelForCoverage(double coverage, int weightLight, int weightFull);

// A four-ink table block like `base` (header, node positions, weights kept)
// whose table, gray levels and explicit neutral axis hold `nodes`, built
// for base's node positions.  Fails on a block that is not a four-ink
// table with equal positions on its three axes.
Result<std::vector<uint8_t>> RebuildTableBlock(std::span<const uint8_t> base,
                                               const TableBuilder& builder);

// The node positions of a block that RebuildTableBlock takes (a four-ink
// table with equal positions on its three axes), or why it takes none.
Result<std::vector<uint8_t>> RebuildablePositions(std::span<const uint8_t> base);

// A four-ink table block like `base` holding `nodes` (positions.size()^3 of
// them, red slowest), as RebuildTableBlock writes it.
Result<std::vector<uint8_t>> WriteBuiltTable(std::span<const uint8_t> base,
                                             std::span<const BuiltNode> nodes);

}  // namespace vantik::printmodel
