#include "printmodel/print_model.h"

#include <lcms2.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace vantik::printmodel {

namespace {

constexpr const char* kInkNames[kInks] = {"cyan", "magenta", "yellow", "black"};

Status Bad(const std::string& name, const std::string& what) {
  return Status(RC_BAD_RESOURCE, name + ": " + what);
}

// Demichel's weights: the area of each overprint when ink k covers a[k] of
// the area and the inks' dots fall independently of each other.
std::array<double, kOverprints> Demichel(const std::array<double, kInks>& a) {
  std::array<double, kOverprints> w{};
  for (int m = 0; m < kOverprints; ++m) {
    double p = 1;
    for (int k = 0; k < kInks; ++k) p *= (m >> k & 1) ? a[k] : 1 - a[k];
    w[m] = p;
  }
  return w;
}

std::string OverprintName(int m) {
  if (m == 0) return "paper";
  std::string s;
  for (int k = 0; k < kInks; ++k) {
    if (!(m >> k & 1)) continue;
    if (!s.empty()) s += "+";
    s += kInkNames[k];
  }
  return s;
}

// LittleCMS reports parse errors through a handler; the context keeps the
// first message so that the caller can name what was wrong.
struct LcmsErrors {
  std::string first;
};

void CollectError(cmsContext ctx, cmsUInt32Number, const char* text) {
  auto* errors = static_cast<LcmsErrors*>(cmsGetContextUserData(ctx));
  if (errors == nullptr || !errors->first.empty() || text == nullptr) return;
  // LittleCMS's texts start with ": " and end with a newline.
  std::string t = text;
  const size_t b = t.find_first_not_of(": \t\n");
  const size_t e = t.find_last_not_of(" \t\n");
  errors->first = b == std::string::npos ? std::string() : t.substr(b, e - b + 1);
}

bool ParseNumber(const char* text, double* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

// The piecewise-linear curve through (0, 0), the points and (1, 1) at x,
// clamped to 0..1: the segment ending at the first point at or past x, found
// by walking the points in their order.  DotGainCurve looks sorted curves up
// by table and falls back to this walk for any other.
double Interpolate(const std::vector<std::array<double, 2>>& points, double x) {
  x = std::clamp(x, 0.0, 1.0);
  double x0 = 0, y0 = 0;
  for (const auto& p : points) {
    if (x <= p[0]) {
      if (p[0] <= x0) return p[1];
      return y0 + (p[1] - y0) * (x - x0) / (p[0] - x0);
    }
    x0 = p[0];
    y0 = p[1];
  }
  if (x0 >= 1) return y0;
  return y0 + (1 - y0) * (x - x0) / (1 - x0);
}

Xyz Root(const Xyz& c, double n) {
  return {std::pow(std::max(c.x, 0.0), 1 / n), std::pow(std::max(c.y, 0.0), 1 / n),
          std::pow(std::max(c.z, 0.0), 1 / n)};
}

// Single-ink ramps of a set: for each ink, (nominal, colour) of the patches
// that carry that ink alone at an amount strictly between 0 and 1.
std::array<std::vector<const Sample*>, kInks> Ramps(const MeasurementSet& set) {
  std::array<std::vector<const Sample*>, kInks> ramps;
  for (const Sample& s : set.samples) {
    int only = -1, count = 0;
    for (int k = 0; k < kInks; ++k) {
      if (s.ink[k] > 0) {
        only = k;
        ++count;
      }
    }
    if (count == 1 && s.ink[only] < 1) ramps[only].push_back(&s);
  }
  return ramps;
}

// Each ink's dot-gain curve under factor n: for every ramp patch, the area
// whose Yule-Nielsen mix of paper and solid ink matches the patch best (least
// squares over X, Y, Z), made non-decreasing in the nominal amount.
void FitDotGain(PrintModel* model, const std::array<std::vector<const Sample*>, kInks>& ramps,
                double n) {
  const Xyz paper = Root(model->paper(), n);
  for (int k = 0; k < kInks; ++k) {
    const Xyz solid = Root(model->overprint(1 << k), n);
    const double d[3] = {solid.x - paper.x, solid.y - paper.y, solid.z - paper.z};
    const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    std::vector<std::array<double, 2>> points;
    for (const Sample* s : ramps[k]) {
      const Xyz m = Root(s->xyz, n);
      const double e[3] = {m.x - paper.x, m.y - paper.y, m.z - paper.z};
      double a = dd > 0 ? (e[0] * d[0] + e[1] * d[1] + e[2] * d[2]) / dd : s->ink[k];
      points.push_back({s->ink[k], std::clamp(a, 0.0, 1.0)});
    }
    std::sort(points.begin(), points.end());
    // Repeated amounts are averaged.
    std::vector<std::array<double, 2>> merged;
    for (size_t i = 0; i < points.size();) {
      size_t j = i;
      double sum = 0;
      while (j < points.size() && points[j][0] == points[i][0]) sum += points[j++][1];
      merged.push_back({points[i][0], sum / static_cast<double>(j - i)});
      i = j;
    }
    // Pool adjacent violators: measurement noise must not make the curve fall.
    std::vector<std::array<double, 3>> pools;  // mean, weight, last x
    for (const auto& p : merged) {
      pools.push_back({p[1], 1, p[0]});
      while (pools.size() > 1 && pools[pools.size() - 2][0] > pools.back()[0]) {
        auto b = pools.back();
        pools.pop_back();
        auto& a = pools.back();
        a[0] = (a[0] * a[1] + b[0] * b[1]) / (a[1] + b[1]);
        a[1] += b[1];
        a[2] = b[2];
      }
    }
    size_t i = 0;
    for (const auto& pool : pools) {
      for (int w = 0; w < static_cast<int>(pool[1]); ++w) merged[i++][1] = pool[0];
    }
    model->SetDotGain(k, std::move(merged));
  }
}

double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(std::ceil(q * v.size())) - 1);
  return v[i];
}

}  // namespace

