#include "neutral_curves.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

// Printed curves: how much a step back along the ramp counts, and the
// smallest rise of L* between neighbouring grays that is not one.
constexpr double kStepWeight = 200.0;
constexpr double kStepMargin = 0.3;

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

// One gray of a printed ramp: its inks mix the values of two neighbouring
// nodes of the neutral axis, as the engines interpolate the calibrated
// table, `w` of the lower node's.
struct RampSample {
  size_t lo = 0, hi = 0;
  double w = 1;
};

using Curve = std::array<uint8_t, 256>;

// Fits one row of one table to what its gray ramp prints: the model tells
// how a change of the curve moves each gray, an offset per gray (what the
// ramp printed less what the model predicted for the same curve) corrects
// it.
class RampFitter {
 public:
  RampFitter(const NeutralAxis& axis, const std::vector<uint8_t>& positions,
             const std::vector<uint8_t>& grays, const pm::PrintModel& model)
      : axis_(axis), model_(model) {
    const pm::Xyz& paper = model.paper();
    scale_ = {0.9642 / paper.x, 1.0 / paper.y, 0.8249 / paper.z};
    for (uint8_t g : grays) {
      RampSample s;
      for (size_t j = 0; j + 1 < positions.size(); ++j) {
        if (g >= positions[j] && g <= positions[j + 1]) {
          s.lo = j;
          s.hi = j + 1;
          s.w = double(positions[j + 1] - g) / (positions[j + 1] - positions[j]);
          break;
        }
      }
      samples_.push_back(s);
    }
  }

  size_t size() const { return samples_.size(); }

  std::vector<pm::Lab> Predict(const Curve& curve) const {
    std::vector<pm::Lab> out;
    out.reserve(samples_.size());
    for (const RampSample& s : samples_) {
      const auto& a = axis_.nodes[s.lo];
      const auto& b = axis_.nodes[s.hi];
      std::array<double, 4> cover{};
      for (int k = 0; k < 4; ++k) {
        const double v = s.w * curve[a[k]] + (1 - s.w) * curve[b[k]];
        cover[k] = CoverageOf(axis_, v);
      }
      const pm::Xyz xyz = model_.Predict(cover);
      out.push_back(pm::ToLab({xyz.x * scale_[0], xyz.y * scale_[1], xyz.z * scale_[2]}));
    }
    return out;
  }

  // The curve of `knots` (see kKnotAt), kept within lower..upper and rising.
  static Curve Bytes(const std::array<double, kKnots>& knots, const Curve& lower, const Curve& upper) {
    Curve c{};
    int last = 0;
    for (int x = 0; x < 256; ++x) {
      int v = std::clamp(static_cast<int>(std::lround(CurveAt(knots, x))), 0, 255);
      v = std::clamp(v, static_cast<int>(lower[x]), static_cast<int>(upper[x]));
      last = std::max(last, v);
      c[x] = static_cast<uint8_t>(last);
    }
    return c;
  }

  // The grays rise from black to white; a lighter gray that prints no
  // lighter than the one below it (by kStepMargin) is a step back and
  // costs far more than a tone error.
  static double Cost(const std::vector<pm::Lab>& got, const std::vector<pm::Lab>& aim) {
    double sum = 0;
    for (size_t i = 0; i < got.size(); ++i) {
      const double dl = got[i].l - aim[i].l, da = got[i].a - aim[i].a, db = got[i].b - aim[i].b;
      sum += dl * dl + kChromaWeight * (da * da + db * db);
      if (i > 0) {
        const double back = got[i - 1].l + kStepMargin - got[i].l;
        if (back > 0) sum += kStepWeight * back * back;
      }
    }
    return sum;
  }

  // Moves the knots one at a time while the corrected prediction improves.
  void Fit(std::array<double, kKnots>& knots, const std::vector<pm::Lab>& aim,
           const std::vector<std::array<double, 3>>& offset, const Curve& lower, const Curve& upper,
           std::initializer_list<double> steps) const {
    auto cost = [&](const std::array<double, kKnots>& k) {
      std::vector<pm::Lab> got = Predict(Bytes(k, lower, upper));
      for (size_t i = 0; i < got.size(); ++i) {
        got[i].l += offset[i][0];
        got[i].a += offset[i][1];
        got[i].b += offset[i][2];
      }
      return Cost(got, aim);
    };
    double best = cost(knots);
    for (double step : steps) {
      for (int sweep = 0; sweep < 4; ++sweep) {
        bool moved = false;
        for (int i = 1; i < kKnots; ++i) {
          for (double dir : {-1.0, 1.0}) {
            std::array<double, kKnots> trial = knots;
            trial[i] = std::clamp(trial[i] + dir * step, trial[i - 1], i + 1 < kKnots ? trial[i + 1] : 255.0);
            if (trial[i] == knots[i]) continue;
            const double c = cost(trial);
            if (c < best) {
              best = c;
              knots = trial;
              moved = true;
            }
          }
        }
        if (!moved) break;
      }
    }
  }

