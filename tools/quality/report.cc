#include "quality/report.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "print_run.h"
#include "printmodel/screen_tables.h"
#include "quality/measure.h"
#include "quality/patches.h"
#include "quality/reference_halftone.h"
#include "quality/texture.h"
#include "quality/svg_plot.h"

namespace vantik::tool::quality {
namespace {

// Sizes of what is printed, in dots.
struct Plan {
  int grayStep = 5;
  // Colour patches, their edge left out.  The interior read, 64 dots square
  // in both plans, holds whole periods of the 64-dot threshold matrices of
  // dither and hybrid: part of a period reads a coverage that depends on
  // where the patch lies in it, by as much as several Delta E in the dark
  // grays.
  int patch = 96, margin = 16, columns = 12;
  int tile = 256, tilesAcross = 2, tintMargin = 32;  // flat tints
  std::vector<double> tints;
  int rampStep = 1;                           // source levels of the tint search
  int sceneWidth = 480, sceneHeight = 320;
  double scenePpi = 160;
};

Plan MakePlan(bool quick) {
  Plan p;
  p.tints = {0.02, 0.05, 0.10, 0.15, 0.21, 0.30, 0.40, 0.50, 0.60, 0.70, 0.80, 0.90, 0.95, 0.98};
  if (quick) {
    p.grayStep = 15;
    p.patch = 88;
    p.margin = 12;
    p.tilesAcross = 1;
    p.tints = {0.02, 0.21, 0.50, 0.80, 0.98};
    p.rampStep = 5;
    p.sceneWidth = 240;
    p.sceneHeight = 160;
    p.scenePpi = 120;
  }
  return p;
}

struct PatchMeasure {
  pm::Lab printed, fs, bayer;
  double dE = 0, dEfs = 0, dEbayer = 0;
  std::array<double, pm::kInks> coverage{};
};

struct TintMeasure {
  double target = 0, tint = 0;
  int step = 0;  // position on the cyan path (see CyanPathColour)
  std::array<double, pm::kInks> coverage{};  // every ink the method printed
  // Whether the method's cyan came within 3 points of the tint and has a
  // texture at all: a method whose tables never print that much cyan alone,
  // or print it solid, has no figure for it.
  bool reached() const { return tint > 0.005 && tint < 0.995 && std::fabs(tint - target) <= 0.03; }
  // Texture of the printed lightness, and of the cyan dots alone.  The
  // textbook halftoners ink every plane at the method's coverages.
  Texture method, fs, bayer;
  Texture methodCyan, fsCyan;
  double ratio() const { return fs.lowEnergy > 0 ? method.lowEnergy / fs.lowEnergy : 0; }
  double cyanRatio() const { return fsCyan.lowShare > 0 ? methodCyan.lowShare / fsCyan.lowShare : 0; }
};

// A gamut patches are judged against, and each target's distance to it.
struct Gamut {
  std::string name;
  std::vector<double> distance;  // per target, Delta E 2000
  bool inside(size_t i) const { return distance[i] < 1.0; }
};

struct Run {
  MethodFigures fig;
  const Gamut* gamut = nullptr;        // what the method can print
  const Gamut* independent = nullptr;  // what independent dots can print
  std::vector<PatchMeasure> patches;
  std::vector<TintMeasure> tints;
  std::vector<std::string> photos;  // image names, one per scene
};

const char* kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                          "#8c564b", "#e377c2", "#17becf", "#7f7f7f", "#bcbd22"};

std::string Fmt(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

std::string ResName(const Resolution& r) {
  return std::to_string(r.x) + "x" + std::to_string(r.y);
}

// Dots of one ink plane as 0/1 floats, for a rectangle.
std::vector<float> PlaneFloats(const std::vector<uint8_t>& plane, int width, const Rect& r) {
  std::vector<float> out;
  out.reserve(static_cast<size_t>(r.x1 - r.x0) * (r.y1 - r.y0));
  for (int y = r.y0; y < r.y1; ++y) {
    for (int x = r.x0; x < r.x1; ++x) out.push_back(plane[static_cast<size_t>(y) * width + x]);
  }
  return out;
}

// A side x side patch whose inks are each halftoned by `halftone` at a flat
// coverage, every plane on its own.
template <typename Halftone>
Dots ReferenceDots(const std::array<double, pm::kInks>& cov, int side, Halftone halftone) {
  Dots d;
  d.width = d.height = side;
  for (int k = 0; k < pm::kInks; ++k) {
    const std::vector<float> flat(static_cast<size_t>(side) * side,
                                  static_cast<float>(cov[static_cast<size_t>(k)]));
    d.ink[static_cast<size_t>(k)] = halftone(flat, side, side);
  }
  return d;
}

// The overprint counts of the interior of such a patch.
template <typename Halftone>
std::array<uint32_t, pm::kOverprints> ReferenceCounts(const std::array<double, pm::kInks>& cov,
                                                      int side, int margin, Halftone halftone) {
  return CountOverprints(ReferenceDots(cov, side, halftone), {margin, margin, side - margin, side - margin});
}

// Lab -> sRGB pixels (media-relative) for the pictures.
std::array<uint8_t, 3> LabToSrgb(const pm::Lab& lab) {
  static cmsHTRANSFORM transform = [] {
    cmsHPROFILE labp = cmsCreateLab4Profile(cmsD50_xyY());
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(labp, TYPE_Lab_DBL, srgb, TYPE_RGB_8,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    cmsCloseProfile(labp);
    cmsCloseProfile(srgb);
    return t;
  }();
  cmsCIELab in{lab.l, lab.a, lab.b};
  std::array<uint8_t, 3> out{};
  cmsDoTransform(transform, &in, out.data(), 1);
  return out;
}

std::string Hex(const std::array<uint8_t, 3>& c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c[0], c[1], c[2]);
  return buf;
}

class Builder {
 public:
  Builder(const ReportOptions& o, const ResourceSet& r) : opt_(o), res_(r), plan_(MakePlan(o.quick)) {}

  Result<Report> Build();

 private:
  Status MeasurePatches(const JobOptions& job, Run* run);
  Status MeasureTints(const JobOptions& job, Run* run);
  Status PrintScenes(const JobOptions& job, Run* run);
  void Summarise(Run* run) const;
  std::string ComboSection(const std::vector<Run*>& runs, const std::string& id) const;
  std::string FrontSvg(const std::vector<Run*>& runs) const;
  void Log(const std::string& line) const {
    if (opt_.log) opt_.log(line);
  }

  const ReportOptions& opt_;
  const ResourceSet& res_;
  Plan plan_;
  std::vector<Patch> patches_;
  std::vector<pm::Lab> targets_;
  // The gamut of independent dots under the paper's ink limit.
  const Gamut& IndependentGamut(const std::string& paper);
  // The gamut the job's method can print: its screen's, for engine A.
  Result<const Gamut*> MethodGamut(const JobOptions& job);
  // Gamuts by paper and dot rule, each sampled once.
  std::map<std::string, std::unique_ptr<Gamut>> gamuts_;
  std::vector<Scene> scenes_;
  Report report_;
};

const Gamut& Builder::IndependentGamut(const std::string& paper) {
  std::unique_ptr<Gamut>& g = gamuts_[paper + " independent"];
  if (!g) {
    g = std::make_unique<Gamut>();
    g->name = "independent dots";
    for (const pm::Lab& t : targets_) g->distance.push_back(GamutDistance(*opt_.model, t, InkLimitOfPaper(paper)));
  }
  return *g;
}

Result<const Gamut*> Builder::MethodGamut(const JobOptions& job) {
  const std::optional<pm::ScreenRule> rule = ScreenRuleOfMethod(job.method);
  if (!rule) return &IndependentGamut(job.paper);
  // The ink-limited screen's level table comes from the colour table the
  // job prints through.
  std::array<int, 2> params{255, 765};
  if (*rule == pm::ScreenRule::kBlackFirstInkLimited) {
    Result<ColorSettings> settings = MakeColorSettings(job, res_, 64);
    if (!settings.ok()) return settings.status();
    Result<ColorMatcher> matcher = ColorMatcher::Create(*settings, res_);
    if (!matcher.ok()) return matcher.status();
    const int table = matcher->lut()->tableNumber;
    const auto block = res_.Find(Service::kColor, table);
    if (!block) return Status(RC_BAD_RESOURCE, "no colour table " + std::to_string(table));
    Result<std::array<int, 2>> read = pm::LevelTableParams(*block);
    if (!read.ok()) return read.status();
    params = *read;
  }
  const char* names[] = {"screen: black first, colours dot on dot", "screen: black first, ink-limited",
                         "screen: stacked"};
  const std::string name = names[static_cast<int>(*rule)];
  std::unique_ptr<Gamut>& g = gamuts_[job.paper + " " + name + " " + std::to_string(params[0]) + "," +
                                      std::to_string(params[1])];
  if (!g) {
    g = std::make_unique<Gamut>();
    g->name = name;
    const pm::ScreenPrinter printer(*opt_.model, *rule, params[0], params[1]);
    for (const pm::Lab& t : targets_) g->distance.push_back(GamutDistance(printer, t, InkLimitOfPaper(job.paper)));
  }
  return g.get();
}

Status Builder::MeasurePatches(const JobOptions& job, Run* run) {
  const int n = static_cast<int>(patches_.size());
  const int cols = plan_.columns, rows = (n + cols - 1) / cols, side = plan_.patch;
  const int w = cols * side, h = rows * side;
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3, 255);
  for (int i = 0; i < n; ++i) {
    const int px = (i % cols) * side, py = (i / cols) * side;
    for (int y = py; y < py + side; ++y) {
      for (int x = px; x < px + side; ++x) {
        uint8_t* p = rgb.data() + (static_cast<size_t>(y) * w + x) * 3;
        p[0] = patches_[static_cast<size_t>(i)].r;
        p[1] = patches_[static_cast<size_t>(i)].g;
        p[2] = patches_[static_cast<size_t>(i)].b;
      }
    }
  }
  Printed printed;
  Status s = PrintPixels(job, res_, opt_.model, w, h, rgb, w, h, 0, &printed);
  if (!s.ok()) return s;
  const pm::PrintModel& model = *opt_.model;
  const int m = plan_.margin;
  for (int i = 0; i < n; ++i) {
    const int px = (i % cols) * side, py = (i / cols) * side;
    const auto counts = CountOverprints(printed.dots, {px + m, py + m, px + side - m, py + side - m});
    PatchMeasure pmz;
    pmz.coverage = Coverage(counts);
    pmz.printed = PrintedLab(model, counts);
    pmz.fs = PrintedLab(model, ReferenceCounts(pmz.coverage, side, m, FloydSteinberg));
    pmz.bayer = PrintedLab(model, ReferenceCounts(pmz.coverage, side, m, BayerDither));
    const pm::Lab& t = targets_[static_cast<size_t>(i)];
    pmz.dE = pm::DeltaE2000(pmz.printed, t);
    pmz.dEfs = pm::DeltaE2000(pmz.fs, t);
    pmz.dEbayer = pm::DeltaE2000(pmz.bayer, t);
    run->patches.push_back(pmz);
  }
  return Status::Ok();
}

// The source colours of the texture tints: white to sRGB cyan (red falling,
// step 0..255), then cyan to black (green and blue falling, 256..510).
// Pure cyan alone prints only about a third of the cyan dots, because the
// tables keep its lightness; the darker half of the path reaches the dense
// tints.
std::array<uint8_t, 3> CyanPathColour(int step) {
  if (step <= 255) return {static_cast<uint8_t>(255 - step), 255, 255};
  const auto v = static_cast<uint8_t>(510 - step);
  return {0, v, v};
}

Status Builder::MeasureTints(const JobOptions& job, Run* run) {
  // Find the steps of the cyan path whose cyan coverage is nearest each
  // tint: a ramp of bands, one per step, measured in their middles.
  constexpr int kLastStep = 510;
  std::vector<int> steps;
  for (int v = 0; v <= kLastStep; v += plan_.rampStep) steps.push_back(v);
  if (steps.back() != kLastStep) steps.push_back(kLastStep);
  constexpr int kBand = 8, kRampWidth = 128;
  const int rh = kBand * static_cast<int>(steps.size());
  std::vector<uint8_t> ramp(static_cast<size_t>(kRampWidth) * rh * 3, 255);
  for (int y = 0; y < rh; ++y) {
    const auto c = CyanPathColour(steps[static_cast<size_t>(y / kBand)]);
    for (int x = 0; x < kRampWidth; ++x) std::memcpy(&ramp[(static_cast<size_t>(y) * kRampWidth + x) * 3], c.data(), 3);
  }
  Printed rp;
  Status s = PrintPixels(job, res_, opt_.model, kRampWidth, rh, ramp, kRampWidth, rh, 0, &rp);
  if (!s.ok()) return s;
  // Cyan rises along the path and, past some step on its dark half, gives
  // way to black; a tint is looked for on the rising part only, where its
  // source is the lightest one that prints that much cyan.
  std::vector<double> rampCov;
  for (size_t i = 0; i < steps.size(); ++i) {
    const int y0 = static_cast<int>(i) * kBand;
    const auto c = Coverage(CountOverprints(rp.dots, {16, y0 + 2, kRampWidth - 16, y0 + kBand}));
    rampCov.push_back(c[pm::kCyan]);
  }

  const int inner = plan_.tile * plan_.tilesAcross, side = inner + 2 * plan_.tintMargin;
  const int count = static_cast<int>(plan_.tints.size());
  std::vector<uint8_t> rgb(static_cast<size_t>(side) * side * count * 3, 255);
  for (int t = 0; t < count; ++t) {
    TintMeasure tm;
    tm.target = plan_.tints[static_cast<size_t>(t)];
    tm.step = steps[NearestRisingStep(rampCov, tm.target)];
    run->tints.push_back(tm);
    const auto c = CyanPathColour(tm.step);
    for (int y = t * side; y < (t + 1) * side; ++y) {
      for (int x = 0; x < side; ++x) std::memcpy(&rgb[(static_cast<size_t>(y) * side + x) * 3], c.data(), 3);
    }
  }
  Printed tp;
  s = PrintPixels(job, res_, opt_.model, side, side * count, rgb, side, side * count, 0, &tp);
  if (!s.ok()) return s;
  const pm::PrintModel& model = *opt_.model;
  const int m = plan_.tintMargin;
  for (int t = 0; t < count; ++t) {
    TintMeasure& tm = run->tints[static_cast<size_t>(t)];
    const Rect r{m, t * side + m, m + inner, t * side + m + inner};
    tm.coverage = Coverage(CountOverprints(tp.dots, r));
    tm.tint = tm.coverage[pm::kCyan];
    auto measure = [&](const Dots& dots, const Rect& area, Texture* lightness, Texture* cyan) {
      *lightness = MeasureTexture(DotLuminance(model, dots, area), inner, inner, plan_.tile, kLowFrequencyCutoff);
      if (cyan) {
        *cyan = MeasureTexture(PlaneFloats(dots.ink[pm::kCyan], side, area), inner, inner, plan_.tile,
                               kLowFrequencyCutoff);
      }
    };
    measure(tp.dots, r, &tm.method, &tm.methodCyan);
    // The textbook halftoners get every ink's coverage on the same patch
    // size, edges included, and are measured on the same interior.
    const Rect ir{m, m, m + inner, m + inner};
    measure(ReferenceDots(tm.coverage, side, FloydSteinberg), ir, &tm.fs, &tm.fsCyan);
    measure(ReferenceDots(tm.coverage, side, BayerDither), ir, &tm.bayer, nullptr);
  }
  return Status::Ok();
}

Status Builder::PrintScenes(const JobOptions& job, Run* run) {
  for (const Scene& scene : scenes_) {
    // The scene at scenePpi pixels per inch: its size in dots at this
    // resolution, so every resolution prints the same picture size.
    const int w = static_cast<int>(std::lround(scene.width / plan_.scenePpi * job.resolution.x));
    const int h = static_cast<int>(std::lround(scene.height / plan_.scenePpi * job.resolution.y));
    Printed p;
    Status s = PrintPixels(job, res_, opt_.model, scene.width, scene.height, scene.rgb, w, h,
                           std::max(scene.width, scene.height), &p);
    if (!s.ok()) return s;
    const std::string name = "images/" + scene.name + "-" + ResName(job.resolution) + "-" +
                             job.paper + "-" + job.method + ".png";
    report_.images.push_back({name, std::move(p.simulated), p.simulatedWidth, p.simulatedHeight});
    run->photos.push_back(name);
  }
  return Status::Ok();
}

void Builder::Summarise(Run* run) const {
  MethodFigures& f = run->fig;
  double sum = 0, sumFs = 0, sumBayer = 0;
  int inside = 0, insideIndependent = 0;
  f.gamut = run->gamut->name;
  for (size_t i = 0; i < patches_.size(); ++i) {
    const PatchMeasure& p = run->patches[i];
    if (run->independent->inside(i)) {
      sumFs += p.dEfs;
      sumBayer += p.dEbayer;
      ++insideIndependent;
    }
    if (!run->gamut->inside(i)) continue;
    sum += p.dE;
    ++inside;
    if (p.dE > f.maxDeltaE) f.maxDeltaE = p.dE, f.worstPatch = patches_[i].name;
  }
  f.inGamut = inside;
  if (inside > 0) f.meanDeltaE = sum / inside;
  if (insideIndependent > 0) {
    f.meanDeltaEFs = sumFs / insideIndependent;
    f.meanDeltaEBayer = sumBayer / insideIndependent;
  }
  double lastL = 1e9;
  for (size_t i : GrayRamp(patches_)) {
    const pm::Lab& lab = run->patches[i].printed;
    if (lab.l > 10) f.grayMaxChroma = std::max({f.grayMaxChroma, std::fabs(lab.a), std::fabs(lab.b)});
    if (lastL < 1e9 && !(lab.l < lastL)) ++f.grayStepsBack;
    lastL = lab.l;
  }
  for (const TintMeasure& t : run->tints) {
    if (!t.reached()) continue;
    if (t.ratio() > f.worstTextureRatio) f.worstTextureRatio = t.ratio(), f.worstTextureTint = t.tint;
    if (t.cyanRatio() > f.worstCyanTextureRatio) {
      f.worstCyanTextureRatio = t.cyanRatio(), f.worstCyanTextureTint = t.tint;
    }
  }
}

std::string Num(double v, const char* format = "%.2f") {
  return "<td class=\"num\">" + Fmt(format, v) + "</td>";
}

std::string Builder::ComboSection(const std::vector<Run*>& runs, const std::string& id) const {
  const Run& first = *runs.front();
  const std::string title = ResName(first.fig.resolution) + ", " + first.fig.paper + " paper";
  std::string h = "<section id=\"" + id + "\">\n<h2>" + Html(title) + "</h2>\n";

  // Tone response: L* of the gray ramp against the input level.
  const std::vector<size_t> ramp = GrayRamp(patches_);
  SvgPlot tone("Tone response of the gray ramp", "input level", "L*", 0, 255, 0, 100);
  std::vector<std::pair<double, double>> src;
  for (size_t i : ramp) src.emplace_back(patches_[i].r, targets_[i].l);
  tone.Line(src, "#000", "source", true);
  // Axes wide enough for every point: a*b* at least +-10, Delta E at least
  // 0..10, both in steps of 5.
  double abMax = 10, deMax = 10;
  for (const Run* r : runs) {
    for (size_t i : ramp) abMax = std::max({abMax, std::fabs(r->patches[i].printed.a), std::fabs(r->patches[i].printed.b)});
    for (const PatchMeasure& p : r->patches) deMax = std::max(deMax, p.dE);
  }
  abMax = std::ceil(abMax / 5) * 5;
  deMax = std::ceil(deMax / 5) * 5;
  SvgPlot ab("a*b* of the gray ramp", "a*", "b*", -abMax, abMax, -abMax, abMax);
  SvgPlot de("Delta E 2000 per patch", "patch", "Delta E 2000", 0, double(patches_.size()), 0, deMax);
  de.HGuide(2, "2");
  de.HGuide(5, "5");
  for (size_t r = 0; r < runs.size(); ++r) {
    const std::string colour = kColours[r % std::size(kColours)];
    std::vector<std::pair<double, double>> t, a, d;
    for (size_t i : ramp) {
      t.emplace_back(patches_[i].r, runs[r]->patches[i].printed.l);
      a.emplace_back(runs[r]->patches[i].printed.a, runs[r]->patches[i].printed.b);
    }
    for (size_t i = 0; i < patches_.size(); ++i) d.emplace_back(double(i) + 0.5, runs[r]->patches[i].dE);
    tone.Line(t, colour, runs[r]->fig.method);
    ab.Line(a, colour, runs[r]->fig.method);
    de.Points(d, colour, runs[r]->fig.method);
  }
  h += "<div class=\"plots\">\n<div id=\"" + id + "-tone\">" + tone.Render() + "</div>\n";
  h += "<div id=\"" + id + "-gray-ab\">" + ab.Render() + "</div>\n";
  h += "<div id=\"" + id + "-delta-e\">" + de.Render() + "</div>\n";

  // Power spectrum of the tint nearest 21 %, with the textbook halftoners.
  size_t near = 0;
  for (size_t t = 0; t < first.tints.size(); ++t) {
    if (std::fabs(first.tints[t].target - 0.21) < std::fabs(first.tints[near].target - 0.21)) near = t;
  }
  if (!first.tints.empty()) {
    // Every curve on one scale, Floyd-Steinberg's variance, so that the
    // heights compare as energies.
    SvgPlot sp("Power spectrum of printed lightness, cyan tint near " +
                   Fmt("%.0f", first.tints[near].target * 100) + " %",
               "cycles per dot", "power / FS variance x tile^2", 0, 0.5, 0, 4);
    sp.VGuide(kLowFrequencyCutoff, "low-frequency limit");
    const double fsVariance = first.tints[near].fs.spectrum.variance;
    auto curve = [&](const RadialSpectrum& s) {
      std::vector<std::pair<double, double>> c;
      const double scale = fsVariance > 0 ? double(s.tile) * s.tile / fsVariance : 0;
      for (size_t r = 1; r < s.power.size(); ++r) c.emplace_back(double(r) / s.tile, s.power[r] * scale);
      return c;
    };
    for (size_t r = 0; r < runs.size(); ++r) {
      sp.Line(curve(runs[r]->tints[near].method.spectrum), kColours[r % std::size(kColours)], runs[r]->fig.method);
    }
    sp.Line(curve(first.tints[near].fs.spectrum), "#000", "Floyd-Steinberg", true);
    sp.Line(curve(first.tints[near].bayer.spectrum), "#999", "Bayer 16x16", true);
    h += "<div id=\"" + id + "-spectrum\">" + sp.Render() + "</div>\n";
  }
  h += "</div>\n";

  // Figures per method.
  h += "<h3>Figures per method</h3>\n<table class=\"figures\"><tr><th>method</th><th>judged against</th>"
       "<th>patches in gamut</th><th>mean &Delta;E00 in gamut</th>"
       "<th>max &Delta;E00</th><th>worst patch</th><th>mean &Delta;E00, Floyd-Steinberg</th>"
       "<th>mean &Delta;E00, Bayer</th><th>gray max |a*|,|b*|</th><th>gray steps back</th>"
       "<th>worst low-frequency ratio to Floyd-Steinberg, lightness</th><th>at tint</th>"
       "<th>worst ratio, cyan plane</th><th>at tint</th></tr>\n";
  for (const Run* r : runs) {
    const MethodFigures& f = r->fig;
    h += "<tr><td>" + Html(f.method) + "</td><td>" + Html(f.gamut) + "</td>" + Num(f.inGamut, "%.0f") +
         Num(f.meanDeltaE) + Num(f.maxDeltaE) + "<td>" + Html(f.worstPatch) + "</td>" + Num(f.meanDeltaEFs) +
         Num(f.meanDeltaEBayer) + Num(f.grayMaxChroma) + Num(f.grayStepsBack, "%.0f") + Num(f.worstTextureRatio) +
         Num(f.worstTextureTint * 100, "%.1f") + Num(f.worstCyanTextureRatio) +
         Num(f.worstCyanTextureTint * 100, "%.1f") + "</tr>\n";
  }
  h += "</table>\n";

  // Texture per tint.
  h += "<h3>Low-frequency energy of printed lightness per tint (10<sup>-6</sup>, power below " +
       Fmt("%.4f", kLowFrequencyCutoff) + " cycles per dot)</h3>\n<table class=\"texture\"><tr><th>tint</th>";
  for (const Run* r : runs) {
    h += "<th>" + Html(r->fig.method) + "</th><th>ratio to FS</th><th>cyan plane ratio to FS</th>";
  }
  h += "<th>Floyd-Steinberg</th><th>Bayer</th></tr>\n";
  for (size_t t = 0; t < first.tints.size(); ++t) {
    h += "<tr>" + Num(first.tints[t].target * 100, "%.0f");
    for (const Run* r : runs) {
      const TintMeasure& tm = r->tints[t];
      if (!tm.reached()) {
        h += "<td>not reached (" + Fmt("%.1f", tm.tint * 100) + ")</td><td></td><td></td>";
        continue;
      }
      h += Num(tm.method.lowEnergy * 1e6, "%.2f") + Num(tm.ratio()) + Num(tm.cyanRatio());
    }
    h += Num(first.tints[t].fs.lowEnergy * 1e6, "%.2f") + Num(first.tints[t].bayer.lowEnergy * 1e6, "%.2f") +
         "</tr>\n";
  }
  h += "</table>\n<p>Each method's tint is its own measured cyan coverage (within 3 points of the named tint, "
       "or not reached); the Floyd-Steinberg and Bayer columns are for the first method's inks, and every "
       "ratio uses plain Floyd-Steinberg at the method's own ink coverages.  The cyan plane ratio is the share "
       "of the cyan dots' power below the limit over Floyd-Steinberg's.</p>\n";

  // Patches: their distance to every gamut a method of this run is judged
  // against, and each method's Delta E, grayed where the patch lies outside
  // that method's gamut.
  std::vector<const Gamut*> gamuts = {first.independent};
  for (const Run* r : runs)
    if (std::find(gamuts.begin(), gamuts.end(), r->gamut) == gamuts.end()) gamuts.push_back(r->gamut);
  h += "<h3>Patches: &Delta;E00 of each method</h3>\n<table class=\"patches\"><tr><th>patch</th><th>sRGB</th>"
       "<th>L*</th><th>a*</th><th>b*</th>";
  for (const Gamut* g : gamuts) h += "<th>distance to gamut: " + Html(g->name) + "</th>";
  for (const Run* r : runs) h += "<th>" + Html(r->fig.method) + "</th>";
  h += "<th>FS (" + Html(first.fig.method) + "'s inks)</th></tr>\n";
  auto num = [](double v, bool outside) {
    return std::string(outside ? "<td class=\"num outside\">" : "<td class=\"num\">") + Fmt("%.2f", v) + "</td>";
  };
  for (size_t i = 0; i < patches_.size(); ++i) {
    const Patch& p = patches_[i];
    const pm::Lab& t = targets_[i];
    bool outsideAll = true;
    for (const Gamut* g : gamuts) outsideAll = outsideAll && !g->inside(i);
    h += "<tr" + std::string(outsideAll ? " class=\"outside\"" : "") + "><td>" + Html(p.name) +
         "</td><td><span class=\"sw\" style=\"background:" + Hex({p.r, p.g, p.b}) + "\"></span>" +
         std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b) + "</td>" +
         Num(t.l, "%.1f") + Num(t.a, "%.1f") + Num(t.b, "%.1f");
    for (const Gamut* g : gamuts) h += num(g->distance[i], !g->inside(i));
    for (const Run* r : runs) h += num(r->patches[i].dE, !r->gamut->inside(i));
    h += num(first.patches[i].dEfs, !first.independent->inside(i)) + "</tr>\n";
  }
  h += "</table>\n";

