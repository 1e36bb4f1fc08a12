// End to end on small pages with the default resources: dot densities follow
// the ink values of colour matching, the simulated print looks like the
// input, grays print neutral, and every method and resolution runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "e2e_support.h"
#include "printmodel/gamut_map.h"

namespace vantik::e2e {
namespace {

#define RENDER(var, job, page, set, ...)                 \
  auto var = Render(job, page, set __VA_OPT__(,) __VA_ARGS__); \
  ASSERT_TRUE(var.ok()) << var.status().ToString()

// The printer a method's default tables are made for: the four-ink tables
// of engine B (diffusion, hybrid, dither) and of engine A's screens
// (ordered, clustered, stacked) are built for the measured printer and
// corrected by printing, so their prints are judged under it; the others
// under ideal inks.
const printmodel::PrintModel* PrinterOf(const std::string& method) {
  const bool measured = method == "diffusion" || method == "hybrid" || method == "dither" ||
                        method == "ordered" || method == "clustered" || method == "stacked";
  return measured ? &printmodel::PrintModel::Default() : nullptr;
}

class EndToEnd : public ::testing::Test {
 protected:
  ResourceSet set_ = DefaultResources();
};

// Patches of `size` x `size` dots, `cols` across.
Image Patches(const std::vector<std::array<uint8_t, 3>>& colours, int cols, int size) {
  int rows = (static_cast<int>(colours.size()) + cols - 1) / cols;
  Image img{cols * size, rows * size, {}};
  img.rgb.assign(size_t(img.width) * img.height * 3, 255);
  for (size_t i = 0; i < colours.size(); ++i) {
    int px = int(i) % cols * size, py = int(i) / cols * size;
    for (int y = py; y < py + size; ++y)
      for (int x = px; x < px + size; ++x)
        std::copy_n(colours[i].data(), 3, &img.rgb[(size_t(y) * img.width + x) * 3]);
  }
  return img;
}

// Dots per pixel that the engines aim at for ink value v: a dot counts
// weight(v) percent of a level, the weight running from weightLight at no
// ink to weightFull at full ink (the engines' dot-weight table).
double ExpectedDensity(int v, const CmLut& lut) {
  if (v <= 0) return 0;
  const int l = lut.weightLight, f = lut.weightFull;
  const int dw = (((255 - v) * (255 - v) * (l - f) + 1) / 255 + 255 * f) / 100;
  return std::min(1.0, double(v) / dw);
}

const std::vector<std::array<uint8_t, 3>> kPatchColours = {
    {255, 255, 255}, {0, 0, 0},       {128, 128, 128}, {200, 200, 200},
    {220, 40, 40},   {40, 180, 60},   {50, 70, 200},   {0, 200, 230},
    {230, 60, 200},  {250, 230, 40},  {224, 172, 138}, {90, 60, 120}};

struct DensityCase {
  const char* method;
  tool::Resolution res;
  bool corners;  // the eight-colour draft prints each channel as on or off
};

// Tolerance per region of 64 x 64 dots: |measured - expected| <= 0.012 +
// 0.02 x expected (the worst case seen is 0.0074 on engine B, 0.013 at a
// density of 0.3 on engine A's clustered screens).
//  - The engines look colours up at a grid node chosen by the matrix rather
//    than interpolating; over a region this averages to within about one
//    level of the translation: 1 / 255 x (100 / weight) < 0.004.
//  - Error diffusion keeps the ink of a region except what crosses its
//    edges, less than one dot per row and column and partly cancelling:
//    about 1 / 64 / 4 = 0.004; its widest kernel drops 2/32 of the error
//    at the lightest levels (density below 0.03), at most 0.002.
//  - Ordered dither sets exactly levelTable[v] cells of each matrix tile;
//    a region that covers part of a 128 x 128 blue-noise tile sees its
//    ranks almost uniformly, within about 1 % of the expected count.
//  - Engine A picks between the two 25-grid nodes around a colour by a
//    threshold, and a clustered screen's thresholds step in coarse groups:
//    together a few per cent of the density.
constexpr double kAbsTolerance = 0.012;
constexpr double kRelTolerance = 0.02;

// Engine A's clustered screens (method 2) set black where the threshold t
// (1..255, evenly spread over the matrix) is at most the black value, and
// each colour ink where black is not set and t is at most its value.
TEST_F(EndToEnd, ClusteredScreenDensityFollowsTheInkValues) {
  const int size = 64;
  const Image page = Patches(kPatchColours, 4, size);
  tool::JobOptions job;
  job.method = "clustered";
  auto settings = tool::MakeColorSettings(job, set_, uint32_t(page.width));
  ASSERT_TRUE(settings.ok());
  auto matcher = ColorMatcher::Create(*settings, set_);
  ASSERT_TRUE(matcher.ok()) << matcher.status().ToString();
  // The engine reads the table on the 25-node grid it resamples the
  // matcher's table to; translate through that grid too.
  auto halftoner = Halftoner::Create(*matcher, set_);
  ASSERT_TRUE(halftoner.ok()) << halftoner.status().ToString();
  RENDER(r, job, page, set_);
  for (size_t i = 0; i < kPatchColours.size(); ++i) {
    uint8_t v[4];
    ASSERT_TRUE(matcher->Translate(kPatchColours[i], v).ok());
    const double want[4] = {std::max(0, v[0] - v[3]) / 255.0, std::max(0, v[1] - v[3]) / 255.0,
                            std::max(0, v[2] - v[3]) / 255.0, v[3] / 255.0};
    const int x0 = int(i) % 4 * size, y0 = int(i) / 4 * size;
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(r->Density(k, x0, y0, x0 + size, y0 + size), want[k],
                  kAbsTolerance + kRelTolerance * want[k])
          << "patch " << i << " plane " << r->inks[k];
    }
  }
}

TEST_F(EndToEnd, PlaneDensityFollowsTheInkValuesPerRegion) {
  const DensityCase cases[] = {{"diffusion", {720, 720}, false},
                               {"diffusion", {1440, 720}, false},
                               {"hybrid", {720, 720}, false},
                               {"dither", {720, 720}, false},
                               {"eight", {720, 720}, true}};
  const int size = 64;
  const Image page = Patches(kPatchColours, 4, size);
  for (const DensityCase& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + std::to_string(c.res.x) + "x" + std::to_string(c.res.y));
    tool::JobOptions job;
    job.method = c.method;
    job.resolution = c.res;
    RENDER(r, job, page, set_);
    auto settings = tool::MakeColorSettings(job, set_, uint32_t(page.width));
    ASSERT_TRUE(settings.ok());
    auto matcher = ColorMatcher::Create(*settings, set_);
    ASSERT_TRUE(matcher.ok()) << matcher.status().ToString();
    ASSERT_EQ(r->planes.size(), 4u);
    for (size_t i = 0; i < kPatchColours.size(); ++i) {
      std::array<uint8_t, 3> rgb = kPatchColours[i];
      if (c.corners) {
        for (auto& v : rgb) v = v > 128 ? 255 : 0;
      }
      uint8_t inks[4];
      ASSERT_TRUE(matcher->Translate(rgb, inks).ok());
      const int x0 = int(i) % 4 * size, y0 = int(i) / 4 * size;
      for (int k = 0; k < 4; ++k) {
        const double want = ExpectedDensity(inks[k], *matcher->lut());
        const double got = r->Density(k, x0, y0, x0 + size, y0 + size);
        EXPECT_NEAR(got, want, kAbsTolerance + kRelTolerance * want)
            << "patch " << i << " (" << int(rgb[0]) << "," << int(rgb[1]) << "," << int(rgb[2])
            << ") plane " << r->inks[k] << " ink " << int(inks[k]);
      }
    }
  }
}