// ---- Colour arithmetic ------------------------------------------------------

Lab ToLab(const Xyz& xyz) {
  cmsCIEXYZ in{xyz.x, xyz.y, xyz.z};
  cmsCIELab out;
  cmsXYZ2Lab(cmsD50_XYZ(), &out, &in);
  return {out.L, out.a, out.b};
}

Xyz ToXyz(const Lab& lab) {
  cmsCIELab in{lab.l, lab.a, lab.b};
  cmsCIEXYZ out;
  cmsLab2XYZ(cmsD50_XYZ(), &out, &in);
  return {out.X, out.Y, out.Z};
}

double DeltaE2000(const Lab& a, const Lab& b) {
  cmsCIELab x{a.l, a.a, a.b}, y{b.l, b.a, b.b};
  return cmsCIE2000DeltaE(&x, &y, 1, 1, 1);
}

int InkByName(std::string_view name) {
  for (int k = 0; k < kInks; ++k) {
    if (name == kInkNames[k]) return k;
  }
  return -1;
}

// ---- Measurements ------------------------------------------------------------

Result<MeasurementSet> ParseMeasurements(std::string_view text, const std::string& name) {
  if (text.empty()) return Bad(name, "the measurement file is empty");
  LcmsErrors errors;
  cmsContext ctx = cmsCreateContext(nullptr, &errors);
  if (ctx == nullptr) return Status(RC_FAILURE, name + ": cannot start LittleCMS");
  cmsSetLogErrorHandlerTHR(ctx, CollectError);
  std::unique_ptr<_cmsContext_struct, void (*)(cmsContext)> context(ctx, cmsDeleteContext);
  cmsHANDLE it8 = cmsIT8LoadFromMem(ctx, text.data(), static_cast<cmsUInt32Number>(text.size()));
  if (it8 == nullptr) {
    return Bad(name, "not CGATS measurement data" +
                         (errors.first.empty() ? std::string() : " (" + errors.first + ")"));
  }
  std::unique_ptr<void, void (*)(void*)> handle(it8, [](void* h) { cmsIT8Free(h); });

  MeasurementSet set;
  set.name = name;
  for (const char* key : {"DESCRIPTOR", "ORIGINATOR"}) {
    const char* v = cmsIT8GetProperty(it8, key);
    if (v != nullptr && *v != '\0') {
      set.description = v;
      break;
    }
  }
  int ink[kInks];
  const char* inkFields[kInks] = {"CMYK_C", "CMYK_M", "CMYK_Y", "CMYK_K"};
  for (int k = 0; k < kInks; ++k) {
    ink[k] = cmsIT8FindDataFormat(it8, inkFields[k]);
    if (ink[k] < 0) {
      return Bad(name, std::string("not CMYK measurement data (no ") + inkFields[k] + " column)");
    }
  }
  int colour[3];
  const char* xyzFields[3] = {"XYZ_X", "XYZ_Y", "XYZ_Z"};
  const char* labFields[3] = {"LAB_L", "LAB_A", "LAB_B"};
  bool useXyz = true;
  for (int c = 0; c < 3; ++c) useXyz = useXyz && cmsIT8FindDataFormat(it8, xyzFields[c]) >= 0;
  for (int c = 0; c < 3; ++c) {
    colour[c] = cmsIT8FindDataFormat(it8, useXyz ? xyzFields[c] : labFields[c]);
    if (colour[c] < 0) return Bad(name, "neither XYZ_X/Y/Z nor LAB_L/A/B columns");
  }
  const double sets = cmsIT8GetPropertyDbl(it8, "NUMBER_OF_SETS");
  if (!(sets >= 1) || sets > 1e6) return Bad(name, "no measurements");
  const int rows = static_cast<int>(sets);
  for (int r = 0; r < rows; ++r) {
    Sample s;
    const std::string where = "set " + std::to_string(r + 1) + ": ";
    for (int k = 0; k < kInks; ++k) {
      double v;
      if (!ParseNumber(cmsIT8GetDataRowCol(it8, r, ink[k]), &v)) {
        return Bad(name, where + inkFields[k] + " is missing or not a number");
      }
      if (v < 0 || v > 100) return Bad(name, where + inkFields[k] + " is outside 0..100");
      s.ink[k] = v / 100;
    }
    double c[3];
    for (int i = 0; i < 3; ++i) {
      if (!ParseNumber(cmsIT8GetDataRowCol(it8, r, colour[i]), &c[i])) {
        return Bad(name, where + (useXyz ? xyzFields[i] : labFields[i]) +
                             " is missing or not a number");
      }
    }
    if (useXyz) {
      if (c[0] < 0 || c[1] < 0 || c[2] < 0 || c[1] > 200) {
        return Bad(name, where + "XYZ is outside 0..200");
      }
      s.xyz = {c[0] / 100, c[1] / 100, c[2] / 100};
    } else {
      if (c[0] < 0 || c[0] > 100 || std::abs(c[1]) > 200 || std::abs(c[2]) > 200) {
        return Bad(name, where + "L*a*b* is out of range");
      }
      s.xyz = ToXyz({c[0], c[1], c[2]});
    }
    set.samples.push_back(s);
  }
  return set;
}

