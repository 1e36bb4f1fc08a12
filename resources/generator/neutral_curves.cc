#include "neutral_curves.h"

#include <algorithm>
#include <cmath>

#include "separation.h"

namespace vantik::resgen {
namespace {

namespace pm = printmodel;

// Knots of the fitted curve: every 16 values and 255, linear between them.
constexpr int kKnots = 17;
constexpr double kKnotAt(int i) { return i == kKnots - 1 ? 255.0 : 16.0 * i; }
// a* and b* count this much more than L*: the grays must stay neutral, and
// a small tone error is far less visible than a cast.
constexpr double kChromaWeight = 25.0;

double CurveAt(const std::array<double, kKnots>& knots, double x) {
  for (int i = 1; i < kKnots; ++i) {
    if (x <= kKnotAt(i)) {
      const double t = (x - kKnotAt(i - 1)) / (kKnotAt(i) - kKnotAt(i - 1));
      return knots[i - 1] + t * (knots[i] - knots[i - 1]);
    }
  }
  return knots[kKnots - 1];
}

double CoverageOf(const NeutralAxis& axis, double value) {
  if (!axis.compensated) return std::clamp(value / 255.0, 0.0, 1.0);
  // Between the integer values the dot weight is taken at the nearer one.
  const int v = std::clamp(static_cast<int>(std::lround(value)), 0, 255);
  return std::clamp(value / DotWeight(v, axis.weightLight, axis.weightFull), 0.0, 1.0);
}

struct Sample {
  const NeutralAxis* axis;
  std::array<uint8_t, 4> node;
  pm::Lab plain;  // the node printed without calibration
};

class Fitter {
 public:
  Fitter(const std::vector<NeutralAxis>& axes, const pm::PrintModel& model) : model_(model) {
    const pm::Xyz& paper = model.paper();
    scale_ = {0.9642 / paper.x, 1.0 / paper.y, 0.8249 / paper.z};
    for (const NeutralAxis& a : axes) {
      for (const auto& node : a.nodes) {
        Sample s{&a, node, {}};
        s.plain = Print(a, {node[0] * 1.0, node[1] * 1.0, node[2] * 1.0, node[3] * 1.0});
        samples_.push_back(s);
      }
    }
  }

  std::array<uint8_t, 256> Fit(int row) const {
    std::vector<pm::Lab> aim;
    for (const Sample& s : samples_) {
      const double y = 1.0 - RowDarkness(row, 1.0 - Luminance(s.plain));
      aim.push_back({pm::ToLab({0.9642 * y, y, 0.8249 * y}).l, s.plain.a, s.plain.b});
    }
    // Start from the power curve with the row's exponent, then move one
    // knot at a time while the fit improves, keeping the curve rising.
    const double exponent = std::pow(1.8, (kIdentityRow - row) / 10.0);
    std::array<double, kKnots> knots{};
    for (int i = 0; i < kKnots; ++i) knots[i] = 255.0 * std::pow(kKnotAt(i) / 255.0, exponent);
    double cost = Cost(knots, aim);
    for (double step : {16.0, 8.0, 4.0, 2.0, 1.0, 0.5}) {
      for (int sweep = 0; sweep < 4; ++sweep) {
        bool moved = false;
        for (int i = 1; i < kKnots; ++i) {
          for (double dir : {-1.0, 1.0}) {
            std::array<double, kKnots> trial = knots;
            trial[i] = std::clamp(trial[i] + dir * step, trial[i - 1],
                                  i + 1 < kKnots ? trial[i + 1] : 255.0);
            if (trial[i] == knots[i]) continue;
            const double c = Cost(trial, aim);
            if (c < cost) {
              cost = c;
              knots = trial;
              moved = true;
            }
          }
        }
        if (!moved) break;
      }
    }
    std::array<uint8_t, 256> curve{};
    int last = 0;
    for (int x = 0; x < 256; ++x) {
      last = std::max(last, std::clamp(static_cast<int>(std::lround(CurveAt(knots, x))), 0, 255));
      curve[x] = static_cast<uint8_t>(last);
    }
    curve[0] = 0;
    return curve;
  }

 private:
  // Media-relative colour of a node whose values are `v`.
  pm::Lab Print(const NeutralAxis& a, const std::array<double, 4>& v) const {
    const pm::Xyz xyz = model_.Predict(
        {CoverageOf(a, v[0]), CoverageOf(a, v[1]), CoverageOf(a, v[2]), CoverageOf(a, v[3])});
    return pm::ToLab({xyz.x * scale_[0], xyz.y * scale_[1], xyz.z * scale_[2]});
  }

  static double Luminance(const pm::Lab& lab) { return pm::ToXyz(lab).y; }

  double Cost(const std::array<double, kKnots>& knots, const std::vector<pm::Lab>& aim) const {
    double sum = 0;
    for (size_t i = 0; i < samples_.size(); ++i) {
      const Sample& s = samples_[i];
      // The engine looks the curve up with integer values.
      std::array<double, 4> v{};
      for (int k = 0; k < 4; ++k) v[k] = std::round(CurveAt(knots, s.node[k]));
      const pm::Lab got = Print(*s.axis, v);
      const double dl = got.l - aim[i].l, da = got.a - aim[i].a, db = got.b - aim[i].b;
      sum += dl * dl + kChromaWeight * (da * da + db * db);
    }
    return sum;
  }

  const pm::PrintModel& model_;
  std::array<double, 3> scale_{};
  std::vector<Sample> samples_;
};

}  // namespace

double RowDarkness(int row, double darkness) {
  return std::pow(std::clamp(darkness, 0.0, 1.0), std::pow(1.8, (kIdentityRow - row) / 10.0));
}

std::array<std::array<uint8_t, 256>, kCurveRows> NeutralCurveRows(const std::vector<NeutralAxis>& axes,
                                                                  const pm::PrintModel& model) {
  std::array<std::array<uint8_t, 256>, kCurveRows> rows{};
  const Fitter fitter(axes, model);
  for (int r = 0; r < kCurveRows; ++r) {
    if (r == kIdentityRow) {
      for (int x = 0; x < 256; ++x) rows[r][x] = static_cast<uint8_t>(x);
    } else {
      rows[r] = fitter.Fit(r);
    }
  }
  // Each row is fitted on its own; keep every value at least as dark as on
  // the row below it, so that a higher level never prints lighter.
  for (int r = kIdentityRow + 1; r < kCurveRows; ++r)
    for (int x = 0; x < 256; ++x) rows[r][x] = std::max(rows[r][x], rows[r - 1][x]);
  for (int r = kIdentityRow - 1; r >= 0; --r)
    for (int x = 0; x < 256; ++x) rows[r][x] = std::min(rows[r][x], rows[r + 1][x]);
  return rows;
}

}  // namespace vantik::resgen