// A smooth test image: hue across, lightness down, plus a gray band.
Image SmoothImage(int w, int h) {
  Image img{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double hue = 6.0 * x / w, light = double(y) / (h - 1);
      double rgb[3] = {std::clamp(std::fabs(hue - 3) - 1, 0.0, 1.0),
                       std::clamp(2 - std::fabs(hue - 2), 0.0, 1.0),
                       std::clamp(2 - std::fabs(hue - 4), 0.0, 1.0)};
      uint8_t* p = &img.rgb[(size_t(y) * w + x) * 3];
      for (int c = 0; c < 3; ++c) {
        double v = y < h / 5 ? double(x) / (w - 1)                    // gray band
                             : light < 0.5 ? rgb[c] * (0.3 + 1.4 * light)  // dark to full
                                           : rgb[c] + (1 - rgb[c]) * (light - 0.5) * 1.6;
        p[c] = static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
      }
    }
  return img;
}

// The simulated print, blurred to viewing scale, against the input blurred
// alike.  At 360 dpi a simulated pixel averages 2 x 2 dots and the 5 x 5
// blur another 25 pixels, so halftone noise is down to about 2 levels RMS;
// what remains is the separation (ink limit, black generation, dot layout).
// PSNR >= 23 dB is an RMS error below 18 levels in 255 (the methods give
// 24.8 to 34.9 dB); a swapped plane or a missing dot-weight correction
// costs far more.  The measured printer cannot print the page's pure
// primaries, so the methods judged on it print the page with every colour
// taken halfway toward its own gray, inside that printer's gamut.
TEST_F(EndToEnd, SimulatedPrintLooksLikeTheInput) {
  const Image full = SmoothImage(360, 240);
  Image softened = full;
  for (size_t i = 0; i + 2 < softened.rgb.size(); i += 3) {
    const int mean = (softened.rgb[i] + softened.rgb[i + 1] + softened.rgb[i + 2]) / 3;
    for (size_t c = 0; c < 3; ++c) softened.rgb[i + c] = static_cast<uint8_t>((softened.rgb[i + c] + mean) / 2);
  }
  for (const char* method : {"diffusion", "hybrid", "dither", "ordered", "clustered", "stacked"}) {
    SCOPED_TRACE(method);
    const Image& page = PrinterOf(method) != nullptr ? softened : full;
    tool::JobOptions job;
    job.method = method;
    job.resolution = {360, 360};
    RENDER(r, job, page, set_, 180, PrinterOf(method));
    ASSERT_EQ(r->simulated.width, 180);
    Image input = Resize(page, r->simulated.width, r->simulated.height);
    EXPECT_GE(Psnr(Blur(r->simulated, 2), Blur(input, 2)), 23.0);
  }
}