  // Photographs.
  h += "<h3>Scenes, simulated print</h3>\n<div class=\"photos\">";
  for (size_t s = 0; s < scenes_.size(); ++s) {
    h += "<figure><img src=\"images/" + scenes_[s].name + "-source.png\"><figcaption>source</figcaption></figure>";
    for (const Run* r : runs) {
      h += "<figure><img src=\"" + r->photos[s] + "\"><figcaption>" + Html(r->fig.method) + "</figcaption></figure>";
    }
    h += "<br>\n";
  }
  h += "</div>\n</section>\n";
  return h;
}

// Original and printed colours of the telling patches, one row per method.
std::string Builder::FrontSvg(const std::vector<Run*>& runs) const {
  const char* names[] = {"dark red", "dark green", "dark brown", "brown shadow", "dark blue",
                         "skin 3", "skin 6", "light skin", "foliage", "blue sky", "orange",
                         "gray 125", "gray 50", "gray 20"};
  std::vector<size_t> pick;
  for (const char* n : names) {
    for (size_t i = 0; i < patches_.size(); ++i) {
      if (patches_[i].name == n) pick.push_back(i);
    }
  }
  const int cell = 44, left = 150, top = 58;
  const int width = left + cell * static_cast<int>(pick.size()) + 10;
  const int height = top + cell * (static_cast<int>(runs.size()) + 1) + 30;
  std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                  "\" height=\"" + std::to_string(height) + "\" font-family=\"sans-serif\">\n";
  s += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
  const Run& first = *runs.front();
  s += "<text x=\"8\" y=\"18\" font-size=\"13\" font-weight=\"bold\">Source and simulated print, " +
       ResName(first.fig.resolution) + ", " + Html(first.fig.paper) + " paper (&#916;E00 under each)</text>\n";
  for (size_t c = 0; c < pick.size(); ++c) {
    const int x = left + static_cast<int>(c) * cell;
    s += "<text font-size=\"9\" transform=\"translate(" + std::to_string(x + 6) + "," +
         std::to_string(top - 4) + ") rotate(-30)\">" + Html(patches_[pick[c]].name) + "</text>\n";
  }
  auto row = [&](int r, const std::string& label, auto colourOf, auto valueOf) {
    const int y = top + r * cell;
    s += "<text x=\"8\" y=\"" + std::to_string(y + cell / 2 + 4) + "\" font-size=\"11\">" + Html(label) + "</text>\n";
    for (size_t c = 0; c < pick.size(); ++c) {
      const int x = left + static_cast<int>(c) * cell;
      s += "<rect x=\"" + std::to_string(x + 2) + "\" y=\"" + std::to_string(y + 2) + "\" width=\"" +
           std::to_string(cell - 4) + "\" height=\"" + std::to_string(cell - 16) + "\" fill=\"" +
           colourOf(pick[c]) + "\"/>";
      s += "<text font-size=\"9\" text-anchor=\"middle\" x=\"" + std::to_string(x + cell / 2) + "\" y=\"" +
           std::to_string(y + cell - 4) + "\">" + valueOf(pick[c]) + "</text>\n";
    }
  };
  row(0, "source", [&](size_t i) { return Hex({patches_[i].r, patches_[i].g, patches_[i].b}); },
      [&](size_t) { return std::string(); });
  for (size_t r = 0; r < runs.size(); ++r) {
    row(static_cast<int>(r) + 1, runs[r]->fig.method,
        [&](size_t i) { return Hex(LabToSrgb(runs[r]->patches[i].printed)); },
        [&](size_t i) { return Fmt("%.1f", runs[r]->patches[i].dE); });
  }
  s += "</svg>\n";
  return s;
}

