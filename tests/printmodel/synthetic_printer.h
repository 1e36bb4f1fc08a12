// A made-up printer for the print-model tests: plausible overprints and a
// dot gain that differs for every ink, so that a fit or a calibration that
// mixes inks up shows.
#pragma once

#include "printmodel/print_model.h"

namespace vantik::printmodel {

inline constexpr double kTrueN = 2.2;
inline const double kGain[kInks] = {0.45, 0.30, 0.20, 0.55};

inline double TrueGain(int k, double c) { return c + kGain[k] * c * (1 - c); }

// `gain` scales every ink's dot gain.
inline PrintModel SyntheticModel(double gain = 1.0) {
  const Xyz paper{0.86, 0.89, 0.76};
  // Each ink keeps this share of X, Y, Z where it lies.
  const double keep[kInks][3] = {
      {0.15, 0.45, 0.75}, {0.60, 0.20, 0.40}, {0.85, 0.90, 0.08}, {0.02, 0.02, 0.02}};
  std::array<Xyz, kOverprints> op;
  for (int m = 0; m < kOverprints; ++m) {
    Xyz c = paper;
    for (int k = 0; k < kInks; ++k) {
      if (!(m >> k & 1)) continue;
      c.x *= keep[k][0];
      c.y *= keep[k][1];
      c.z *= keep[k][2];
    }
    op[m] = c;
  }
  PrintModel model(op, kTrueN);
  for (int k = 0; k < kInks; ++k) {
    std::vector<std::array<double, 2>> pts;
    for (int i = 1; i < 50; ++i) pts.push_back({i / 50.0, i / 50.0 + gain * (TrueGain(k, i / 50.0) - i / 50.0)});
    model.SetDotGain(k, pts);
  }
  return model;
}

}  // namespace vantik::printmodel
