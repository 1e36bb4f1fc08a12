// Pages rendered on several threads against the same pages on one: every
// method, resolution and ink on the default resources, and random pages
// (random sizes, scaling both ways, placed images cut by the page edge).
// The planes must be the same bits, and the source and the sink must see
// their rows in order, each once.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace vantik {
namespace {

struct Source {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

struct Planes {
  std::vector<std::vector<uint8_t>> planes;  // one per plane, rows packed
  PageStageTimes times;
};

Result<Planes> RenderWith(const tool::JobOptions& job, const ResourceSet& set,
                          const PageGeometry& g, const Source& src, int threads) {
  Result<ColorSettings> cs = tool::MakeColorSettings(job, set, static_cast<uint32_t>(g.width));
  if (!cs.ok()) return cs.status();
  Result<ColorMatcher> matcher = ColorMatcher::Create(*cs, set);
  if (!matcher.ok()) return matcher.status();
  Result<Halftoner> halftoner = Halftoner::Create(*matcher, set);
  if (!halftoner.ok()) return halftoner.status();
  Planes out;
  out.planes.resize(static_cast<size_t>(halftoner->planes()));
  int nextRow = 0, nextLine = 0, progressed = 0;
  RowSource source = [&](int y, std::span<uint8_t> rgb) {
    EXPECT_EQ(y, nextRow++);
    EXPECT_EQ(rgb.size(), size_t(src.width) * 3);
    std::copy_n(&src.rgb[size_t(y) * src.width * 3], rgb.size(), rgb.begin());
    return Status::Ok();
  };
  PlaneSink sink = [&](int y, std::span<const std::span<const uint8_t>> rows) {
    EXPECT_EQ(y, nextLine++);
    for (size_t k = 0; k < rows.size(); ++k) {
      out.planes[k].insert(out.planes[k].end(), rows[k].begin(), rows[k].end());
    }
    return Status::Ok();
  };
  Progress progress = [&](int done, int total) {
    EXPECT_EQ(done, ++progressed);
    EXPECT_EQ(total, g.height);
  };
  PageOptions options;
  options.threads = threads;
  options.times = &out.times;
  Status s = RenderPage(*halftoner, g, source, sink, progress, options);
  if (!s.ok()) return s;
  EXPECT_EQ(nextRow, g.sourceHeight);
  EXPECT_EQ(nextLine, g.height);
  return out;
}

// Smooth colour fields with noise, a white band and a few flat patches, so
// that white runs, level-0 inks and neighbouring grid nodes all come up.
Source MakeSource(int w, int h, std::mt19937& rng) {
  Source s{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
  const int noise = static_cast<int>(rng() % 40);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &s.rgb[(size_t(y) * w + x) * 3];
      if (y % 37 < 5) {
        p[0] = p[1] = p[2] = 255;
        continue;
      }
      const int base[3] = {x * 255 / std::max(1, w - 1), y * 255 / std::max(1, h - 1),
                           (x + y) * 255 / std::max(1, w + h - 2)};
      for (int c = 0; c < 3; ++c) {
        const int n = noise ? static_cast<int>(rng() % (2 * noise + 1)) - noise : 0;
        p[c] = static_cast<uint8_t>(std::clamp(base[c] + n, 0, 255));
      }
      if (x % 50 < 6) p[0] = p[1] = p[2] = 0;
    }
  }
  return s;
}

TEST(PageThreads, EveryMethodResolutionAndInkGivesTheSameBits) {
  const ResourceSet set = e2e::DefaultResources();
  std::mt19937 rng(1414);
  const Source src = MakeSource(90, 170, rng);
  // 150 dots across: 64-line batches, so 400 lines pass through more
  // batches than the pool holds.
  const PageGeometry g{90, 170, 150, 400};
  const char* methods[] = {"diffusion", "hybrid",    "dither", "eight",
                           "ordered",   "clustered", "stacked"};
  const tool::Resolution resolutions[] = {{360, 360}, {720, 720}, {1440, 720}, {720, 1440}};
  for (const char* method : methods) {
    for (const tool::Resolution& r : resolutions) {
      for (bool black : {false, true}) {
        tool::JobOptions job;
        job.method = method;
        job.resolution = r;
        job.blackOnly = black;
        const std::string what = std::string(method) + " " + std::to_string(r.x) + "x" +
                                 std::to_string(r.y) + (black ? " black" : " colour");
        Result<Planes> one = RenderWith(job, set, g, src, 1);
        ASSERT_TRUE(one.ok()) << what << ": " << one.status().ToString();
        EXPECT_EQ(one->times.threads, 1);
        for (int threads : {2, 3}) {
          Result<Planes> many = RenderWith(job, set, g, src, threads);
          ASSERT_TRUE(many.ok()) << what << ": " << many.status().ToString();
          EXPECT_GT(many->times.threads, 1);
          ASSERT_EQ(many->planes, one->planes) << what << ", " << threads << " threads";
        }
      }
    }
  }
}

// Pages wide enough that the second of two lines halftoned at once runs
// well behind the first rather than waiting for its end, and that a line's
// front end and its diffusion overlap: the four-ink diffusion method at
// every resolution (each diffusion kernel family), a batch boundary every
// few lines.
TEST(PageThreads, LinesTakenInStepGiveTheSameBits) {
  const ResourceSet set = e2e::DefaultResources();
  std::mt19937 rng(2114);
  const Source src = MakeSource(300, 40, rng);
  const PageGeometry g{300, 40, 1800, 45};
  const tool::Resolution resolutions[] = {{360, 360}, {720, 720}, {1440, 720}, {720, 1440}};
  for (const tool::Resolution& r : resolutions) {
    tool::JobOptions job;
    job.method = "diffusion";
    job.resolution = r;
    const std::string what = std::to_string(r.x) + "x" + std::to_string(r.y);
    Result<Planes> one = RenderWith(job, set, g, src, 1);
    ASSERT_TRUE(one.ok()) << what << ": " << one.status().ToString();
    for (int threads : {2, 3, 4}) {
      Result<Planes> many = RenderWith(job, set, g, src, threads);
      ASSERT_TRUE(many.ok()) << what << ": " << many.status().ToString();
      // Two threads: the lines' front ends on a stage of their own; three
      // or more: two lines at once.  Either way four threads.
      EXPECT_EQ(many->times.threads, 4) << what;
      ASSERT_EQ(many->planes, one->planes) << what << ", " << threads << " threads";
    }
  }
}

TEST(PageThreads, RandomPagesGiveTheSameBits) {
  const ResourceSet set = e2e::DefaultResources();
  std::mt19937 rng(20261210);
  const char* methods[] = {"diffusion", "hybrid", "dither", "eight", "ordered", "clustered",
                           "stacked"};
  const tool::Resolution resolutions[] = {{360, 360}, {720, 720}, {1440, 720}, {720, 1440}};
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int trial = 0; trial < 24; ++trial) {
    const Source src = MakeSource(pick(1, 160), pick(1, 200), rng);
    PageGeometry g{src.width, src.height, pick(1, 400), pick(1, 600)};
    if (trial % 3 != 0) {
      // A placed image, sometimes hanging over an edge of the page.
      g.placedWidth = pick(1, 2 * g.width);
      g.placedHeight = pick(1, 2 * g.height);
      g.left = pick(-g.placedWidth / 2, g.width);
      g.top = pick(-g.placedHeight / 2, g.height);
    }
    tool::JobOptions job;
    job.method = methods[pick(0, 6)];
    job.resolution = resolutions[pick(0, 3)];
    job.blackOnly = pick(0, 3) == 0;
    const std::string what = "trial " + std::to_string(trial) + " " + job.method;
    Result<Planes> one = RenderWith(job, set, g, src, 1);
    ASSERT_TRUE(one.ok()) << what << ": " << one.status().ToString();
    Result<Planes> many = RenderWith(job, set, g, src, pick(2, 4));
    ASSERT_TRUE(many.ok()) << what << ": " << many.status().ToString();
    ASSERT_EQ(many->planes, one->planes) << what;
  }
}

