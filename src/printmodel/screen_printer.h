// The print model seen through one of engine A's threshold screens.
//
// Engine A compares every ink of a dot with the same threshold (ordered
// screens, clustered dots, stacked screens), so its inks do not fall
// independently of each other as the print model's flat tint assumes: the
// black-first screens put colour only where black is not and lay cyan,
// magenta and yellow dot on dot; the stacked screen lays black, cyan and
// magenta side by side along the threshold axis and yellow from its top.
// A ScreenPrinter works out which overprint each share of the threshold
// range gets under the screen's dot rule, treating the thresholds (and the
// ink-limit matrix's, which is laid independently) as evenly spread, and
// mixes those overprints under the print model, as the simulated print
// reads a patch.  The result is smooth in the ink amounts, so the table
// builder can invert it.
#pragma once

#include <array>
#include <cstdint>

#include "printmodel/print_model.h"
#include "printmodel/printer.h"

namespace vantik::printmodel {

// How a screen's dot rule lays the four inks over each other.
enum class ScreenRule {
  // Black on the lowest thresholds; cyan, magenta and yellow dot on dot
  // above it, each where the threshold is within its amount.
  kBlackFirst,
  // As kBlackFirst, with dots dropped where the ink-limit matrix exceeds
  // the level table's limit for the total ink (raised for light inks).
  kBlackFirstInkLimited,
  // Black on the lowest thresholds, then cyan and magenta overlapping by
  // what their sum exceeds one solid ink, cyan alone, magenta alone; yellow
  // from the top of the range.
  kStacked,
};

class ScreenPrinter final : public Printer {
 public:
  // `paramA` and `paramB` are the colour table's level-table parameters
  // (used by kBlackFirstInkLimited only); A must be positive and 3A must
  // differ from 0.7 B.
  ScreenPrinter(const PrintModel& model, ScreenRule rule, int paramA = 255, int paramB = 765);

  Lab Print(const std::array<double, kInks>& ink) const override;
  // On the black-first screens a colour ink prints only where its amount
  // exceeds black's, so this printer takes the colour inks as what they
  // print beyond black, and the table stores black's amount plus that:
  // nodes then interpolate between what they print, where two dark nodes
  // of different recipes (black alone, the three colours alone) would
  // otherwise mix into a light one.
  std::array<double, kInks> Stored(const std::array<double, kInks>& ink) const override;

  // Share of the area each overprint covers for ink amounts 0..1 (they add
  // up to 1), before dot gain; the colour inks are read as Print reads them.
  std::array<double, kOverprints> Fractions(const std::array<double, kInks>& ink) const;

  ScreenRule rule() const { return rule_; }

 private:
  double Limit(double total) const;

  const PrintModel& model_;
  ScreenRule rule_;
  std::array<uint8_t, 768> levels_{};
};

}  // namespace vantik::printmodel