Result<MeasurementSet> LoadMeasurements(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status(RC_FAILURE, path + ": cannot open");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return Status(RC_FAILURE, path + ": cannot read");
  return ParseMeasurements(text.str(), path);
}

// ---- Dot-gain curve -------------------------------------------------------------

DotGainCurve::DotGainCurve(std::vector<std::array<double, 2>> points) : points_(std::move(points)) {
  const auto below = [](const std::array<double, 2>& p, double v) { return p[0] < v; };
  const bool numbers = std::all_of(points_.begin(), points_.end(), [](const auto& p) {
    return std::isfinite(p[0]) && std::isfinite(p[1]);
  });
  if (!numbers || !std::is_sorted(points_.begin(), points_.end(),
                                  [](const auto& a, const auto& b) { return a[0] < b[0]; })) {
    return;
  }
  x_.push_back(0);
  y_.push_back(0);
  for (const auto& p : points_) {
    x_.push_back(p[0]);
    y_.push_back(p[1]);
  }
  // Past the last point the curve runs to (1, 1); with a last point at 1
  // or beyond, an amount past it (only a NaN) gets the last point's height,
  // which the segment's "ends no further right than it starts" rule gives.
  const bool flatEnd = !points_.empty() && points_.back()[0] >= 1;
  x_.push_back(1);
  y_.push_back(flatEnd ? points_.back()[1] : 1);
  start_.resize(kBins);
  for (int b = 0; b < kBins; ++b) {
    const double edge = static_cast<double>(b) / kBins;
    start_[size_t(b)] = static_cast<uint32_t>(
        std::lower_bound(points_.begin(), points_.end(), edge, below) - points_.begin());
  }
}