// A placed image at one pixel per dot is the same page as that image pasted
// by hand into white paper, wherever it sits, cut edges included.
TEST(PageThreads, PlacedImageMatchesTheImagePastedOntoPaper) {
  const ResourceSet set = e2e::DefaultResources();
  std::mt19937 rng(7);
  const Source src = MakeSource(40, 30, rng);
  struct Case {
    int left, top;
  } cases[] = {{0, 0}, {25, 11}, {-13, 5}, {70, -9}, {90, 60}, {-40, 0}};
  for (const Case& c : cases) {
    const int W = 100, H = 70;
    Source paper{W, H, std::vector<uint8_t>(size_t(W) * H * 3, 255)};
    for (int y = 0; y < src.height; ++y) {
      for (int x = 0; x < src.width; ++x) {
        const int px = c.left + x, py = c.top + y;
        if (px < 0 || py < 0 || px >= W || py >= H) continue;
        std::copy_n(&src.rgb[(size_t(y) * src.width + x) * 3], 3,
                    &paper.rgb[(size_t(py) * W + px) * 3]);
      }
    }
    tool::JobOptions job;
    PageGeometry placed{src.width, src.height, W, H, c.left, c.top, src.width, src.height};
    Result<Planes> a = RenderWith(job, set, placed, src, 2);
    Result<Planes> b = RenderWith(job, set, {W, H, W, H}, paper, 1);
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ(a->planes, b->planes) << "at " << c.left << ", " << c.top;
  }
}

}  // namespace
}  // namespace vantik
