// The screen printer: which overprint each share of a flat patch gets under
// engine A's dot rules, checked against the rules worked by hand and against
// what engine A itself prints for a table of one ink recipe.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "printmodel/gamut_map.h"
#include "printmodel/screen_printer.h"
#include "printmodel/table_builder.h"
#include "vantik/default_resources.h"

namespace vantik::printmodel {
namespace {

using Fractions = std::array<double, kOverprints>;
constexpr int C = 1, M = 2, Y = 4, K = 8;

struct RuleCase {
  const char* what;
  ScreenRule rule;
  int paramB;
  Inks ink;
  std::vector<std::pair<int, double>> expected;  // overprint, share; the rest 0
};

TEST(ScreenPrinter, SharesFollowEachScreensDotRule) {
  const RuleCase cases[] = {
      // Colours are read beyond black: black 0.5, cyan prints on (0.5, 0.7],
      // magenta on (0.5, 0.6], dot on dot.
      {"black first", ScreenRule::kBlackFirst, 765, {0.2, 0.1, 0, 0.5}, {{K, 0.5}, {C | M, 0.1}, {C, 0.1}, {0, 0.3}}},
      {"black first, all colours", ScreenRule::kBlackFirst, 765, {0.4, 0.2, 0.3, 0},
       {{C | M | Y, 0.2}, {C | Y, 0.1}, {C, 0.1}, {0, 0.6}}},
      // Colours beyond what black leaves are cut at the top of the range.
      {"black first, full", ScreenRule::kBlackFirst, 765, {1, 0, 0, 0.7}, {{K, 0.7}, {C, 0.3}}},
      // Photo paper's level table never limits: as black first.
      {"ink limited, no limit", ScreenRule::kBlackFirstInkLimited, 765, {0.2, 0.1, 0, 0.5},
       {{K, 0.5}, {C | M, 0.1}, {C, 0.1}, {0, 0.3}}},
      // Plain paper's level table lets 221 of 255 ink-limit thresholds
      // print three solid colours.
      {"ink limited, three solids", ScreenRule::kBlackFirstInkLimited, 663, {1, 1, 1, 0},
       {{C | M | Y, 221.0 / 255}, {0, 34.0 / 255}}},
      // Stacked: black, cyan, magenta side by side; yellow from the top.
      {"stacked", ScreenRule::kStacked, 765, {0.3, 0.2, 0.5, 0.1},
       {{K, 0.1}, {C, 0.3}, {M, 0.1}, {M | Y, 0.1}, {Y, 0.4}}},
      // Cyan and magenta overlap by what their sum exceeds one solid ink.
      {"stacked overlap", ScreenRule::kStacked, 765, {0.8, 0.6, 0, 0},
       {{C | M, (0.8 * 255 + 0.6 * 255 - 256) / 255}, {C, (256 - 0.6 * 255) / 255}, {M, (256 - 0.8 * 255) / 255}}},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ScreenPrinter printer(PrintModel::Default(), c.rule, 255, c.paramB);
    const Fractions got = printer.Fractions(c.ink);
    Fractions want{};
    for (const auto& [m, share] : c.expected) want[static_cast<size_t>(m)] = share;
    double total = 0;
    for (int m = 0; m < kOverprints; ++m) {
      EXPECT_NEAR(got[static_cast<size_t>(m)], want[static_cast<size_t>(m)], 0.005) << "overprint " << m;
      total += got[static_cast<size_t>(m)];
    }
    EXPECT_NEAR(total, 1.0, 1e-9);
  }
}

TEST(ScreenPrinter, StoredInksAddBlackOnTheBlackFirstScreens) {
  const ScreenPrinter first(PrintModel::Default(), ScreenRule::kBlackFirst);
  const Inks stored = first.Stored({0.2, 0.6, 0, 0.5});
  EXPECT_DOUBLE_EQ(stored[0], 0.7);
  EXPECT_DOUBLE_EQ(stored[1], 1.0);  // capped at a solid
  EXPECT_DOUBLE_EQ(stored[2], 0.5);  // no colour: the same as black, prints none
  EXPECT_DOUBLE_EQ(stored[3], 0.5);
  const ScreenPrinter stacked(PrintModel::Default(), ScreenRule::kStacked);
  const Inks same = stacked.Stored({0.2, 0.6, 0, 0.5});
  EXPECT_DOUBLE_EQ(same[0], 0.2);
  EXPECT_DOUBLE_EQ(same[1], 0.6);
}

// A screen table's gamut mapping aims at what the screen prints: its
// darkest colour is solid black alone (no colour ever prints under black),
// far lighter than the rich black of independent dots, so the darkest
// grays are spread over the screen's own shadows instead of landing below
// them and clipping to solid black.
TEST(ScreenPrinter, GamutMapAimsAtTheScreensOwnBlack) {
  const PrintModel& model = PrintModel::Default();
  const double richBlack = GamutMap(model, 2.6).blackL();
  for (ScreenRule rule : {ScreenRule::kBlackFirst, ScreenRule::kBlackFirstInkLimited, ScreenRule::kStacked}) {
    SCOPED_TRACE(static_cast<int>(rule));
    const ScreenPrinter printer(model, rule, 255, 663);
    const double solidBlack = printer.Print({0, 0, 0, 1}).l;
    const GamutMap gamut(printer, 2.6);
    EXPECT_NEAR(gamut.blackL(), solidBlack, 0.5);
    EXPECT_GT(gamut.blackL(), richBlack + 5);
    double last = 0;
    for (int l = 0; l <= 40; l += 2) {
      const double mapped = gamut.Map({double(l), 0, 0}).l;
      EXPECT_GE(mapped, solidBlack - 0.5) << "L* " << l;
      EXPECT_GT(mapped, last) << "L* " << l;
      last = mapped;
    }
  }
}

// Prints a flat patch through engine A with every node of the screen's
// colour table set to `ink` (as the table stores it) and returns the share
// of each overprint among the dots.
Fractions PrintedShares(int selector, int table, const Inks& stored) {
  ResourceSet set;
  for (const resources::Block& b : resources::Defaults()) set.AddView(b.service, b.number, b.bytes);
  const auto base = set.Find(Service::kColor, table);
  EXPECT_TRUE(base.has_value());
  if (!base) return {};
  const std::vector<uint8_t> baseBytes(base->begin(), base->end());
  Result<std::vector<uint8_t>> positions = RebuildablePositions(baseBytes);
  EXPECT_TRUE(positions.ok());
  if (!positions.ok()) return {};
  const size_t n = positions->size();
  BuiltNode node;
  node.ink = stored;
  const std::vector<BuiltNode> nodes(n * n * n, node);
  Result<std::vector<uint8_t>> block = WriteBuiltTable(baseBytes, nodes);
  EXPECT_TRUE(block.ok());
  if (!block.ok()) return {};
  set.Add(Service::kColor, table, std::move(*block));

  constexpr int kSide = 256;
  ColorSettings cs;
  cs.halftone.kind = 2;
  cs.halftone.xResolution = 720;
  cs.halftone.yResolution = 720;
  cs.halftone.renderMode = 3;
  cs.halftone.lutMode = 1;
  cs.halftone.lineWidth = kSide;
  cs.inks = InkSet::kColor;
  cs.paper = resources::kPaperPlain;
  cs.selector = selector;
  Result<ColorMatcher> matcher = ColorMatcher::Create(cs, set);
  EXPECT_TRUE(matcher.ok());
  if (!matcher.ok()) return {};
  Result<Halftoner> halftoner = Halftoner::Create(*matcher, set);
  EXPECT_TRUE(halftoner.ok());
  if (!halftoner.ok()) return {};
  std::array<double, kOverprints> counts{};
  auto source = [&](int, std::span<uint8_t> rgb) {
    for (size_t i = 0; i < rgb.size(); i += 3) rgb[i] = 200, rgb[i + 1] = 120, rgb[i + 2] = 60;
    return Status::Ok();
  };
  auto sink = [&](int, std::span<const std::span<const uint8_t>> planes) {
    for (int x = 0; x < kSide; ++x) {
      int m = 0;
      for (int k = 0; k < kInks; ++k)
        if (planes[static_cast<size_t>(k)][static_cast<size_t>(x) >> 3] & (0x80 >> (x & 7))) m |= 1 << k;
      ++counts[static_cast<size_t>(m)];
    }
    return Status::Ok();
  };
  const Status s = RenderPage(*halftoner, PageGeometry{kSide, kSide, kSide, kSide}, source, sink);
  EXPECT_TRUE(s.ok()) << s.message();
  for (double& c : counts) c /= kSide * kSide;
  return counts;
}

TEST(ScreenPrinter, AgreesWithWhatEngineAPrints) {
  struct EngineCase {
    const char* what;
    int selector, table;
    ScreenRule rule;
    Inks ink;
  };
  // Plain paper's tables: the ink-limited screen's level table limits there.
  const EngineCase cases[] = {
      {"blue noise, ink limited", resources::kSelectorBlueNoise, 3, ScreenRule::kBlackFirstInkLimited,
       {0.5, 0.3, 0.2, 0.25}},
      {"blue noise, three heavy colours", resources::kSelectorBlueNoise, 3, ScreenRule::kBlackFirstInkLimited,
       {0.9, 0.8, 0.9, 0}},
      {"clustered", resources::kSelectorClustered, 17, ScreenRule::kBlackFirst, {0.4, 0.1, 0.3, 0.3}},
      {"stacked", resources::kSelectorStacked, 7, ScreenRule::kStacked, {0.3, 0.4, 0.6, 0.2}},
      {"stacked, cut at the top", resources::kSelectorStacked, 7, ScreenRule::kStacked, {0.7, 0.6, 0.2, 0.3}},
  };
  for (const EngineCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ScreenPrinter printer(PrintModel::Default(), c.rule, 255, 663);
    const Fractions want = printer.Fractions(c.ink);
    const Fractions got = PrintedShares(c.selector, c.table, printer.Stored(c.ink));
    for (int m = 0; m < kOverprints; ++m)
      EXPECT_NEAR(got[static_cast<size_t>(m)], want[static_cast<size_t>(m)], 0.02) << "overprint " << m;
  }
}

}  // namespace
}  // namespace vantik::printmodel
