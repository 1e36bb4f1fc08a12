#include "printmodel/gamut_map.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace vantik::printmodel {
namespace {

constexpr double kD50[3] = {0.9642, 1.0, 0.8249};
// Share of the boundary chroma below which colours pass unchanged.
constexpr double kKnee = 0.85;
// Lightness below this multiple of the printer's black is compressed.
constexpr double kBlackKnee = 2.5;

double LabF(double t) {
  constexpr double e = 216.0 / 24389.0, k = 24389.0 / 27.0;
  return t > e ? std::cbrt(t) : (k * t + 16.0) / 116.0;
}

Lab LabOf(double x, double y, double z) {
  const double fx = LabF(x / kD50[0]), fy = LabF(y / kD50[1]), fz = LabF(z / kD50[2]);
  return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

double Linear(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

}  // namespace

Lab RelativeLab(const PrintModel& model, const Xyz& xyz) {
  const Xyz& p = model.paper();
  return LabOf(xyz.x / p.x * kD50[0], xyz.y / p.y * kD50[1], xyz.z / p.z * kD50[2]);
}

Lab SrgbToLab(double r, double g, double b) {
  r = Linear(r);
  g = Linear(g);
  b = Linear(b);
  // sRGB primaries adapted to D50 (Bradford).
  return LabOf(0.4360747 * r + 0.3850649 * g + 0.1430804 * b,
               0.2225045 * r + 0.7168786 * g + 0.0606169 * b,
               0.0139322 * r + 0.0971045 * g + 0.7141733 * b);
}

GamutMap::GamutMap(const Printer& printer, double inkLimit, bool blackOnly, bool keepTones)
    : keepTones_(keepTones),
      chroma_(static_cast<size_t>(kLightBins) * kHueBins, 0.0) {
  // The gamut's outline: the largest chroma found in each lightness and hue
  // bin over a grid of ink amounts within the limit.  The grid is denser
  // near no ink: the lightest tints change colour fastest per unit of ink,
  // and an even grid leaves the bins next to paper white with one or two
  // samples, which would compress light colours far more than the printer
  // needs.
  static constexpr double kLevels[] = {0.0,  0.015, 0.03, 0.05, 0.075, 0.1, 0.15, 0.2,  0.25, 0.3,
                                       0.4,  0.5,   0.6,  0.7,  0.8,   0.9, 1.0};
  constexpr int kSteps = static_cast<int>(std::size(kLevels));
  blackL_ = 100.0;
  for (int c = 0; c < kSteps; ++c)
    for (int m = 0; m < kSteps; ++m)
      for (int y = 0; y < kSteps; ++y)
        for (int k = 0; k < kSteps; ++k) {
          const std::array<double, kInks> ink = {kLevels[c], kLevels[m], kLevels[y], kLevels[k]};
          if (ink[0] + ink[1] + ink[2] + ink[3] > inkLimit + 1e-9) continue;
          const Lab lab = printer.Print(ink);
          if (!blackOnly || (c == 0 && m == 0 && y == 0)) blackL_ = std::min(blackL_, lab.l);
          const double chroma = std::hypot(lab.a, lab.b);
          double hue = std::atan2(lab.b, lab.a);
          if (hue < 0) hue += 2 * std::numbers::pi;
          const int li = std::clamp(static_cast<int>(std::lround(lab.l / 2.0)), 0, kLightBins - 1);
          const int hi = static_cast<int>(hue / (2 * std::numbers::pi) * kHueBins) % kHueBins;
          double& slot = chroma_[static_cast<size_t>(li) * kHueBins + hi];
          slot = std::max(slot, chroma);
        }
  // Bins the grid missed borrow from their neighbours in hue, and every bin
  // is smoothed along hue so that the outline has no notches.
  for (int pass = 0; pass < 3; ++pass) {
    std::vector<double> next = chroma_;
    for (int li = 0; li < kLightBins; ++li)
      for (int hi = 0; hi < kHueBins; ++hi) {
        const double* row = chroma_.data() + static_cast<size_t>(li) * kHueBins;
        const double left = row[(hi + kHueBins - 1) % kHueBins], right = row[(hi + 1) % kHueBins];
        next[static_cast<size_t>(li) * kHueBins + hi] = std::max(row[hi], 0.5 * (left + right));
      }
    chroma_.swap(next);
  }
}

double GamutMap::MaxChroma(double l, double hue) const {
  if (hue < 0) hue += 2 * std::numbers::pi;
  const double lf = std::clamp(l / 2.0, 0.0, kLightBins - 1.0);
  const double hf = hue / (2 * std::numbers::pi) * kHueBins - 0.5;
  const int l0 = std::min(static_cast<int>(lf), kLightBins - 2);
  const double tl = lf - l0;
  const int h0 = static_cast<int>(std::floor(hf));
  const double th = hf - h0;
  auto at = [&](int li, int hi) {
    return chroma_[static_cast<size_t>(li) * kHueBins + ((hi % kHueBins) + kHueBins) % kHueBins];
  };
  const double lo = (1 - th) * at(l0, h0) + th * at(l0, h0 + 1);
  const double hiC = (1 - th) * at(l0 + 1, h0) + th * at(l0 + 1, h0 + 1);
  return (1 - tl) * lo + tl * hiC;
}

double GamutMap::MapLightness(double l) const {
  // Black point compensation.  Without keepTones, L* 0 lands on the
  // printer's black and L* 100 stays on paper white, every tone between
  // scaled.  With keepTones, a knee: lightness above kBlackKnee times the
  // printer's black passes unchanged, so that colours the printer can
  // print keep their lightness; below it, 0 .. knee is bent onto
  // black .. knee by g(t) = a t + (1 - a) t^2, whose slope at the knee is
  // the identity's, so that the ramp has no kink there.  A black so light
  // that the bend would fold over (a < 0) falls back to scaling the whole
  // range.
  const double knee = std::min(100.0, kBlackKnee * blackL_);
  if (!keepTones_) return blackL_ + l * (100.0 - blackL_) / 100.0;
  if (l >= knee) return l;
  if (knee <= blackL_ + 1e-9) return blackL_ + l * (100.0 - blackL_) / 100.0;
  const double a = 2.0 - knee / (knee - blackL_);
  if (a < 0) return blackL_ + l * (100.0 - blackL_) / 100.0;
  const double t = std::max(0.0, l) / knee;
  return blackL_ + (knee - blackL_) * (a * t + (1.0 - a) * t * t);
}

Lab GamutMap::Map(const Lab& source) const {
  Lab out = source;
  out.l = MapLightness(source.l);
  const double chroma = std::hypot(source.a, source.b);
  if (chroma < 1e-9) return out;
  const double hue = std::atan2(source.b, source.a);
  const double limit = MaxChroma(out.l, hue);
  const double knee = kKnee * limit;
  double mapped = chroma;
  if (chroma > knee) {
    const double span = limit - knee;
    mapped = span > 1e-9 ? knee + span * std::tanh((chroma - knee) / span) : knee;
  }
  out.a = source.a * mapped / chroma;
  out.b = source.b * mapped / chroma;
  return out;
}

}  // namespace vantik::printmodel
