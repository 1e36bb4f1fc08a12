// The quality report's measuring tools on inputs whose answers are known:
// power spectra of white noise and stripes, Delta E 2000 on published test
// pairs, the model's colour of counted overprints, the textbook
// halftoners' ink coverage, the printed lightness of dot patterns, and the
// tint search along a ramp.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "printmodel/screen_printer.h"
#include "quality/measure.h"
#include "quality/reference_halftone.h"
#include "quality/texture.h"

namespace vantik::tool::quality {
namespace {

constexpr int kTile = 128;

std::vector<float> WhiteNoise(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<float> img(static_cast<size_t>(w) * h);
  for (float& v : img) v = static_cast<float>(rng() & 1);
  return img;
}

// Vertical stripes: `period` columns, the first half of each inked.
std::vector<float> Stripes(int w, int h, int period) {
  std::vector<float> img(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img[static_cast<size_t>(y) * w + x] = (x % period) < period / 2;
  return img;
}

TEST(PowerSpectrum, WhiteNoiseIsFlatAndSplitsPowerByArea) {
  const int w = 4 * kTile, h = 4 * kTile;
  const Texture t = MeasureTexture(WhiteNoise(w, h, 7), w, h, kTile, 1.0 / 16);
  EXPECT_EQ(t.spectrum.tiles, 16);
  EXPECT_NEAR(t.spectrum.variance, 0.25, 0.01);
  // Power is spread evenly over the unit square of frequencies, so the share
  // below a radius is the area of that disc.
  const double disc = std::numbers::pi / 256;
  EXPECT_NEAR(t.lowShare, disc, disc * 0.25);
  // Every ring's mean power is the variance over the tile's frequencies.
  const double flat = t.spectrum.variance / (double(kTile) * kTile);
  for (size_t r = 4; r < t.spectrum.power.size(); r += 8) {
    EXPECT_NEAR(t.spectrum.power[r], flat, flat * 0.35) << "ring " << r;
  }
}

TEST(PowerSpectrum, StripesPutTheirPowerAtTheirFrequency) {
  const int w = 2 * kTile, h = kTile;
  const Texture t = MeasureTexture(Stripes(w, h, 8), w, h, kTile, 1.0 / 16);
  EXPECT_EQ(t.spectrum.tiles, 2);
  EXPECT_NEAR(t.spectrum.variance, 0.25, 1e-9);
  EXPECT_NEAR(t.lowShare, 0, 1e-12);
  // A square wave keeps most of its power in the fundamental (1/8 cycles per
  // dot: ring kTile / 8), the rest in odd harmonics.
  const double fundamental = t.spectrum.energy[kTile / 8];
  EXPECT_GT(fundamental / t.spectrum.variance, 0.8);
  EXPECT_NEAR(t.spectrum.energy[kTile / 8 + 1], 0, 1e-12);
  // Everything is below a cutoff above the highest harmonic.
  EXPECT_NEAR(MeasureTexture(Stripes(w, h, 8), w, h, kTile, 1.0).lowShare, 1, 1e-9);
}

TEST(PowerSpectrum, FlatOrTooSmallImagesHaveNoTexture) {
  const std::vector<float> flat(static_cast<size_t>(kTile) * kTile, 1.0f);
  const Texture t = MeasureTexture(flat, kTile, kTile, kTile, 0.1);
  EXPECT_EQ(t.spectrum.variance, 0);
  EXPECT_EQ(t.lowShare, 0);
  const std::vector<float> small(100, 0.5f);
  EXPECT_EQ(MeasureTexture(small, 10, 10, kTile, 0.1).spectrum.tiles, 0);
  EXPECT_EQ(MeasureTexture(small, 100, 100, kTile, 0.1).spectrum.tiles, 0)
      << "an image with fewer values than it claims is not read";
}

// Test pairs published with the CIEDE2000 formula's implementation notes.
TEST(DeltaE2000, PublishedPairs) {
  struct Pair {
    pm::Lab a, b;
    double expected;
  };
  const Pair pairs[] = {
      {{50, 2.6772, -79.7751}, {50, 0, -82.7485}, 2.0425},
      {{50, 0, 0}, {50, -1, 2}, 2.3669},
      {{50, 2.49, -0.001}, {50, -2.49, 0.0009}, 7.1792},
      {{50, 2.5, 0}, {73, 25, -18}, 27.1492},
      {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
      {{2.0776, 0.0795, -1.1350}, {0.9033, -0.0636, -0.5514}, 0.9082},
  };
  for (const Pair& p : pairs) {
    EXPECT_NEAR(pm::DeltaE2000(p.a, p.b), p.expected, 1e-4);
    EXPECT_NEAR(pm::DeltaE2000(p.b, p.a), p.expected, 1e-4);
  }
}

TEST(PatchColour, CountsBecomeTheModelsMediaRelativeColour) {
  const pm::PrintModel& model = pm::PrintModel::Default();
  std::array<uint32_t, pm::kOverprints> paper{};
  paper[0] = 100;
  const pm::Lab white = PrintedLab(model, paper);
  EXPECT_NEAR(white.l, 100, 1e-6);
  EXPECT_NEAR(white.a, 0, 1e-6);
  EXPECT_NEAR(white.b, 0, 1e-6);
  // Solid cyan counted dot by dot is the model's solid cyan.
  std::array<uint32_t, pm::kOverprints> cyan{};
  cyan[1 << pm::kCyan] = 64;
  const pm::Lab counted = PrintedLab(model, cyan);
  const pm::Lab tint = TintLab(model, {1, 0, 0, 0});
  EXPECT_NEAR(pm::DeltaE2000(counted, tint), 0, 1e-6);
  EXPECT_LT(counted.a, -20);
  // Half the dots cyan, a quarter of them also black.
  std::array<uint32_t, pm::kOverprints> mix{};
  mix[0] = 50;
  mix[1 << pm::kCyan] = 25;
  mix[(1 << pm::kCyan) | (1 << pm::kBlack)] = 25;
  const auto c = Coverage(mix);
  EXPECT_DOUBLE_EQ(c[pm::kCyan], 0.5);
  EXPECT_DOUBLE_EQ(c[pm::kBlack], 0.25);
  EXPECT_DOUBLE_EQ(c[pm::kMagenta], 0);

  const pm::Lab srgbWhite = SourceLab(255, 255, 255), srgbBlack = SourceLab(0, 0, 0);
  EXPECT_NEAR(srgbWhite.l, 100, 0.01);
  EXPECT_NEAR(srgbWhite.a, 0, 0.01);
  EXPECT_NEAR(srgbBlack.l, 0, 0.01);
  // Paper white is in the gamut; pure sRGB blue is far outside a press's.
  EXPECT_LT(GamutDistance(model, srgbWhite, 2.6), 0.01);
  EXPECT_GT(GamutDistance(model, SourceLab(0, 0, 255), 2.6), 5);
  // A colour only more ink than the paper takes can print is out of its
  // gamut: the deep blue of solid cyan and magenta with half black (250 %
  // of ink) is in reach of a paper that takes 260 % and out of reach of one
  // that takes 160 %.
  const pm::Lab deepBlue = TintLab(model, {1, 1, 0, 0.5});
  EXPECT_LT(GamutDistance(model, deepBlue, 2.6), 0.5);
  EXPECT_GT(GamutDistance(model, deepBlue, 1.6), 1.0);
}

// Engine A's screens are judged against what their own dot rule prints.
// A gray darker than solid black alone is within reach of independent dots
// (colour under black) and out of the screens' reach (black never carries
// colour); cyan and yellow laid dot on dot beside bare paper is the
// reverse; and what a screen prints, off the search grid, is inside its
// own gamut.
TEST(GamutDistance, JudgesEachPrinterByWhatItsDotsCanPrint) {
  const pm::PrintModel& model = pm::PrintModel::Default();
  const pm::ModelPrinter independent(model);
  const pm::ScreenPrinter blackFirst(model, pm::ScreenRule::kBlackFirst);
  const pm::ScreenPrinter inkLimited(model, pm::ScreenRule::kBlackFirstInkLimited, 255, 663);
  const pm::ScreenPrinter stacked(model, pm::ScreenRule::kStacked);
  const struct {
    const char* what;
    pm::Lab target;
    const pm::Printer* printer;
    bool inside;
  } cases[] = {
      {"gray 35, independent dots", SourceLab(35, 35, 35), &independent, true},
      {"gray 35, black first", SourceLab(35, 35, 35), &blackFirst, false},
      {"gray 35, ink-limited", SourceLab(35, 35, 35), &inkLimited, false},
      {"gray 35, stacked", SourceLab(35, 35, 35), &stacked, false},
      {"green dot on dot, black first", blackFirst.Print({0.5, 0, 0.5, 0}), &blackFirst, true},
      {"green dot on dot, independent dots", blackFirst.Print({0.5, 0, 0.5, 0}), &independent, false},
      {"ink-limited print", inkLimited.Print({0.31, 0.17, 0.09, 0.43}), &inkLimited, true},
      {"stacked print", stacked.Print({0.23, 0.37, 0.61, 0.11}), &stacked, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const double d = GamutDistance(*c.printer, c.target, 2.6);
    if (c.inside) {
      EXPECT_LT(d, 0.3);
    } else {
      EXPECT_GT(d, 1.0);
    }
  }
  // The independent-dot printer measures as the model's flat tints do.
  const pm::Lab deepBlue = TintLab(model, {1, 1, 0, 0.5});
  EXPECT_NEAR(GamutDistance(independent, deepBlue, 1.6), GamutDistance(model, deepBlue, 1.6), 0.05);
}

TEST(ReferenceHalftones, KeepTheInkCoverage) {
  const int side = 256;
  for (double level : {0.0, 0.02, 0.21, 0.5, 0.77, 0.98, 1.0}) {
    const std::vector<float> flat(static_cast<size_t>(side) * side, static_cast<float>(level));
    for (const auto& [name, dots] : {std::pair{"Floyd-Steinberg", FloydSteinberg(flat, side, side)},
                                     std::pair{"Bayer", BayerDither(flat, side, side)}}) {
      double sum = 0;
      for (uint8_t d : dots) {
        ASSERT_LE(d, 1);
        sum += d;
      }
      EXPECT_NEAR(sum / flat.size(), level, 0.5 / side) << name << " at " << level;
    }
  }
  // Each Bayer tile holds every threshold once: k/256 sets exactly k dots.
  const std::vector<float> flat(256, 37.0f / 256);
  const std::vector<uint8_t> tile = BayerDither(flat, 16, 16);
  int dots = 0;
  for (uint8_t d : tile) dots += d;
  EXPECT_EQ(dots, 37);
}

// Each dot's printed lightness is the paper-relative luminance of the
// overprint its inks make, read from the rectangle asked for.
TEST(DotLuminance, IsThePaperRelativeLuminanceOfEachDotsOverprint) {
  const pm::PrintModel& model = pm::PrintModel::Default();
  constexpr int kC = 1 << pm::kCyan, kK = 1 << pm::kBlack;
  const int overprints[] = {0, kC, kC | kK, kK, pm::kOverprints - 1};
  Dots d;
  d.width = static_cast<int>(std::size(overprints));
  d.height = 2;
  for (auto& plane : d.ink) plane.assign(static_cast<size_t>(d.width) * d.height, 0);
  for (int x = 0; x < d.width; ++x) {
    for (int k = 0; k < pm::kInks; ++k) {
      d.ink[static_cast<size_t>(k)][static_cast<size_t>(d.width + x)] = (overprints[x] >> k) & 1;
    }
  }
  // The second row, less its first dot.
  const std::vector<float> y = DotLuminance(model, d, {1, 1, d.width, 2});
  ASSERT_EQ(y.size(), static_cast<size_t>(d.width - 1));
  for (int x = 1; x < d.width; ++x) {
    EXPECT_NEAR(y[static_cast<size_t>(x - 1)], model.overprint(overprints[x]).y / model.paper().y, 1e-6)
        << "overprint " << overprints[x];
  }
  EXPECT_EQ(DotLuminance(model, d, {0, 0, 1, 1}), std::vector<float>{1.0f});
  // Cyan over black is darker than either alone.
  EXPECT_LT(y[1], std::min(y[0], y[2]));
}

// Cyan as an even checkerboard with black dots gathered in 32-dot bands:
// the cyan plane alone has no low-frequency texture, the printed lightness
// has plenty, and moving the black dots into the same fine pattern as the
// cyan takes it away.
TEST(DotLuminance, ShowsTextureTheCyanPlaneAloneHides) {
  const pm::PrintModel& model = pm::PrintModel::Default();
  const int side = 2 * kTile;
  auto page = [&](bool banded) {
    Dots d;
    d.width = d.height = side;
    for (auto& plane : d.ink) plane.assign(static_cast<size_t>(side) * side, 0);
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const size_t i = static_cast<size_t>(y) * side + x;
        d.ink[pm::kCyan][i] = (x + y) % 2;
        // A quarter of the dots black either way.
        d.ink[pm::kBlack][i] = banded ? (x % 64 < 32 && (x + y) % 2 == 0) : (x % 2 == 0 && y % 2 == 0);
      }
    }
    return d;
  };
  const Rect all{0, 0, side, side};
  auto floats = [](const std::vector<uint8_t>& plane) { return std::vector<float>(plane.begin(), plane.end()); };
  const Dots banded = page(true), fine = page(false);
  const Texture cyan = MeasureTexture(floats(banded.ink[pm::kCyan]), side, side, kTile, 1.0 / 16);
  const Texture lightBanded = MeasureTexture(DotLuminance(model, banded, all), side, side, kTile, 1.0 / 16);
  const Texture lightFine = MeasureTexture(DotLuminance(model, fine, all), side, side, kTile, 1.0 / 16);
  EXPECT_NEAR(cyan.lowEnergy, 0, 1e-12);
  EXPECT_GT(lightBanded.lowEnergy, 1e-3);
  EXPECT_NEAR(lightFine.lowEnergy, 0, 1e-12);
  // Energy is the low power itself; the share is that over the variance.
  EXPECT_NEAR(lightBanded.lowShare, lightBanded.lowEnergy / lightBanded.spectrum.variance, 1e-12);
}

// The tint search keeps to the rising part of a ramp: a coverage met both
// on the way up and on the way down (cyan giving way to black) is taken
// from the way up.
TEST(NearestRisingStep, SearchesUpToTheRampsPeakOnly) {
  // Up to a peak of 0.9375 at step 5, then down again past values nearer
  // the targets than any on the way up.
  const std::vector<double> ramp = {0, 0.25, 0.5, 0.75, 0.875, 0.9375, 0.9375, 0.8125, 0.625, 0.4375, 0.1875, 0};
  const struct {
    double target;
    size_t step;
  } cases[] = {
      {0.0, 0},    {0.125, 0},  // equally near 0 and 0.25: the earlier
      {0.1875, 1}, {0.4375, 2}, {0.625, 2}, {0.8125, 3},
      {0.9375, 5},  // the first step at the peak
      {0.99, 5},    // beyond the peak: the peak, not reached
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NearestRisingStep(ramp, c.target), c.step) << "target " << c.target;
  }
  EXPECT_EQ(NearestRisingStep({}, 0.5), 0u);
  const std::vector<double> falling = {0.6, 0.4, 0.2};
  EXPECT_EQ(NearestRisingStep(falling, 0.2), 0u);
}

}  // namespace
}  // namespace vantik::tool::quality