double DotGainCurve::operator()(double nominal) const {
  if (start_.empty()) return Interpolate(points_, nominal);
  const double x = std::clamp(nominal, 0.0, 1.0);
  // The first point at or past x (a NaN is past every point).  x * 1024 is
  // exact, so x's 1/1024 starts at or below x and every point before its
  // start lies below x; x_ ends at 1, so the walk stops by the end.
  size_t i = points_.size();
  if (x == x) {
    i = start_[size_t(std::min(static_cast<int>(x * kBins), kBins - 1))];
    while (x_[i + 1] < x) ++i;
  }
  const double x0 = x_[i], y0 = y_[i], x1 = x_[i + 1], y1 = y_[i + 1];
  if (x1 <= x0) return y1;
  return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
}

// ---- Model --------------------------------------------------------------------

PrintModel::PrintModel(const std::array<Xyz, kOverprints>& overprints, double n)
    : overprints_(overprints), n_(n) {
  for (int m = 0; m < kOverprints; ++m) root_[m] = Root(overprints_[m], n_);
}

void PrintModel::SetDotGain(int ink, std::vector<std::array<double, 2>> points) {
  gain_[ink] = DotGainCurve(std::move(points));
}

double PrintModel::EffectiveCoverage(int ink, double nominal) const {
  return gain_[ink](nominal);
}

Xyz PrintModel::MixEffective(const std::array<double, kOverprints>& w) const {
  Xyz sum;
  for (int m = 0; m < kOverprints; ++m) {
    if (w[m] == 0) continue;
    sum.x += w[m] * root_[m].x;
    sum.y += w[m] * root_[m].y;
    sum.z += w[m] * root_[m].z;
  }
  return {std::pow(sum.x, n_), std::pow(sum.y, n_), std::pow(sum.z, n_)};
}

Xyz PrintModel::Predict(const std::array<double, kInks>& ink) const {
  std::array<double, kInks> a;
  for (int k = 0; k < kInks; ++k) a[k] = EffectiveCoverage(k, ink[k]);
  return MixEffective(Demichel(a));
}

Xyz PrintModel::Mix(const std::array<double, kOverprints>& fractions) const {
  std::array<double, kOverprints> w = fractions;
  // Dot gain, ink by ink: when an ink's dots cover more than printed, each
  // spot without that ink gains it with the same chance (less: each spot
  // with it loses it), so the other inks' overlaps keep their shares and a
  // flat tint of independent dots comes out as Predict() has it.
  for (int k = 0; k < kInks; ++k) {
    const int bit = 1 << k;
    double c = 0;
    for (int m = 0; m < kOverprints; ++m) {
      if (m & bit) c += w[m];
    }
    const double a = EffectiveCoverage(k, c);
    if (a > c && c < 1) {
      const double p = (a - c) / (1 - c);
      for (int m = 0; m < kOverprints; ++m) {
        if (m & bit) continue;
        w[m | bit] += w[m] * p;
        w[m] -= w[m] * p;
      }
    } else if (a < c && c > 0) {
      const double q = (c - a) / c;
      for (int m = 0; m < kOverprints; ++m) {
        if (!(m & bit)) continue;
        w[m & ~bit] += w[m] * q;
        w[m] -= w[m] * q;
      }
    }
  }
  return MixEffective(w);
}