// Engine A's screens print nothing darker than black ink alone (L* about
// 17), so their tables lift the shadows up to about L* 30 toward it (black
// point compensation): their tone is held from gray 64 up.  The clustered
// screen's pixels run from paper to solid ink within a cell, so the mean of
// their codes is no reading of its tone (the mix of light under the print
// model lies between that mean and the mean of linear light, about 10 levels
// apart); its tone is held where its dots are counted (the default set's
// pipeline test, the quality report's gray ramp), here only its neutrality.
int ToneFrom(const std::string& method) {
  if (method == "clustered") return 256;
  return method == "ordered" || method == "stacked" ? 64 : 48;
}

// A neutral ramp prints neutral: in the simulated print of each step the
// three channels differ by at most 12 levels (one ink dot more or less per
// 16 dots moves a channel by about 2 levels; the rest is gray balance).
// From gray 48 up, where the ink limit no longer takes density, the step
// also prints its own tone: the tables aim within 0.02 (5 levels) of it, and
// an 8 x 8 region of the simulated print (32 x 32 dots) adds about one level
// of dot noise.  The eight-colour draft prints every channel on or off, so
// only its neutrality is checked.
void ExpectNeutralRamp(const ResourceSet& set, const char* method, const char* paper) {
  SCOPED_TRACE(std::string(method) + " on " + paper);
  std::vector<std::array<uint8_t, 3>> steps;
  for (int i = 0; i < 16; ++i) {
    uint8_t v = static_cast<uint8_t>(i * 17);
    steps.push_back({v, v, v});
  }
  const Image page = Patches(steps, 8, 64);
  tool::JobOptions job;
  job.method = method;
  job.paper = paper;
  job.resolution = {720, 720};
  RENDER(r, job, page, set, page.width / 4, PrinterOf(method));
  const Image& s = r->simulated;  // 4 x 4 dots per pixel, 16 x 16 per step
  for (int i = 0; i < 16; ++i) {
    const int x0 = i % 8 * 16 + 4, y0 = i / 8 * 16 + 4;  // inner 8 x 8 pixels
    double sum[3] = {};
    for (int y = y0; y < y0 + 8; ++y)
      for (int x = x0; x < x0 + 8; ++x)
        for (int c = 0; c < 3; ++c) sum[c] += s.At(x, y)[c];
    const double lo = std::min({sum[0], sum[1], sum[2]}) / 64;
    const double hi = std::max({sum[0], sum[1], sum[2]}) / 64;
    EXPECT_LE(hi - lo, 12.0) << "gray " << i * 17 << " prints as " << sum[0] / 64 << ", "
                             << sum[1] / 64 << ", " << sum[2] / 64;
    if (i * 17 < ToneFrom(method) || std::string(method) == "eight") continue;
    EXPECT_NEAR((sum[0] + sum[1] + sum[2]) / 192, i * 17, 6.0) << "gray " << i * 17;
  }
}

