// A printer described by a user's ICC output profile: its CMYK to Lab
// direction (the A2B tables), evaluated through LittleCMS.
//
// The relative colorimetric intent is used: it is the profile's measured
// colour relative to its paper, which is what the table builder compares
// against; the builder makes its own perceptual mapping into the gamut, so
// the profile's perceptual tables (which already squeeze a reference gamut)
// would map twice.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "printmodel/printer.h"

namespace vantik::printmodel {

class IccPrinter final : public Printer {
 public:
  // Opens a profile from its bytes; `name` labels messages.  Refuses data
  // that is not an ICC profile, a profile that is not a CMYK output profile,
  // and one whose CMYK to Lab direction is missing or unusable (it prints
  // nothing finite, or ink does not darken the paper).
  static Result<std::unique_ptr<IccPrinter>> Open(std::span<const uint8_t> bytes,
                                                  const std::string& name);
  // The same from a file.
  static Result<std::unique_ptr<IccPrinter>> Load(const std::string& path);

  ~IccPrinter() override;
  IccPrinter(const IccPrinter&) = delete;
  IccPrinter& operator=(const IccPrinter&) = delete;

  Lab Print(const std::array<double, kInks>& ink) const override;
  // The profile's description, or "" when it has none.
  const std::string& description() const { return description_; }

 private:
  IccPrinter() = default;
  void* transform_ = nullptr;
  std::string description_;
};

}  // namespace vantik::printmodel