#if defined(__x86_64__)
namespace {

// Four areas of Mix() at once, one per lane: each lane does what Mix does
// for its area, in the same order, with no fused multiply-add, so every
// lane's numbers are Mix's.  Branches become masks: a lane whose area the
// branch skips keeps its weights.
__attribute__((target("avx2"))) void MixFour(
    const std::array<DotGainCurve, kInks>& gain,
    const std::array<Xyz, kOverprints>& root, double n,
    const std::array<double, kOverprints>* f, Xyz* out) {
  __m256d w[kOverprints];
  for (int m = 0; m < kOverprints; ++m) w[m] = _mm256_set_pd(f[3][m], f[2][m], f[1][m], f[0][m]);
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
  for (int k = 0; k < kInks; ++k) {
    const int bit = 1 << k;
    __m256d c = zero;
    for (int m = 0; m < kOverprints; ++m) {
      if (m & bit) c = _mm256_add_pd(c, w[m]);
    }
    alignas(32) double cs[4], as[4];
    _mm256_store_pd(cs, c);
    for (int i = 0; i < 4; ++i) as[i] = gain[k](cs[i]);
    const __m256d a = _mm256_load_pd(as);
    const __m256d gains =
        _mm256_and_pd(_mm256_cmp_pd(a, c, _CMP_GT_OQ), _mm256_cmp_pd(c, one, _CMP_LT_OQ));
    const __m256d losses =
        _mm256_and_pd(_mm256_cmp_pd(a, c, _CMP_LT_OQ), _mm256_cmp_pd(c, zero, _CMP_GT_OQ));
    if (_mm256_movemask_pd(gains) != 0) {
      const __m256d p = _mm256_div_pd(_mm256_sub_pd(a, c), _mm256_sub_pd(one, c));
      for (int m = 0; m < kOverprints; ++m) {
        if (m & bit) continue;
        const __m256d t = _mm256_mul_pd(w[m], p);
        w[m | bit] = _mm256_blendv_pd(w[m | bit], _mm256_add_pd(w[m | bit], t), gains);
        w[m] = _mm256_blendv_pd(w[m], _mm256_sub_pd(w[m], t), gains);
      }
    }
    if (_mm256_movemask_pd(losses) != 0) {
      const __m256d q = _mm256_div_pd(_mm256_sub_pd(c, a), c);
      for (int m = 0; m < kOverprints; ++m) {
        if (!(m & bit)) continue;
        const __m256d t = _mm256_mul_pd(w[m], q);
        w[m & ~bit] = _mm256_blendv_pd(w[m & ~bit], _mm256_add_pd(w[m & ~bit], t), losses);
        w[m] = _mm256_blendv_pd(w[m], _mm256_sub_pd(w[m], t), losses);
      }
    }
  }
  // MixEffective: overprints of no weight are skipped.
  __m256d sx = zero, sy = zero, sz = zero;
  for (int m = 0; m < kOverprints; ++m) {
    const __m256d skip = _mm256_cmp_pd(w[m], zero, _CMP_EQ_OQ);
    sx = _mm256_blendv_pd(_mm256_add_pd(sx, _mm256_mul_pd(w[m], _mm256_set1_pd(root[m].x))), sx, skip);
    sy = _mm256_blendv_pd(_mm256_add_pd(sy, _mm256_mul_pd(w[m], _mm256_set1_pd(root[m].y))), sy, skip);
    sz = _mm256_blendv_pd(_mm256_add_pd(sz, _mm256_mul_pd(w[m], _mm256_set1_pd(root[m].z))), sz, skip);
  }
  alignas(32) double xs[4], ys[4], zs[4];
  _mm256_store_pd(xs, sx);
  _mm256_store_pd(ys, sy);
  _mm256_store_pd(zs, sz);
  for (int i = 0; i < 4; ++i) out[i] = {std::pow(xs[i], n), std::pow(ys[i], n), std::pow(zs[i], n)};
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

}  // namespace
#endif

void PrintModel::MixMany(const std::array<double, kOverprints>* fractions, Xyz* out,
                         size_t count) const {
  size_t i = 0;
#if defined(__x86_64__)
  if (HasAvx2()) {
    for (; i + 4 <= count; i += 4) MixFour(gain_, root_, n_, fractions + i, out + i);
  }
#endif
  for (; i < count; ++i) out[i] = Mix(fractions[i]);
}

FitError PrintModel::Evaluate(const MeasurementSet& set) const {
  std::vector<double> errors;
  errors.reserve(set.samples.size());
  double sum = 0;
  for (const Sample& s : set.samples) {
    const double e = DeltaE2000(ToLab(Predict(s.ink)), ToLab(s.xyz));
    errors.push_back(e);
    sum += e;
  }
  FitError f;
  f.samples = errors.size();
  if (errors.empty()) return f;
  f.mean = sum / static_cast<double>(errors.size());
  f.p95 = Quantile(errors, 0.95);
  f.max = *std::max_element(errors.begin(), errors.end());
  return f;
}

Result<PrintModel> PrintModel::Fit(const MeasurementSet& set) {
  std::array<Xyz, kOverprints> sum{};
  std::array<int, kOverprints> count{};
  for (const Sample& s : set.samples) {
    int m = 0;
    bool solid = true;
    for (int k = 0; k < kInks; ++k) {
      if (s.ink[k] == 1) m |= 1 << k;
      else if (s.ink[k] != 0) solid = false;
    }
    if (!solid) continue;
    sum[m].x += s.xyz.x;
    sum[m].y += s.xyz.y;
    sum[m].z += s.xyz.z;
    ++count[m];
  }
  std::array<Xyz, kOverprints> overprints;
  for (int m = 0; m < kOverprints; ++m) {
    if (count[m] == 0) {
      return Bad(set.name, "no measurement of the overprint " + OverprintName(m) +
                               " (all 16 overprints of solid inks are needed)");
    }
    overprints[m] = {sum[m].x / count[m], sum[m].y / count[m], sum[m].z / count[m]};
  }
  if (overprints[0].y <= 0) return Bad(set.name, "the paper measures black");

  const auto ramps = Ramps(set);
  auto build = [&](double n) {
    PrintModel model(overprints, n);
    FitDotGain(&model, ramps, n);
    return model;
  };
  auto cost = [&](double n) { return build(n).Evaluate(set).mean; };

  // The mean error is smooth in n with one minimum in practice: a coarse scan
  // finds its neighbourhood, a golden-section search narrows it.
  double best = 1, bestCost = cost(1);
  for (double n = 1.25; n <= 8.0; n += 0.25) {
    const double c = cost(n);
    if (c < bestCost) {
      best = n;
      bestCost = c;
    }
  }
  double lo = std::max(1.0, best - 0.25), hi = best + 0.25;
  const double g = (std::sqrt(5.0) - 1) / 2;
  double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
  double c1 = cost(x1), c2 = cost(x2);
  for (int i = 0; i < 24; ++i) {
    if (c1 < c2) {
      hi = x2;
      x2 = x1;
      c2 = c1;
      x1 = hi - g * (hi - lo);
      c1 = cost(x1);
    } else {
      lo = x1;
      x1 = x2;
      c1 = c2;
      x2 = lo + g * (hi - lo);
      c2 = cost(x2);
    }
  }
  const double n = c1 < bestCost || c2 < bestCost ? (c1 < c2 ? x1 : x2) : best;
  PrintModel model = build(n);
  model.fit_ = model.Evaluate(set);
  return model;
}

// ---- sRGB -------------------------------------------------------------------------

namespace {

void* MakeSrgbTransform() {
  cmsHPROFILE xyz = cmsCreateXYZProfile();
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  void* t = cmsCreateTransform(xyz, TYPE_XYZ_DBL, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                               cmsFLAGS_NOCACHE);
  cmsCloseProfile(xyz);
  cmsCloseProfile(srgb);
  return t;
}

// LittleCMS's XYZ to 8-bit sRGB, taken apart so that most pixels need no
// call into it.  The transform rounds XYZ to its 16-bit encoding, turns that
// into linear RGB by the inverse of the sRGB colorants, passes each channel
// through the inverse sRGB curve, rounds to 16 bits and then to 8.  So each
// byte is a non-decreasing step function of its channel's linear value, and
// the edges of the steps follow from the curve alone.  Here the linear
// values are worked out in double from the same 16-bit encoding (LittleCMS
// uses single precision); the two differ by far less than kMargin, and a
// value nearer an edge than that is left to LittleCMS.  A check against the
// transform when the tables are built turns the fast path off should a
// LittleCMS build ever work differently.
class SrgbSteps {
 public:
  static const SrgbSteps& Get() {
    static const SrgbSteps steps;
    return steps;
  }