 private:
  const NeutralAxis& axis_;
  const pm::PrintModel& model_;
  std::array<double, 3> scale_{};
  std::vector<RampSample> samples_;
};

double MaxCast(const std::vector<pm::Lab>& ramp) {
  double cast = 0;
  for (const pm::Lab& lab : ramp)
    if (lab.l > 10) cast = std::max({cast, std::fabs(lab.a), std::fabs(lab.b)});
  return cast;
}

}  // namespace

std::array<std::array<uint8_t, 256>, kCurveRows> PrintedCurveRows(
    const NeutralAxis& axis, const std::vector<uint8_t>& positions, const std::vector<uint8_t>& grays,
    const pm::PrintModel& model, const RampPrinter& print, int rounds, PrintedCurveFigures* figures) {
  std::array<Curve, kCurveRows> rows{};
  for (int x = 0; x < 256; ++x) rows[kIdentityRow][x] = static_cast<uint8_t>(x);
  PrintedCurveFigures fig;
  const RampFitter fitter(axis, positions, grays, model);
  auto printRamp = [&](const Curve& curve) {
    ++fig.prints;
    std::vector<pm::Lab> got = print(curve);
    if (got.size() != fitter.size()) {
      std::fprintf(stderr, "vantik_resgen: the gray ramp did not print\n");
      std::exit(1);
    }
    return got;
  };
  const std::vector<pm::Lab> identity = printRamp(rows[kIdentityRow]);
  fig.castMid = MaxCast(identity);
  Curve none{}, full{};
  full.fill(255);
  // Outward from the identity: rows 11..20 no lighter than the row below,
  // rows 9..0 no darker than the row above.
  std::vector<int> order;
  for (int r = kIdentityRow + 1; r < kCurveRows; ++r) order.push_back(r);
  for (int r = kIdentityRow - 1; r >= 0; --r) order.push_back(r);
  for (int r : order) {
    const bool darker = r > kIdentityRow;
    const Curve& lower = darker ? rows[r - 1] : none;
    const Curve& upper = darker ? full : rows[r + 1];
    std::vector<pm::Lab> aim;
    for (const pm::Lab& lab : identity) {
      const double y = 1.0 - RowDarkness(r, 1.0 - pm::ToXyz(lab).y);
      aim.push_back({pm::ToLab({0.9642 * y, y, 0.8249 * y}).l, 0.0, 0.0});
    }
    // What the ramp printed less what the model predicts, for the curve
    // last printed; at first the identity's.
    std::vector<std::array<double, 3>> offset(fitter.size());
    auto learn = [&](const Curve& curve, const std::vector<pm::Lab>& got) {
      const std::vector<pm::Lab> predicted = fitter.Predict(curve);
      for (size_t i = 0; i < offset.size(); ++i)
        offset[i] = {got[i].l - predicted[i].l, got[i].a - predicted[i].a, got[i].b - predicted[i].b};
    };
    learn(rows[kIdentityRow], identity);
    const double exponent = std::pow(1.8, (kIdentityRow - r) / 10.0);
    std::array<double, kKnots> knots{};
    for (int i = 0; i < kKnots; ++i) knots[i] = 255.0 * std::pow(kKnotAt(i) / 255.0, exponent);
    Curve best{};
    double bestCost = 1e300;
    std::vector<pm::Lab> bestRamp;
    for (int round = 0; round < rounds; ++round) {
      if (round == 0) {
        fitter.Fit(knots, aim, offset, lower, upper, {16.0, 8.0, 4.0, 2.0, 1.0, 0.5});
      } else {
        fitter.Fit(knots, aim, offset, lower, upper, {4.0, 2.0, 1.0, 0.5});
      }
      const Curve curve = RampFitter::Bytes(knots, lower, upper);
      const std::vector<pm::Lab> got = printRamp(curve);
      const double cost = RampFitter::Cost(got, aim);
      if (cost < bestCost) {
        bestCost = cost;
        best = curve;
        bestRamp = got;
      }
      learn(curve, got);
    }
    rows[r] = best;
    if (r == 0) fig.castLight = MaxCast(bestRamp);
    if (r == kCurveRows - 1) fig.castDark = MaxCast(bestRamp);
  }
  if (figures != nullptr) *figures = fig;
  return rows;
}

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