TEST_F(EndToEnd, GrayRampPrintsWithoutColourCast) {
  for (const tool::Method& m : tool::Methods()) {
    for (const char* paper : {"plain", "photo"}) ExpectNeutralRamp(set_, m.name, paper);
  }
}

// The diffusion tables' grays are corrected by printing them, node by node
// and between the nodes; the print must follow the input smoothly, down to
// solid black, seen on the measured printer.  A fine ramp (every 4 levels,
// 128 x 128 dots a step) prints with every channel darkening as the input
// does: a channel may fall back by at most 3 levels from one step to the
// next (a 96 x 96 dot region carries about half a level of diffusion noise
// across its edges, on each of the two steps compared; between gray 44 and
// 48, where black takes over from the colour inks, the mix of the two
// nodes' recipes leaves up to 2.6 more), and no step jumps by more than 12
// levels (three times the input step).
TEST_F(EndToEnd, DiffusionGrayRampPrintsSmoothly) {
  std::vector<std::array<uint8_t, 3>> steps;
  for (int v = 0; v < 256; v += 4) steps.push_back({uint8_t(v), uint8_t(v), uint8_t(v)});
  const Image page = Patches(steps, 8, 128);
  for (const char* paper : {"plain", "photo"}) {
    SCOPED_TRACE(paper);
    tool::JobOptions job;
    job.method = "diffusion";
    job.paper = paper;
    job.resolution = {720, 720};
    RENDER(r, job, page, set_, page.width / 4, PrinterOf("diffusion"));
    const Image& s = r->simulated;  // 32 x 32 pixels a step
    double previous[3] = {0, 0, 0};
    for (size_t i = 0; i < steps.size(); ++i) {
      const int x0 = int(i) % 8 * 32 + 4, y0 = int(i) / 8 * 32 + 4;  // inner 24 x 24 pixels
      double mean[3] = {};
      for (int y = y0; y < y0 + 24; ++y)
        for (int x = x0; x < x0 + 24; ++x)
          for (int c = 0; c < 3; ++c) mean[c] += s.At(x, y)[c] / 576.0;
      for (int c = 0; c < 3; ++c) {
        if (i > 0) {
          const std::string where = "gray " + std::to_string(steps[i][0]) + " channel " +
                                    std::to_string(c) + ": " + std::to_string(previous[c]) +
                                    " -> " + std::to_string(mean[c]);
          EXPECT_GE(mean[c], previous[c] - 3.0) << where;
          EXPECT_LE(mean[c], previous[c] + 12.0) << where;
        }
        previous[c] = mean[c];
      }
    }
  }
}