  // The pixel of xyz (as handed to LittleCMS), or false when it is left to
  // LittleCMS.
  bool Encode(const cmsCIEXYZ& xyz, uint8_t* rgb) const {
    if (!ok_) return false;
    cmsUInt16Number q[3];
    cmsFloat2XYZEncoded(q, &xyz);
    for (int c = 0; c < 3; ++c) {
      const double r = Linear(c, q);
      if (!(r >= kLow && r < kHigh)) return false;
      const double* edge = edge_[c];
      int k = first_[c][static_cast<int>((r - kLow) * kBinsPerUnit)];
      while (r >= edge[k + 1]) ++k;
      if (r - edge[k] < kMargin || edge[k + 1] - r < kMargin) return false;
      rgb[c] = static_cast<uint8_t>(k);
    }
    return true;
  }

 private:
  static constexpr double kLow = -0.5, kHigh = 2.0;
  static constexpr double kMargin = 4e-6;
  static constexpr int kBins = 2560;
  static constexpr double kBinsPerUnit = kBins / (kHigh - kLow);

  // Linear value of channel c of a 16-bit XYZ encoding (1.0 is 32768).
  double Linear(int c, const cmsUInt16Number* q) const {
    return m_[c][0] * q[0] + m_[c][1] * q[1] + m_[c][2] * q[2];
  }

