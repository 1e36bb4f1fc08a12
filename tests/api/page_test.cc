// Whole pages: rows stream through scaling and halftoning in order, each
// source row is read once, and every output line reaches the sink.
#include <gtest/gtest.h>
#include <signal.h>

#include <stdexcept>

#include "common/tiny_resources.h"
#include "vantik/vantik.hpp"

namespace vantik {
namespace {

class PageTest : public ::testing::Test {
 protected:
  // Colour matcher and engine B halftoner for `width` dots.
  bool Make(int width) {
    ColorSettings s;
    s.paper = 8;
    s.halftone.lineWidth = static_cast<uint32_t>(width);
    auto m = ColorMatcher::Create(s, set_);
    EXPECT_TRUE(m.ok()) << m.status().ToString();
    if (!m.ok()) return false;
    matcher_.emplace(std::move(*m));
    auto h = Halftoner::Create(*matcher_, set_);
    EXPECT_TRUE(h.ok()) << h.status().ToString();
    if (!h.ok()) return false;
    halftoner_.emplace(std::move(*h));
    return true;
  }
  ResourceSet set_ = testing::TinyResources();
  std::optional<ColorMatcher> matcher_;
  std::optional<Halftoner> halftoner_;
};

TEST_F(PageTest, ScalesStreamsAndReportsProgress) {
  ASSERT_TRUE(Make(40));
  // 3 x 2 source: left column black, the rest white; scaled to 40 x 30.
  std::vector<int> asked;
  RowSource source = [&](int y, std::span<uint8_t> rgb) {
    asked.push_back(y);
    EXPECT_EQ(rgb.size(), 9u);
    for (int x = 0; x < 3; ++x) std::fill_n(&rgb[x * 3], 3, x == 0 ? 0 : 255);
    return Status::Ok();
  };
  std::vector<int> lines;
  int darkLeft = 0, darkRight = 0;
  PlaneSink sink = [&](int y, std::span<const std::span<const uint8_t>> planes) {
    lines.push_back(y);
    EXPECT_EQ(planes.size(), 4u);
    EXPECT_EQ(planes[3].size(), 5u);
    for (int x = 0; x < 40; ++x) {
      bool dot = planes[3][x >> 3] & (0x80 >> (x & 7));
      (x < 8 ? darkLeft : darkRight) += x >= 8 && x < 27 ? 0 : dot;
    }
    return Status::Ok();
  };
  std::vector<std::pair<int, int>> progress;
  PageGeometry g{3, 2, 40, 30};
  Status s = RenderPage(*halftoner_, g, source, sink,
                        [&](int done, int total) { progress.emplace_back(done, total); });
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_EQ(asked, (std::vector<int>{0, 1}));
  ASSERT_EQ(lines.size(), 30u);
  for (int y = 0; y < 30; ++y) EXPECT_EQ(lines[y], y);
  EXPECT_EQ(progress.back(), std::make_pair(30, 30));
  EXPECT_EQ(progress.size(), 30u);
  // Black sits only under the black source column (black ink at black only).
  EXPECT_GT(darkLeft, 30 * 8 / 2);
  EXPECT_EQ(darkRight, 0);
}

// A failure anywhere stops the page with its message, on one thread as on
// several; an exception from a callback reaches the caller either way.
TEST_F(PageTest, ErrorsStopThePage) {
  ASSERT_TRUE(Make(16));
  RowSource white = [](int, std::span<uint8_t> rgb) {
    std::fill(rgb.begin(), rgb.end(), 255);
    return Status::Ok();
  };
  PlaneSink any = [](int, std::span<const std::span<const uint8_t>>) { return Status::Ok(); };
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    PageOptions options;
    options.threads = threads;
    int seen = 0;
    PlaneSink failAt3 = [&](int y, std::span<const std::span<const uint8_t>>) {
      ++seen;
      return y == 3 ? Status(RC_FAILURE, "disk full") : Status::Ok();
    };
    Status s = RenderPage(*halftoner_, {16, 8, 16, 8}, white, failAt3, nullptr, options);
    EXPECT_EQ(s.message(), "disk full");
    EXPECT_EQ(seen, 4);

    RowSource broken = [](int y, std::span<uint8_t>) {
      return y == 2 ? Status(RC_FAILURE, "in.png: truncated") : Status::Ok();
    };
    EXPECT_EQ(RenderPage(*halftoner_, {16, 8, 16, 8}, broken, any, nullptr, options).message(),
              "in.png: truncated");

    PlaneSink throws = [](int y, std::span<const std::span<const uint8_t>>) -> Status {
      if (y == 5) throw std::runtime_error("sink broke");
      return Status::Ok();
    };
    EXPECT_THROW(RenderPage(*halftoner_, {16, 8, 16, 8}, white, throws, nullptr, options),
                 std::runtime_error);
  }

