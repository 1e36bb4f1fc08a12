// What the table builder inverts: a printer, seen as the colour it puts on
// paper for given amounts of cyan, magenta, yellow and black ink.
//
// Colours are media-relative CIE Lab under D50 (blank paper is L* 100,
// a* = b* = 0), so that the builder compares them with the source's colours
// directly.  A printer is either the measured print model or a user's ICC
// output profile (icc_printer.h).
#pragma once

#include <array>

#include "printmodel/print_model.h"

namespace vantik::printmodel {

class Printer {
 public:
  virtual ~Printer() = default;
  // Media-relative Lab of a flat tint of ink amounts 0..1.
  virtual Lab Print(const std::array<double, kInks>& ink) const = 0;
  // The amounts a colour table stores for `ink`: the same, unless the
  // printer reads its inks relative to each other (screen_printer.h).
  virtual std::array<double, kInks> Stored(const std::array<double, kInks>& ink) const { return ink; }
};

// The print model as a printer.
class ModelPrinter final : public Printer {
 public:
  explicit ModelPrinter(const PrintModel& model) : model_(model) {}
  Lab Print(const std::array<double, kInks>& ink) const override;

 private:
  const PrintModel& model_;
};

}  // namespace vantik::printmodel