  SrgbSteps() { ok_ = Build(); }

  bool Build() {
    std::unique_ptr<void, void (*)(void*)> srgb(cmsCreate_sRGBProfile(),
                                                [](void* p) { cmsCloseProfile(p); });
    if (srgb == nullptr) return false;
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                          cmsSigBlueColorantTag};
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    double a[3][3];  // linear RGB to XYZ: the colorants as columns
    for (int c = 0; c < 3; ++c) {
      const auto* v = static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb.get(), colorants[c]));
      if (v == nullptr) return false;
      a[0][c] = v->X;
      a[1][c] = v->Y;
      a[2][c] = v->Z;
    }
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (!(std::abs(det) > 1e-6)) return false;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        // Cofactor (j, i) over the determinant, per unit of the encoding.
        const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
        m_[i][j] = (a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0]) / det / 32768.0;
      }
    }
    for (int c = 0; c < 3; ++c) {
      const auto* trc = static_cast<const cmsToneCurve*>(cmsReadTag(srgb.get(), curves[c]));
      if (trc == nullptr) return false;
      std::unique_ptr<cmsToneCurve, void (*)(cmsToneCurve*)> inverse(cmsReverseToneCurve(trc),
                                                                     cmsFreeToneCurve);
      if (inverse == nullptr) return false;
      // The byte of linear value r: the curve in single precision, rounded
      // to 16 bits, then to 8 as LittleCMS packs bytes.
      auto byte = [&](double r) {
        const double w = cmsEvalToneCurveFloat(inverse.get(), static_cast<float>(r)) * 65535.0;
        const uint32_t word = w <= 0 ? 0u : w >= 65535 ? 65535u : static_cast<uint32_t>(w + 0.5);
        return static_cast<int>((word * 65281u + 8388608u) >> 24);
      };
      if (byte(kLow) != 0 || byte(kHigh) != 255) return false;
      edge_[c][0] = -HUGE_VAL;
      edge_[c][256] = HUGE_VAL;
      for (int k = 1; k < 256; ++k) {
        double lo = kLow, hi = kHigh;  // byte(lo) < k <= byte(hi)
        for (int step = 0; step < 64; ++step) {
          const double mid = (lo + hi) / 2;
          (byte(mid) >= k ? hi : lo) = mid;
        }
        edge_[c][k] = hi;
        if (edge_[c][k] < edge_[c][k - 1]) return false;
      }
      int k = 0;
      for (int i = 0; i <= kBins; ++i) {
        const double start = kLow + i / kBinsPerUnit;
        while (k < 255 && edge_[c][k + 1] <= start) ++k;
        first_[c][i] = static_cast<uint8_t>(k);
      }
    }
    return Check();
  }

  // Random colours in and around the gamut through both ways.
  bool Check() const {
    std::unique_ptr<void, void (*)(void*)> transform(MakeSrgbTransform(), [](void* t) {
      if (t != nullptr) cmsDeleteTransform(t);
    });
    if (transform == nullptr) return false;
    constexpr int kCount = 4096;
    std::vector<cmsCIEXYZ> xyz(kCount);
    uint64_t seed = 0x9e3779b97f4a7c15ull;
    for (cmsCIEXYZ& v : xyz) {
      double* p[3] = {&v.X, &v.Y, &v.Z};
      for (double* x : p) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        *x = static_cast<double>(seed >> 11) / 9007199254740992.0 * 1.2;
      }
    }
    std::vector<uint8_t> want(kCount * 3);
    cmsDoTransform(transform.get(), xyz.data(), want.data(), kCount);
    for (int i = 0; i < kCount; ++i) {
      uint8_t got[3];
      if (Encode(xyz[size_t(i)], got) && std::memcmp(got, &want[size_t(i) * 3], 3) != 0) {
        return false;
      }
    }
    return true;
  }

  bool ok_ = true;  // Check() runs the fast path while it is being built
  double m_[3][3] = {};
  double edge_[3][257] = {};
  uint8_t first_[3][kBins + 1] = {};
};

}  // namespace

