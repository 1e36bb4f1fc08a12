// Flat patches printed through the library and read under the print model.
//
// Every probe colour becomes one square patch of a page that is colour
// matched and halftoned through the real resource sequence; the dots of each
// patch's inner area, its first rows and columns left out while the
// halftone settles after the previous patch, are counted by overprint and
// read as the model's colour of that mix, as an instrument would read the
// simulated print.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "printmodel/print_model.h"
#include "vantik/vantik.hpp"

namespace vantik::printmodel {

using Rgb = std::array<uint8_t, 3>;

class PatchPrinter {
 public:
  // Patches of `patch` dots square whose first `settle` rows and columns
  // are not read.  For halftone kind `kind` 3, whose threshold matrices
  // repeat every 64 dots, the patch is widened to read at least one whole
  // period each way: a part of the tile reads a coverage that depends on
  // where the patch lies in it, by as much as several Delta E in the dark
  // grays, where a few dots of colour on the paper left beside black tint
  // the whole patch.
  PatchPrinter(std::vector<Rgb> probes, int patch, int settle, int kind);

  // Page width in dots; the halftone settings' line width must be this.
  int width() const { return columns_ * patch_; }
  int patch() const { return patch_; }

  // What every probe's patch prints, as media-relative Lab under `model`.
  // The method must print the four model inks.
  Result<std::vector<Lab>> Print(const ColorSettings& settings, const ResourceSet& resources,
                                 const PrintModel& model) const;

 private:
  std::vector<Rgb> probes_;
  int patch_ = 0, settle_ = 0;
  int count_ = 0, columns_ = 0, rows_ = 0;
};

}  // namespace vantik::printmodel
