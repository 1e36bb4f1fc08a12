// Perceptual gamut mapping from sRGB to what a printer can print.
//
// Colours are compared media-relative: the paper's own colour is the white
// of D50, so blank paper stands for the source's white.  Black point
// compensation scales lightness so that the source's black lands on the
// darkest black the printer makes under the ink limit; with keepTones it
// bends only the shadows and lighter tones keep their lightness.  Chroma beyond a knee
// inside the printable gamut is compressed smoothly toward its boundary, hue
// kept, so that out-of-gamut colours keep their order and in-gamut colours
// below the knee pass unchanged.
#pragma once

#include <array>
#include <vector>

#include "printmodel/print_model.h"
#include "printmodel/printer.h"

namespace vantik::printmodel {

// Media-relative Lab of a model colour (paper = L* 100, a* = b* = 0).
Lab RelativeLab(const PrintModel& model, const Xyz& xyz);

// CIE Lab (D50) of an sRGB colour, components 0..1.
Lab SrgbToLab(double r, double g, double b);

class GamutMap {
 public:
  // `inkLimit`: the highest total of the four inks (1.0 = one solid ink).
  // `blackOnly`: the source's black maps to solid black ink alone.
  // The printer is only sampled here, not kept.
  // `keepTones`: black point compensation leaves lightness above a knee
  // (a few times the printer's black) unchanged and bends only the shadows
  // below it; otherwise it scales the whole range.
  GamutMap(const Printer& printer, double inkLimit, bool blackOnly = false, bool keepTones = false);
  GamutMap(const PrintModel& model, double inkLimit, bool blackOnly = false, bool keepTones = false)
      : GamutMap(ModelPrinter(model), inkLimit, blackOnly, keepTones) {}

  // The printable colour that stands for `source` (media-relative Lab).
  Lab Map(const Lab& source) const;

  // The lightness that stands for source lightness l: the whole range
  // scaled onto black .. paper, or with keepTones unchanged above a knee
  // and the shadows below it compressed onto the printer's black.
  double MapLightness(double l) const;

  // Lightness of the darkest black the mapping aims at.
  double blackL() const { return blackL_; }
  // Largest printable chroma at lightness l and hue angle h (radians).
  double MaxChroma(double l, double hue) const;

 private:
  static constexpr int kLightBins = 51;  // 2 L* apart
  static constexpr int kHueBins = 72;    // 5 degrees apart
  double blackL_ = 0;
  bool keepTones_ = false;
  std::vector<double> chroma_;  // kLightBins x kHueBins
};

}  // namespace vantik::printmodel