SrgbEncoder::SrgbEncoder(const Xyz& paper) {
  const cmsCIEXYZ* w = cmsD50_XYZ();
  scale_ = {paper.x > 0 ? w->X / paper.x : 1, paper.y > 0 ? w->Y / paper.y : 1,
            paper.z > 0 ? w->Z / paper.z : 1};
  transform_ = MakeSrgbTransform();
}

SrgbEncoder::~SrgbEncoder() {
  if (transform_ != nullptr) cmsDeleteTransform(transform_);
}

void SrgbEncoder::Encode(const Xyz* in, uint8_t* rgb, size_t count) const {
  const SrgbSteps& steps = SrgbSteps::Get();
  constexpr size_t kChunk = 256;
  cmsCIEXYZ rest[kChunk];
  uint8_t restRgb[kChunk * 3];
  size_t restAt[kChunk];
  for (size_t i = 0; i < count; i += kChunk) {
    const size_t n = std::min(kChunk, count - i);
    size_t left = 0;
    for (size_t j = 0; j < n; ++j) {
      // Media-relative: the paper's own colour becomes the white of D50.
      const cmsCIEXYZ xyz{in[i + j].x * scale_.x, in[i + j].y * scale_.y, in[i + j].z * scale_.z};
      if (steps.Encode(xyz, rgb + 3 * (i + j))) continue;
      rest[left] = xyz;
      restAt[left++] = i + j;
    }
    if (left == 0) continue;
    cmsDoTransform(transform_, rest, restRgb, static_cast<cmsUInt32Number>(left));
    for (size_t j = 0; j < left; ++j) std::memcpy(rgb + 3 * restAt[j], restRgb + 3 * j, 3);
  }
}

void SrgbEncoder::EncodeReference(const Xyz* in, uint8_t* rgb, size_t count) const {
  constexpr size_t kChunk = 256;
  cmsCIEXYZ buf[kChunk];
  for (size_t i = 0; i < count; i += kChunk) {
    const size_t n = std::min(kChunk, count - i);
    for (size_t j = 0; j < n; ++j) {
      buf[j] = {in[i + j].x * scale_.x, in[i + j].y * scale_.y, in[i + j].z * scale_.z};
    }
    cmsDoTransform(transform_, buf, rgb + 3 * i, static_cast<cmsUInt32Number>(n));
  }
}

}  // namespace vantik::printmodel