Result<Report> Builder::Build() {
  if (opt_.model == nullptr) return Status(RC_BAD_VALUE, "the quality report needs a print model");
  std::vector<std::string> methods = opt_.methods;
  if (methods.empty()) {
    for (const Method& m : Methods()) methods.push_back(m.name);
  }
  std::vector<Resolution> resolutions = opt_.resolutions;
  if (resolutions.empty()) resolutions = TableResolutions(res_);
  if (resolutions.empty()) resolutions = Resolutions();
  std::vector<std::string> papers = opt_.papers;
  if (papers.empty()) papers = {"plain", "photo"};

  patches_ = PatchSet(plan_.grayStep);
  for (const Patch& p : patches_) targets_.push_back(SourceLab(p.r, p.g, p.b));
  scenes_ = opt_.photos;
  for (Scene& s : Scenes(plan_.sceneWidth, plan_.sceneHeight)) scenes_.push_back(std::move(s));
  for (const Scene& s : scenes_) {
    report_.images.push_back({"images/" + s.name + "-source.png", s.rgb, s.width, s.height});
  }

  std::vector<Run> runs;
  runs.reserve(methods.size() * resolutions.size() * papers.size());
  std::vector<std::vector<Run*>> combos;
  for (const Resolution& res : resolutions) {
    for (const std::string& paper : papers) {
      combos.emplace_back();
      for (const std::string& method : methods) {
        JobOptions job;
        job.method = method;
        job.resolution = res;
        job.paper = paper;
        job.calibration = opt_.calibration;
        Log(ResName(res) + " " + paper + " " + method);
        Run run;
        run.fig.method = method;
        run.fig.paper = paper;
        run.fig.resolution = res;
        Result<const Gamut*> gamut = MethodGamut(job);
        Status s = gamut.status();
        if (gamut.ok()) {
          run.gamut = *gamut;
          run.independent = &IndependentGamut(paper);
          s = MeasurePatches(job, &run);
        }
        if (s.ok()) s = MeasureTints(job, &run);
        if (s.ok()) s = PrintScenes(job, &run);
        if (!s.ok()) {
          return Status(s.code(), method + " at " + ResName(res) + " on " + paper + " paper: " + s.message());
        }
        Summarise(&run);
        report_.figures.push_back(run.fig);
        runs.push_back(std::move(run));
        combos.back().push_back(&runs.back());
      }
    }
  }

  std::string& h = report_.html;
  h = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>vantik quality report</title>\n"
      "<style>body{font-family:sans-serif;margin:1.5em;max-width:1500px}table{border-collapse:collapse;margin:.5em 0}"
      "td,th{border:1px solid #ccc;padding:2px 6px;font-size:12px}td.num{text-align:right;font-variant-numeric:tabular-nums}"
      "tr.outside td,td.outside{color:#999}.plots div{display:inline-block;vertical-align:top}.sw{display:inline-block;width:12px;"
      "height:12px;margin-right:4px;border:1px solid #888;vertical-align:middle}figure{display:inline-block;margin:4px}"
      "figure img{max-width:240px}figcaption{font-size:11px;text-align:center}td.pass{color:#070}td.fail{color:#b00}</style></head><body>\n";
  h += "<h1>vantik quality report</h1>\n";
  if (opt_.calibration) {
    std::string levels;
    for (int v : *opt_.calibration) levels += (levels.empty() ? "" : ",") + std::to_string(v);
    h += "<p>Printed with calibration levels " + levels + ".</p>\n";
  }
  h += "<section id=\"about\"><h2>How it is measured</h2><p>Every method prints the patches, flat tints and scenes "
       "below at each resolution and paper.  Colours are measured on the simulated print under " +
       Html(opt_.modelName) + " (Yule-Nielsen factor " + Fmt("%.2f", opt_.model->yuleNielsen()) +
       "): the model's colour of the mix of overprints the halftone actually set over each patch, its outer " +
       std::to_string(plan_.margin) + " dots left out, media-relative (paper is L* 100), against the sRGB source "
       "colour in CIE L*a*b* (D50), compared in &Delta;E 2000.  Each method is judged against what its own dots can "
       "print: a patch counts as inside its gamut when some ink amounts within the paper's total ink limit (the one "
       "its tables are built to: 260 % on plain paper, 300 % on photo paper) print within &Delta;E00 1 of it.  Engine "
       "B's methods and the textbook halftoners lay each ink's dots independently of the others; engine A's screens "
       "lay them by the screen's rule (black on the lowest thresholds, so that no colour ever prints under black and "
       "nothing prints darker than solid black alone; cyan, magenta and yellow dot on dot, or side by side on the "
       "stacked screen), and their gamut is what that rule prints.  The tables name each method's gamut; patches "
       "outside it are gray and left out of its means.  The Floyd-Steinberg and Bayer means are over the patches "
       "inside the independent-dot gamut.</p>\n"
       "<p>The scenes are photographs (see the resources' README for where they come from) and two pictures "
       "drawn in code, each printed at " + Fmt("%.0f", plan_.scenePpi) + " pixels per inch.</p>\n"
       "<p>The baselines are two textbook halftoners, plain Floyd-Steinberg error diffusion and a 16 x 16 Bayer "
       "ordered dither, each inking every plane independently with exactly the ink coverage the method set, on "
       "the same model.</p>\n"
       "<p>Texture: flat tints along a cyan path of sources (white to (0, 255, 255), then on to black) from " + Fmt("%.0f", plan_.tints.front() * 100) +
       " % to " + Fmt("%.0f", plan_.tints.back() * 100) + " % cyan, each source the lightest on the path that prints "
       "the tint, each tint " + std::to_string(plan_.tile * plan_.tilesAcross) +
       " dots square after a " + std::to_string(plan_.tintMargin) + "-dot edge.  Texture is measured on the printed "
       "lightness of every dot: the luminance Y, relative to the paper, of the model's overprint of the inks that "
       "fall on it, so that black dots over cyan count as the grain they are.  Its power spectrum is averaged over " +
       std::to_string(plan_.tile) + "-dot tiles.  <b>Low-frequency energy</b> is the power at radial frequencies "
       "below " + Fmt("%.4f", kLowFrequencyCutoff) + " cycles per dot (periods longer than 16 dots).  The ratio to "
       "Floyd-Steinberg is the method's energy over that of plain Floyd-Steinberg inking every plane on its own at "
       "the coverages the method printed.  The cyan-plane ratio is the old figure: the share of the cyan dots' "
       "power below the limit, over plain Floyd-Steinberg's at the same cyan coverage.</p></section>\n";

  // The summary of every run.
  h += "<section id=\"summary\"><h2>Summary</h2>\n<table class=\"summary\"><tr><th>resolution</th><th>paper</th>"
       "<th>method</th><th>judged against</th><th>patches in gamut</th><th>mean &Delta;E00 in gamut</th>"
       "<th>max &Delta;E00</th><th>worst patch</th><th>mean &Delta;E00 FS</th><th>mean &Delta;E00 Bayer</th><th>gray max |a*|,|b*|</th><th>gray steps back</th>"
       "<th>worst low-frequency ratio to FS, lightness</th><th>worst ratio to FS, cyan plane</th></tr>\n";
  for (const MethodFigures& f : report_.figures) {
    h += "<tr><td>" + ResName(f.resolution) + "</td><td>" + Html(f.paper) + "</td><td>" + Html(f.method) + "</td><td>" +
         Html(f.gamut) + "</td>" + Num(f.inGamut, "%.0f") + Num(f.meanDeltaE) + Num(f.maxDeltaE) + "<td>" + Html(f.worstPatch) + "</td>" + Num(f.meanDeltaEFs) +
         Num(f.meanDeltaEBayer) + Num(f.grayMaxChroma) + Num(f.grayStepsBack, "%.0f") + Num(f.worstTextureRatio) + Num(f.worstCyanTextureRatio) + "</tr>\n";
  }
  h += "</table></section>\n";

  // The targets each method is held to.  The eight-colour draft is shown
  // but held to none; the clustered screen only to colour.
  h += "<section id=\"targets\"><h2>Targets</h2>\n<p>Colour: mean &Delta;E00 below 2 and no patch above 5 "
       "inside the gamut.  Gray: |a*| and |b*| below 2 at every step above L* 10, L* falling at every step.  "
       "Texture: the diffusion methods below plain Floyd-Steinberg's low-frequency energy of printed lightness at every tint, the dither "
       "methods (dither, hybrid, ordered, stacked) no more than it.  The eight-colour draft is held to none.</p>\n"
       "<table class=\"targets\"><tr><th>resolution</th><th>paper</th><th>method</th><th>colour</th><th>gray</th>"
       "<th>texture</th></tr>\n";
  auto mark = [](bool ok) { return std::string(ok ? "<td class=\"pass\">met</td>" : "<td class=\"fail\">not met</td>"); };
  for (const MethodFigures& f : report_.figures) {
    if (f.method == "eight") continue;
    const bool colour = f.meanDeltaE < 2 && f.maxDeltaE <= 5;
    const bool gray = f.grayMaxChroma < 2 && f.grayStepsBack == 0;
    std::string texture = "<td></td>";
    if (f.method == "diffusion") texture = mark(f.worstTextureRatio < 1);
    if (f.method == "dither" || f.method == "hybrid" || f.method == "ordered" || f.method == "stacked") {
      texture = mark(f.worstTextureRatio <= 1);
    }
    h += "<tr><td>" + ResName(f.resolution) + "</td><td>" + Html(f.paper) + "</td><td>" + Html(f.method) + "</td>" +
         mark(colour) + mark(gray) + texture + "</tr>\n";
  }
  h += "</table></section>\n";

  const std::string front = FrontSvg(combos.front());
  h += "<section id=\"front\"><h2>Dark colours, skin and grays</h2>\n" + front + "</section>\n";
  report_.frontSvg = front;

  for (size_t c = 0; c < combos.size(); ++c) h += ComboSection(combos[c], "run-" + std::to_string(c));
  h += "</body></html>\n";
  return std::move(report_);
}

}  // namespace

Result<Report> BuildReport(const ReportOptions& options, const ResourceSet& resources) {
  Builder b(options, resources);
  return b.Build();
}

}  // namespace vantik::tool::quality