  Status s = RenderPage(*halftoner_, {17, 8, 17, 8}, white, any);
  EXPECT_EQ(s.code(), uint32_t{RC_BAND_TOO_LARGE});
  EXPECT_EQ(s.message(), "page width 17 dots exceeds the halftone line width 16");
  EXPECT_EQ(RenderPage(*halftoner_, {0, 8, 16, 8}, white, any).code(), uint32_t{RC_BAD_PARAMETER});
  PageGeometry halfPlaced{16, 8, 16, 8};
  halfPlaced.placedWidth = 4;
  EXPECT_EQ(RenderPage(*halftoner_, halfPlaced, white, any).code(), uint32_t{RC_BAD_PARAMETER});
  // Sizes and offsets far beyond any page are refused, not allocated for.
  for (PageGeometry huge : {PageGeometry{16, 8, 16, 8, 0, 0, 2000000000, 8},
                            PageGeometry{16, 8, 16, 8, -2147483647 - 1, 0, 16, 8},
                            PageGeometry{16, 2000000000, 16, 8}}) {
    EXPECT_EQ(RenderPage(*halftoner_, huge, white, any).code(), uint32_t{RC_BAD_PARAMETER});
  }
  PageOptions negative;
  negative.threads = -1;
  EXPECT_EQ(RenderPage(*halftoner_, {16, 8, 16, 8}, white, any, nullptr, negative).code(),
            uint32_t{RC_BAD_PARAMETER});
}

// The page's own threads take no asynchronous signal, so that a job's SIGTERM
// reaches the caller's thread (which may sit in a blocking read of the
// source); the caller's own mask is left as it was.
TEST_F(PageTest, PageThreadsLeaveSignalsToTheCaller) {
  ASSERT_TRUE(Make(16));
  auto blocked = [](int sig) {
    sigset_t now;
    pthread_sigmask(SIG_BLOCK, nullptr, &now);
    return sigismember(&now, sig) == 1;
  };
  bool sinkBlocked = true;
  RowSource white = [&](int, std::span<uint8_t> rgb) {
    EXPECT_FALSE(blocked(SIGTERM)) << "the source runs on the caller's thread";
    std::fill(rgb.begin(), rgb.end(), 255);
    return Status::Ok();
  };
  PlaneSink sink = [&](int, std::span<const std::span<const uint8_t>>) {
    sinkBlocked = sinkBlocked && blocked(SIGTERM) && blocked(SIGINT) && blocked(SIGHUP) &&
                  !blocked(SIGSEGV);
    return Status::Ok();
  };
  PageOptions options;
  options.threads = 2;
  ASSERT_TRUE(RenderPage(*halftoner_, {16, 8, 16, 8}, white, sink, nullptr, options).ok());
  EXPECT_TRUE(sinkBlocked);
  EXPECT_FALSE(blocked(SIGTERM));
}

TEST_F(PageTest, DownscalingReadsEverySourceRow) {
  ASSERT_TRUE(Make(8));
  int asked = 0, last = -1;
  RowSource source = [&](int y, std::span<uint8_t> rgb) {
    EXPECT_EQ(y, last + 1);
    last = y;
    ++asked;
    std::fill(rgb.begin(), rgb.end(), 255);
    return Status::Ok();
  };
  PlaneSink any = [](int, std::span<const std::span<const uint8_t>>) { return Status::Ok(); };
  ASSERT_TRUE(RenderPage(*halftoner_, {50, 41, 8, 4}, source, any).ok());
  EXPECT_EQ(asked, 41);
}

}  // namespace
}  // namespace vantik
