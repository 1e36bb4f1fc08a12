#include "quality/measure.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>

#include "print_run.h"

namespace vantik::tool::quality {

std::array<uint32_t, pm::kOverprints> CountOverprints(const Dots& dots, const Rect& r) {
  std::array<uint32_t, pm::kOverprints> counts{};
  for (int y = r.y0; y < r.y1; ++y) {
    for (int x = r.x0; x < r.x1; ++x) {
      int m = 0;
      for (int k = 0; k < pm::kInks; ++k) m |= dots.at(k, x, y) << k;
      ++counts[static_cast<size_t>(m)];
    }
  }
  return counts;
}

std::array<double, pm::kInks> Coverage(const std::array<uint32_t, pm::kOverprints>& counts) {
  std::array<double, pm::kInks> c{};
  double total = 0;
  for (int m = 0; m < pm::kOverprints; ++m) {
    total += counts[static_cast<size_t>(m)];
    for (int k = 0; k < pm::kInks; ++k) {
      if (m & (1 << k)) c[static_cast<size_t>(k)] += counts[static_cast<size_t>(m)];
    }
  }
  if (total > 0) {
    for (double& v : c) v /= total;
  }
  return c;
}

std::vector<float> DotLuminance(const pm::PrintModel& model, const Dots& dots, const Rect& r) {
  std::array<float, pm::kOverprints> y{};
  for (int m = 0; m < pm::kOverprints; ++m) {
    y[static_cast<size_t>(m)] = static_cast<float>(model.overprint(m).y / model.paper().y);
  }
  std::vector<float> out;
  out.reserve(static_cast<size_t>(std::max(r.x1 - r.x0, 0)) * static_cast<size_t>(std::max(r.y1 - r.y0, 0)));
  for (int yy = r.y0; yy < r.y1; ++yy) {
    for (int x = r.x0; x < r.x1; ++x) {
      int m = 0;
      for (int k = 0; k < pm::kInks; ++k) m |= dots.at(k, x, yy) << k;
      out.push_back(y[static_cast<size_t>(m)]);
    }
  }
  return out;
}

size_t NearestRisingStep(std::span<const double> coverage, double target) {
  size_t peak = 0;
  for (size_t i = 1; i < coverage.size(); ++i) {
    if (coverage[i] > coverage[peak]) peak = i;
  }
  size_t best = 0;
  for (size_t i = 1; i <= peak; ++i) {
    if (std::fabs(coverage[i] - target) < std::fabs(coverage[best] - target)) best = i;
  }
  return best;
}

namespace {

pm::Lab MediaRelative(const pm::PrintModel& model, const pm::Xyz& xyz) {
  const cmsCIEXYZ* w = cmsD50_XYZ();
  const pm::Xyz& p = model.paper();
  return pm::ToLab({xyz.x * w->X / p.x, xyz.y * w->Y / p.y, xyz.z * w->Z / p.z});
}

}  // namespace

pm::Lab PrintedLab(const pm::PrintModel& model, const std::array<uint32_t, pm::kOverprints>& counts) {
  std::array<double, pm::kOverprints> f{};
  double total = 0;
  for (uint32_t c : counts) total += c;
  if (total == 0) return {100, 0, 0};
  for (size_t m = 0; m < f.size(); ++m) f[m] = counts[m] / total;
  return MediaRelative(model, model.Mix(f));
}

pm::Lab TintLab(const pm::PrintModel& model, const std::array<double, pm::kInks>& ink) {
  return MediaRelative(model, model.Predict(ink));
}

pm::Lab SourceLab(uint8_t r, uint8_t g, uint8_t b) {
  // One transform for the process; LittleCMS transforms may be shared by
  // threads once made.
  static cmsHTRANSFORM transform = [] {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(cmsD50_xyY());
    cmsHTRANSFORM t = cmsCreateTransform(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    return t;
  }();
  const uint8_t in[3] = {r, g, b};
  cmsCIELab out;
  cmsDoTransform(transform, in, &out, 1);
  return {out.L, out.a, out.b};
}

namespace {

// The smallest Delta E 2000 between `target` and `print(ink)` over ink
// amounts within `inkLimit`: a coarse grid of ink amounts, then a pattern
// search from the best node with a halving step; no tint beyond the limit
// is looked at.
template <typename Print>
double NearestPrint(Print print, const pm::Lab& target, double inkLimit) {
  auto allowed = [inkLimit](const std::array<double, pm::kInks>& ink) {
    return ink[0] + ink[1] + ink[2] + ink[3] <= inkLimit + 1e-9;
  };
  std::array<double, pm::kInks> best{};
  double bestE = 1e9;
  constexpr int kSteps = 8;
  for (int c = 0; c <= kSteps; ++c)
    for (int m = 0; m <= kSteps; ++m)
      for (int y = 0; y <= kSteps; ++y)
        for (int k = 0; k <= kSteps; ++k) {
          const std::array<double, pm::kInks> ink = {double(c) / kSteps, double(m) / kSteps,
                                                     double(y) / kSteps, double(k) / kSteps};
          if (!allowed(ink)) continue;
          const double e = pm::DeltaE2000(print(ink), target);
          if (e < bestE) bestE = e, best = ink;
        }
  for (double step = 0.5 / kSteps; step > 1e-3; step /= 2) {
    bool moved = true;
    while (moved) {
      moved = false;
      for (int k = 0; k < pm::kInks; ++k) {
        for (double d : {-step, step}) {
          std::array<double, pm::kInks> ink = best;
          ink[static_cast<size_t>(k)] = std::clamp(ink[static_cast<size_t>(k)] + d, 0.0, 1.0);
          if (!allowed(ink)) continue;
          const double e = pm::DeltaE2000(print(ink), target);
          if (e < bestE - 1e-9) bestE = e, best = ink, moved = true;
        }
      }
    }
  }
  return bestE;
}

}  // namespace

double GamutDistance(const pm::PrintModel& model, const pm::Lab& target, double inkLimit) {
  return NearestPrint([&](const std::array<double, pm::kInks>& ink) { return TintLab(model, ink); }, target,
                      inkLimit);
}

double GamutDistance(const pm::Printer& printer, const pm::Lab& target, double inkLimit) {
  return NearestPrint([&](const std::array<double, pm::kInks>& ink) { return printer.Print(ink); }, target,
                      inkLimit);
}

Status PrintPixels(const JobOptions& job, const ResourceSet& resources,
                   const pm::PrintModel* model, int sourceWidth, int sourceHeight,
                   const std::vector<uint8_t>& rgb, int width, int height, int screenLongest,
                   Printed* out) {
  PrintRequest req;
  req.options = job;
  req.geometry.sourceWidth = sourceWidth;
  req.geometry.sourceHeight = sourceHeight;
  req.geometry.width = width;
  req.geometry.height = height;
  req.widthInches = double(width) / job.resolution.x;
  req.heightInches = double(height) / job.resolution.y;
  req.simulate = screenLongest > 0;
  req.screenLongest = std::max(screenLongest, 1);
  req.model = model;
  req.source = [&](int y, std::span<uint8_t> row) -> Status {
    const size_t bytes = static_cast<size_t>(sourceWidth) * 3;
    std::copy_n(rgb.data() + static_cast<size_t>(y) * bytes, std::min(bytes, row.size()), row.data());
    return Status::Ok();
  };
  Dots& dots = out->dots;
  dots.width = width;
  dots.height = height;
  for (auto& plane : dots.ink) plane.assign(static_cast<size_t>(width) * height, 0);
  std::vector<int> inkOfPlane;
  req.tap = [&](int y, std::span<const std::span<const uint8_t>> planes) -> Status {
    for (size_t p = 0; p < planes.size() && p < inkOfPlane.size(); ++p) {
      const int k = inkOfPlane[p];
      if (k < 0) continue;
      uint8_t* row = dots.ink[static_cast<size_t>(k)].data() + static_cast<size_t>(y) * width;
      for (int x = 0; x < width; ++x) row[x] = (planes[p][static_cast<size_t>(x) >> 3] >> (7 - (x & 7))) & 1;
    }
    return Status::Ok();
  };
  // The plane names are known once the halftoner exists; the colour jobs
  // the report prints have four planes in this order.
  for (const std::string& name : PlaneNames(job.blackOnly ? 1 : 4)) {
    inkOfPlane.push_back(pm::InkByName(name));
  }
  PrintResult result;
  Status s = RunPrint(req, resources, &result);
  if (!s.ok()) return s;
  out->simulated = std::move(result.simulated);
  out->simulatedWidth = result.simulatedWidth;
  out->simulatedHeight = result.simulatedHeight;
  return Status::Ok();
}

}  // namespace vantik::tool::quality