// Error diffusion keeps grays neutral at every resolution: each dot shape
// has its own tables, corrected by printing.  Read on the planes under the
// measured printer (the overprints of the inner 64 x 64 dots of each
// 128 x 128 step): a* and b* within 3 of neutral.  4,096 dots carry about
// half a unit of diffusion noise; the correction leaves the nodes within a
// unit, and the mix of two nodes' inks between them up to 2.7 at the
// 1440 x 720 and 720 x 1440 dot shapes (under 2 at 720 x 720).
TEST_F(EndToEnd, DiffusionGraysStayNeutralAtEveryResolution) {
  std::vector<std::array<uint8_t, 3>> steps;
  for (int i = 1; i < 15; ++i) steps.push_back({uint8_t(i * 17), uint8_t(i * 17), uint8_t(i * 17)});
  constexpr int kCols = 7, kSize = 128;
  const Image page = Patches(steps, kCols, kSize);
  for (tool::Resolution res : tool::Resolutions()) {
    for (const char* paper : {"plain", "photo"}) {
      SCOPED_TRACE(std::to_string(res.x) + "x" + std::to_string(res.y) + " " + paper);
      tool::JobOptions job;
      job.method = "diffusion";
      job.paper = paper;
      job.resolution = res;
      RENDER(r, job, page, set_);
      const printmodel::PrintModel& model = printmodel::PrintModel::Default();
      for (size_t i = 0; i < steps.size(); ++i) {
        const int x0 = int(i) % kCols * kSize + 32, y0 = int(i) / kCols * kSize + 32;
        std::array<double, printmodel::kOverprints> overprints{};
        for (int y = y0; y < y0 + 64; ++y)
          for (int x = x0; x < x0 + 64; ++x) {
            int m = 0;
            for (int k = 0; k < 4; ++k) m |= r->Dot(k, x, y) << k;
            overprints[static_cast<size_t>(m)] += 1.0 / 4096;
          }
        const printmodel::Lab lab = printmodel::RelativeLab(model, model.Mix(overprints));
        EXPECT_LT(std::max(std::fabs(lab.a), std::fabs(lab.b)), 3.0)
            << "gray " << int(steps[i][0]) << " prints as L* " << lab.l << " a* " << lab.a << " b* " << lab.b;
      }
    }
  }
}

// Every method at every resolution, in colour and black only: white stays
// paper, black gets ink, and the plane count fits the ink choice.
TEST_F(EndToEnd, EveryMethodAndResolutionRuns) {
  const Image page = Patches({{255, 255, 255}, {0, 0, 0}, {120, 80, 40}}, 3, 32);
  for (const tool::Method& m : tool::Methods()) {
    for (tool::Resolution res : tool::Resolutions()) {
      for (bool black : {false, true}) {
        SCOPED_TRACE(std::string(m.name) + " " + std::to_string(res.x) + "x" +
                     std::to_string(res.y) + (black ? " black" : " colour"));
        tool::JobOptions job;
        job.method = m.name;
        job.resolution = res;
        job.blackOnly = black;
        RENDER(r, job, page, set_);
        ASSERT_EQ(r->planes.size(), black ? 1u : 4u);
        double white = 0, dark = 0;
        for (size_t k = 0; k < r->planes.size(); ++k) {
          white += r->Density(int(k), 0, 0, 32, 32);
          dark += r->Density(int(k), 32, 0, 64, 32);
        }
        EXPECT_EQ(white, 0.0);
        EXPECT_GT(dark, 0.5);
      }
    }
  }
}

// Engine A reads RGB, BGR or xRGB pixels as its render mode says; a page
// rendered in each form must give the same dots (the BGR form once got its
// red and blue swapped).
TEST_F(EndToEnd, EngineAPagesAreTheSameInEveryRgbForm) {
  const Image page = Patches(kPatchColours, 4, 16);
  tool::JobOptions job;
  job.method = "clustered";
  std::vector<std::vector<uint8_t>> first;
  for (int renderMode : {3, 1, 2}) {
    auto settings = tool::MakeColorSettings(job, set_, uint32_t(page.width));
    ASSERT_TRUE(settings.ok()) << settings.status().ToString();
    settings->halftone.renderMode = renderMode;
    auto matcher = ColorMatcher::Create(*settings, set_);
    ASSERT_TRUE(matcher.ok()) << matcher.status().ToString();
    auto halftoner = Halftoner::Create(*matcher, set_);
    ASSERT_TRUE(halftoner.ok()) << halftoner.status().ToString();
    std::vector<std::vector<uint8_t>> planes(halftoner->planes());
    Status s = RenderPage(
        *halftoner, {page.width, page.height, page.width, page.height},
        [&](int y, std::span<uint8_t> rgb) {
          std::copy_n(page.At(0, y), rgb.size(), rgb.begin());
          return Status::Ok();
        },
        [&](int, std::span<const std::span<const uint8_t>> rows) {
          for (size_t k = 0; k < rows.size(); ++k)
            planes[k].insert(planes[k].end(), rows[k].begin(), rows[k].end());
          return Status::Ok();
        });
    ASSERT_TRUE(s.ok()) << s.ToString();
    if (first.empty()) {
      first = planes;
    } else {
      EXPECT_EQ(planes, first) << "render mode " << renderMode;
    }
  }
}

}  // namespace
}  // namespace vantik::e2e
