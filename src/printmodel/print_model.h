// The print model: what colour a printer puts on paper for given amounts of
// cyan, magenta, yellow and black ink.
//
// It is a Yule-Nielsen modified Neugebauer model.  The 16 overprints of the
// four inks (paper, each ink alone, each pair, each triple, all four) are
// measured colours in CIE XYZ under D50.  A tint mixes them by the area each
// overprint covers (Demichel's weights for independent dot placement), in
// the space of X^(1/n), Y^(1/n), Z^(1/n), where n, the Yule-Nielsen factor,
// stands for the light that enters the paper beside a dot and leaves it
// under one.  Each ink also has a dot-gain curve: the area its dots really
// cover for the amount asked for.
//
// A model is fitted to measurements in CGATS text (the `.ti3` files that
// measuring instruments and profiling tools write): the overprints are read
// from the solid patches, each ink's curve from its single-ink ramp, and n is
// the factor under which the model predicts the whole set best.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vantik/vantik.hpp"

namespace vantik::printmodel {

// CIE XYZ under D50, scaled so that a perfect white diffuser has Y = 1.
struct Xyz {
  double x = 0, y = 0, z = 0;
};

// CIE L*a*b* under D50.
struct Lab {
  double l = 0, a = 0, b = 0;
};

Lab ToLab(const Xyz& xyz);
Xyz ToXyz(const Lab& lab);
// CIE Delta E 2000 between two colours.
double DeltaE2000(const Lab& a, const Lab& b);

// Ink indices and bits of an overprint: overprint m holds ink k when bit k
// of m is set.
enum Ink { kCyan = 0, kMagenta = 1, kYellow = 2, kBlack = 3 };
inline constexpr int kInks = 4;
inline constexpr int kOverprints = 16;

// The ink named by a plane name ("cyan" ... "black"), or -1.
int InkByName(std::string_view name);

// One measured patch: ink amounts 0..1 and the colour measured.
struct Sample {
  std::array<double, kInks> ink{};
  Xyz xyz;
};

struct MeasurementSet {
  std::string name;         // where it came from, for messages
  std::string description;  // the file's DESCRIPTOR or ORIGINATOR, if any
  std::vector<Sample> samples;
};

// Reads CGATS measurement data: CMYK_C, CMYK_M, CMYK_Y, CMYK_K in percent,
// and XYZ_X, XYZ_Y, XYZ_Z (0..100) or LAB_L, LAB_A, LAB_B.  `name` labels
// messages.  Data that is missing, not a number or out of range is refused.
Result<MeasurementSet> ParseMeasurements(std::string_view text, const std::string& name);
Result<MeasurementSet> LoadMeasurements(const std::string& path);

// How well a model predicts a measurement set, in Delta E 2000.
struct FitError {
  double mean = 0, p95 = 0, max = 0;
  size_t samples = 0;
};

// A dot-gain curve: the piecewise-linear curve through (0, 0), the points
// (nominal, effective; sorted by nominal, both 0..1) and (1, 1), at an
// amount clamped to 0..1.  The segment an amount falls in is found from a
// table that holds, for each 1/1024 of the range, the first point at or
// past its lower edge: a lookup steps over a point only when one lies in
// its own 1/1024, where a search would compare against most of them, and
// gives bit for bit what the search gives.
class DotGainCurve {
 public:
  DotGainCurve() : DotGainCurve(std::vector<std::array<double, 2>>{}) {}
  explicit DotGainCurve(std::vector<std::array<double, 2>> points);

  double operator()(double nominal) const;
  const std::vector<std::array<double, 2>>& points() const { return points_; }

 private:
  static constexpr int kBins = 1024;
  std::vector<std::array<double, 2>> points_;
  // Segment i runs from (x_[i], y_[i]) to (x_[i + 1], y_[i + 1]): (0, 0),
  // the points, then the end, (1, 1) (or, when the last point is at 1, the
  // last point's height again, the curve being flat past it).
  std::vector<double> x_, y_;
  // Per 1/1024: the first point at or past its lower edge.  Empty when the
  // points are not sorted or not all numbers; lookups then search them.
  std::vector<uint32_t> start_;
};

class PrintModel {
 public:
  // A model from its overprints, with Yule-Nielsen factor n and no dot gain.
  PrintModel(const std::array<Xyz, kOverprints>& overprints, double n);

  // Fits a model to measurements, which must hold all 16 solid overprints.
  static Result<PrintModel> Fit(const MeasurementSet& set);

  // The model fitted to the measurement set shipped with vantik (a press
  // characterisation; see resources/README.md).
  static const PrintModel& Default();
  // The measurement set behind Default().
  static const MeasurementSet& DefaultMeasurements();

  // Colour of a flat tint of ink amounts 0..1.
  Xyz Predict(const std::array<double, kInks>& ink) const;

  // Colour of an area whose dots show overprint m on the fraction
  // `fractions[m]` of it (fractions add up to 1), as the halftone printed
  // them: each ink's dots spread by its dot-gain curve, then the light mixes
  // under the Yule-Nielsen factor.
  Xyz Mix(const std::array<double, kOverprints>& fractions) const;

  // Mix() of count areas: out[i] is exactly Mix(fractions[i]).  Four areas
  // go through at a time on processors with AVX2 (the same operations in
  // the same order, lane by lane).
  void MixMany(const std::array<double, kOverprints>* fractions, Xyz* out, size_t count) const;

  // The area ink k really covers when `nominal` (0..1) is asked for.
  double EffectiveCoverage(int ink, double nominal) const;
  // Sets ink k's dot-gain curve: (nominal, effective) points, both 0..1,
  // sorted by nominal; (0, 0) and (1, 1) are implied.
  void SetDotGain(int ink, std::vector<std::array<double, 2>> points);
  const DotGainCurve& dotGain(int ink) const { return gain_[ink]; }

  FitError Evaluate(const MeasurementSet& set) const;

  const Xyz& overprint(int m) const { return overprints_[m]; }
  const Xyz& paper() const { return overprints_[0]; }
  double yuleNielsen() const { return n_; }
  // Mean Delta E 2000 on the set the model was fitted to (0 for a model
  // made from its overprints).
  const FitError& fitError() const { return fit_; }

 private:
  Xyz MixEffective(const std::array<double, kOverprints>& weights) const;

  std::array<Xyz, kOverprints> overprints_;
  std::array<Xyz, kOverprints> root_;  // overprints in X^(1/n) space
  double n_ = 1;
  std::array<DotGainCurve, kInks> gain_;
  FitError fit_;
};

// Turns model colours into sRGB pixels as a screen shows a print: relative
// to the paper (blank paper is white), through LittleCMS.
//
// The bytes are LittleCMS's.  Encode takes most pixels a faster way: each
// output byte is a step function of one linear RGB value, so the linear
// values are worked out with LittleCMS's own matrix and looked up among the
// steps' edges, found once per process from the transform itself.  A value
// too close to an edge for the difference in rounding to be ruled out goes
// through LittleCMS.
class SrgbEncoder {
 public:
  explicit SrgbEncoder(const Xyz& paper);
  ~SrgbEncoder();
  SrgbEncoder(const SrgbEncoder&) = delete;
  SrgbEncoder& operator=(const SrgbEncoder&) = delete;
  void Encode(const Xyz* in, uint8_t* rgb, size_t count) const;
  // Every pixel through LittleCMS: the bytes Encode must give.
  void EncodeReference(const Xyz* in, uint8_t* rgb, size_t count) const;

 private:
  Xyz scale_;
  void* transform_ = nullptr;
};

}  // namespace vantik::printmodel
