// The simulated print under a measured print model: each pixel shows the
// model's colour of the overprints its dots make, planes map to the model's
// inks by name, and rows may arrive in any order.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "outputs.h"
#include "printmodel/print_model.h"

namespace vantik::tool {
namespace {

using printmodel::PrintModel;

// A 16 x 16 dot patch, one output pixel, planes given as a function of the
// dot position.
template <typename Dot>
std::vector<uint8_t> Simulate(const std::vector<std::string>& inks, Dot dot,
                              const std::vector<int>& rowOrder) {
  constexpr int kSize = 16;
  PrintSimulator sim(kSize, kSize, 1, 1, inks, &PrintModel::Default());
  for (int y : rowOrder) {
    std::vector<std::vector<uint8_t>> rows(inks.size(), std::vector<uint8_t>(kSize / 8, 0));
    for (size_t k = 0; k < inks.size(); ++k) {
      for (int x = 0; x < kSize; ++x) {
        if (dot(static_cast<int>(k), x, y)) rows[k][x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      }
    }
    std::vector<std::span<const uint8_t>> views(rows.begin(), rows.end());
    sim.Row(y, views);
  }
  return sim.Image();
}

std::vector<uint8_t> Expected(const std::array<double, 16>& fractions) {
  const PrintModel& model = PrintModel::Default();
  printmodel::SrgbEncoder encoder(model.paper());
  const printmodel::Xyz xyz = model.Mix(fractions);
  std::vector<uint8_t> rgb(3);
  encoder.Encode(&xyz, rgb.data(), 1);
  return rgb;
}

std::vector<int> InOrder() {
  std::vector<int> rows(16);
  std::iota(rows.begin(), rows.end(), 0);
  return rows;
}

TEST(PrintSimulatorModel, PixelsShowTheModelsColourOfTheirDots) {
  const std::vector<std::string> cmyk = {"cyan", "magenta", "yellow", "black"};
  // Cyan on every other column, magenta on every other row: a quarter of
  // the dots each alone, a quarter both.
  auto grid = [](int k, int x, int y) { return (k == 0 && x % 2 == 0) || (k == 1 && y % 2 == 0); };
  std::array<double, 16> quarters{};
  quarters[0] = quarters[1] = quarters[2] = quarters[3] = 0.25;
  std::vector<int> shuffled = InOrder();
  std::reverse(shuffled.begin(), shuffled.end());
  std::swap(shuffled[3], shuffled[9]);

  std::array<double, 16> blackHalf{};
  blackHalf[0] = blackHalf[8] = 0.5;
  std::array<double, 16> paper{};
  paper[0] = 1;
  std::array<double, 16> cyanBlack{};  // overprint of cyan (bit 0) and black (bit 3)
  cyanBlack[9] = 1;

  struct Case {
    const char* what;
    std::vector<uint8_t> got, want;
  } cases[] = {
      {"blank paper is white", Simulate(cmyk, [](int, int, int) { return false; }, InOrder()),
       {255, 255, 255}},
      {"cyan and magenta overlap", Simulate(cmyk, grid, InOrder()), Expected(quarters)},
      {"rows out of order", Simulate(cmyk, grid, shuffled), Expected(quarters)},
      // A gray job's single plane is the black ink, not the model's cyan.
      {"black-only plane", Simulate({"black"}, [](int, int x, int) { return x < 8; }, InOrder()),
       Expected(blackHalf)},
      {"paper within the model", Expected(paper), {255, 255, 255}},
      // Areas of one overprint take a pixel worked out once: it must be
      // the pixel the model mixes.
      {"solid overprint", Simulate(cmyk, [](int k, int, int) { return k == 0 || k == 3; }, InOrder()),
       Expected(cyanBlack)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  // The black-only half tint is a neutral gray.
  const std::vector<uint8_t> gray = Expected(blackHalf);
  EXPECT_LE(std::max({gray[0], gray[1], gray[2]}) - std::min({gray[0], gray[1], gray[2]}), 3);
}

// Under a model, pixels at most 127 dots wide count their dots packed as
// bytes, added up before a byte could overflow; the counts must be those of
// counting dot by dot.  Pixels of 1 to 127 dots across (a fifteen-dot word
// boundary inside them or not), boxes tall enough for the bytes to be added
// up in the middle of an output row, one to four planes, dense and sparse
// dots, rows out of order and a page stopped before its last rows.
TEST(PrintSimulatorModel, PackedCountsAreTheDotByDotCounts) {
  std::mt19937 rng(41);
  const std::vector<std::string> allInks = {"cyan", "magenta", "yellow", "black"};
  struct Case {
    int width, height, outWidth, outHeight;
  } cases[] = {
      {40, 20, 40, 20},    // one dot per pixel
      {150, 60, 10, 4},    // 15 dots across: one full nibble word
      {160, 90, 10, 2},    // 16 across, 45 rows a pixel: added up mid-row
      {301, 257, 7, 1},    // 43 across, 257 rows: added up many times
      {254, 40, 2, 3},     // 127 across, the widest packed pixel
      {256, 10, 2, 1},     // 128 across: counted dot by dot both ways
      {97, 33, 13, 5},     // uneven pixel widths and heights
  };
  for (const Case& c : cases) {
    for (size_t planes = 1; planes <= 4; ++planes) {
      const std::vector<std::string> inks(allInks.begin(), allInks.begin() + long(planes));
      const size_t stride = size_t(c.width + 7) / 8;
      const int density = static_cast<int>(rng() % 4);
      std::vector<std::vector<uint8_t>> page(planes, std::vector<uint8_t>(stride * size_t(c.height)));
      for (auto& p : page) {
        for (uint8_t& b : p) b = static_cast<uint8_t>(density == 0 ? rng() & rng() & rng() : rng());
      }
      std::vector<int> order(size_t(c.height));
      std::iota(order.begin(), order.end(), 0);
      if (planes % 2 == 0) std::shuffle(order.begin(), order.end(), rng);
      // Half the pages stop before their last rows.
      const size_t rows = planes == 3 ? order.size() * 2 / 3 : order.size();
      std::vector<uint8_t> images[2];
      for (int way = 0; way < 2; ++way) {
        PrintSimulator sim(c.width, c.height, c.outWidth, c.outHeight, inks, &PrintModel::Default());
        if (way == 1) sim.CountDotByDot();
        for (size_t i = 0; i < rows; ++i) {
          const int y = order[i];
          std::vector<std::span<const uint8_t>> views;
          for (auto& p : page) views.emplace_back(p.data() + stride * size_t(y), stride);
          sim.Row(y, views);
        }
        images[way] = sim.Image();
      }
      EXPECT_EQ(images[0], images[1]) << c.width << "x" << c.height << " into " << c.outWidth
                                      << "x" << c.outHeight << ", " << planes << " planes";
    }
  }
}

// At one pixel per dot every pixel shows its own dot's mix of planes:
// random planes, widths that end inside a byte, one to five planes (a fifth
// is ignored), with and without a model.  A one-dot page of each mix gives
// the colour a pixel must have.
TEST(PrintSimulator, EveryDotIsReadFromItsOwnBits) {
  std::mt19937 rng(88);
  const std::vector<std::string> allInks = {"cyan", "magenta", "yellow", "black", "cyan"};
  for (const PrintModel* model : {static_cast<const PrintModel*>(nullptr), &PrintModel::Default()}) {
    for (int trial = 0; trial < 12; ++trial) {
      const size_t planes = 1 + static_cast<size_t>(trial) % allInks.size();
      const std::vector<std::string> inks(allInks.begin(), allInks.begin() + static_cast<long>(planes));
      const int width = 1 + static_cast<int>(rng() % 70), height = 1 + static_cast<int>(rng() % 4);
      auto single = [&](int mix) {
        PrintSimulator one(1, 1, 1, 1, inks, model);
        std::vector<std::vector<uint8_t>> rows(planes, std::vector<uint8_t>(1, 0));
        for (size_t k = 0; k < planes; ++k) {
          if (mix & (1 << k)) rows[k][0] = 0x80;
        }
        std::vector<std::span<const uint8_t>> views(rows.begin(), rows.end());
        one.Row(0, views);
        return one.Image();
      };
      PrintSimulator sim(width, height, width, height, inks, model);
      std::vector<std::vector<uint8_t>> page(planes, std::vector<uint8_t>(size_t((width + 7) / 8) * height));
      for (auto& p : page) {
        for (uint8_t& b : p) b = static_cast<uint8_t>(rng());
      }
      const size_t stride = size_t((width + 7) / 8);
      for (int y = 0; y < height; ++y) {
        std::vector<std::span<const uint8_t>> views;
        for (auto& p : page) views.emplace_back(p.data() + stride * y, stride);
        sim.Row(y, views);
      }
      const std::vector<uint8_t> image = sim.Image();
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          int mix = 0;
          for (size_t k = 0; k < planes; ++k) {
            if (page[k][stride * y + x / 8] & (0x80 >> (x % 8))) mix |= 1 << k;
          }
          const std::vector<uint8_t> want = single(mix & 15);
          const uint8_t* got = &image[(size_t(y) * width + x) * 3];
          ASSERT_EQ(std::vector<uint8_t>(got, got + 3), want)
              << "trial " << trial << " dot " << x << "," << y << " mix " << mix;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vantik::tool
