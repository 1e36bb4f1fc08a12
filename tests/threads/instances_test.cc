// Many instances of every service used from several threads at once: each
// thread makes its own colour matchers, halftoners of both engines and
// previews, runs them, and must get exactly the bytes a single thread gets;
// pages also run through the threaded page pipeline.
// One colour matcher is also shared by every thread for translation, which
// only reads the instance.  Run under ThreadSanitizer (the tsan preset)
// this shows that instances share no unguarded state.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/tiny_resources.h"
#include "interface/memblock.h"
#include "threads/engine_a_job.h"
#include "vantik/vantik.hpp"

namespace vantik {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t s = seed * 2654435761u + 1;
  for (uint8_t& v : b) {
    s = s * 1664525u + 1013904223u;
    v = static_cast<uint8_t>(s >> 24);
  }
  return b;
}

// A page through the C++ API on the small resource set: colour matching,
// an engine B halftoner of `kind` and a scaled page; the planes of every
// line, concatenated.
Bytes EngineBPage(int kind, uint32_t seed, int threads = 1, int width = 48, int height = 20) {
  const ResourceSet set = testing::TinyResources();
  ColorSettings s;
  s.paper = 8;  // PLAIN in the small set's paper list
  s.adjust.brightness = static_cast<int>(seed % 21) - 10;
  s.halftone.kind = kind;
  s.halftone.lineWidth = static_cast<uint32_t>(width);
  auto matcher = ColorMatcher::Create(s, set);
  if (!matcher.ok()) return Bytes{0xEE, 1};
  auto halftoner = Halftoner::Create(*matcher, set);
  if (!halftoner.ok()) return Bytes{0xEE, 2};
  const Bytes image = Pattern(7 * 5 * 3, seed);
  RowSource source = [&](int y, std::span<uint8_t> rgb) {
    std::copy_n(image.begin() + y * 21, 21, rgb.begin());
    return Status::Ok();
  };
  Bytes out;
  PlaneSink sink = [&](int, std::span<const std::span<const uint8_t>> planes) {
    for (auto p : planes) out.insert(out.end(), p.begin(), p.end());
    return Status::Ok();
  };
  PageOptions options;
  options.threads = threads;
  const Status st =
      RenderPage(*halftoner, PageGeometry{7, 5, width, height}, source, sink, nullptr, options);
  if (!st.ok()) return Bytes{0xEE, 3};
  return out;
}

Bytes PreviewRun(int sharpen, uint32_t seed) {
  PreviewSettings s;
  s.adjust.contrast = static_cast<int>(seed % 31) - 15;
  s.sharpen = sharpen;
  auto preview = Preview::Create(s);
  if (!preview.ok()) return Bytes{0xEE, 6};
  const Bytes rgb = Pattern(3 * 200, seed);
  Bytes out(rgb.size());
  if (!preview->Translate(rgb, out).ok()) return Bytes{0xEE, 7};
  return out;
}

struct Job {
  std::string name;
  std::function<Bytes()> run;
};

std::vector<Job> Jobs() {
  std::vector<Job> jobs;
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    for (int kind : {1, 3})
      jobs.push_back({"engine B kind " + std::to_string(kind) + " seed " + std::to_string(seed),
                      [=] { return EngineBPage(kind, seed); }});
    for (int method : {0, 2, 5, 6})
      jobs.push_back({"engine A method " + std::to_string(method) + " seed " + std::to_string(seed),
                      [=] { return EngineABands(method, seed); }});
    for (int sharpen = 0; sharpen <= 3; ++sharpen)
      jobs.push_back({"preview sharpen " + std::to_string(sharpen) + " seed " + std::to_string(seed),
                      [=] { return PreviewRun(sharpen, seed); }});
  }
  return jobs;
}

TEST(ThreadsTest, InstancesOfEveryServiceGiveTheSameBytesOnEveryThread) {
  const long live = MemLiveBlocks();
  const std::vector<Job> jobs = Jobs();
  std::vector<Bytes> expected;
  for (const Job& j : jobs) {
    expected.push_back(j.run());
    ASSERT_FALSE(expected.back().size() == 2 && expected.back()[0] == 0xEE) << j.name;
  }

  constexpr int kThreads = 4;
  constexpr int kRounds = 2;
  std::vector<std::vector<std::string>> mismatches(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Each thread walks the jobs from a different start, so different
      // services overlap in time.
      for (int round = 0; round < kRounds; ++round) {
        for (size_t i = 0; i < jobs.size(); ++i) {
          const size_t k = (i + static_cast<size_t>(t) * 5) % jobs.size();
          if (jobs[k].run() != expected[k]) mismatches[t].push_back(jobs[k].name);
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(mismatches[t].empty()) << "thread " << t << ": " << mismatches[t].front();
  EXPECT_EQ(MemLiveBlocks(), live);
}

// The page pipeline: the same bits for every thread count, also while
// several threaded pages run at once.
TEST(ThreadsTest, PagePipelineGivesTheSameBitsOnEveryThreadCount) {
  for (int kind : {1, 3}) {
    const Bytes one = EngineBPage(kind, 9, 1);
    ASSERT_FALSE(one.size() == 2 && one[0] == 0xEE);
    for (int threads : {2, 3, 4}) EXPECT_EQ(EngineBPage(kind, 9, threads), one) << threads;
  }
  // Lines wide enough for two of them to be halftoned at once, the second
  // behind the first (3 threads), or for a line's front end to run beside
  // the diffusion of the line before (2 threads).
  const Bytes wide = EngineBPage(1, 4, 1, 900);
  ASSERT_FALSE(wide.size() == 2 && wide[0] == 0xEE);
  for (int threads : {2, 3}) EXPECT_EQ(EngineBPage(1, 4, threads, 900), wide) << threads;
  // More batches than the pipeline's pool holds, so every batch is used
  // again while the stages before and after it still run.
  const Bytes tall = EngineBPage(1, 5, 1, 48, 700);
  ASSERT_FALSE(tall.size() == 2 && tall[0] == 0xEE);
  for (int threads : {2, 3}) EXPECT_EQ(EngineBPage(1, 5, threads, 48, 700), tall) << threads;
  std::vector<Bytes> expected;
  for (uint32_t seed = 0; seed < 3; ++seed) expected.push_back(EngineBPage(1, seed, 1));
  std::atomic<int> wrong{0};
  std::vector<std::thread> pages;
  for (uint32_t seed = 0; seed < 3; ++seed) {
    pages.emplace_back([&, seed] {
      for (int round = 0; round < 3; ++round)
        if (EngineBPage(1, seed, 2 + round % 2) != expected[seed]) ++wrong;
    });
  }
  for (std::thread& t : pages) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(ThreadsTest, OneColourMatcherTranslatesForManyThreads) {
  const ResourceSet set = testing::TinyResources();
  ColorSettings s;
  s.paper = 8;
  s.adjust.saturation = 12;
  auto matcher = ColorMatcher::Create(s, set);
  ASSERT_TRUE(matcher.ok()) << matcher.status().ToString();
  const size_t ink = static_cast<size_t>(matcher->channels());
  constexpr int kThreads = 4;
  constexpr size_t kPixels = 500;
  std::vector<Bytes> inputs, expected;
  for (int t = 0; t < kThreads; ++t) {
    inputs.push_back(Pattern(3 * kPixels, 100 + t));  // packed RGB
    expected.emplace_back(kPixels * ink);
    ASSERT_TRUE(matcher->Translate(inputs.back(), expected.back()).ok());
  }
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Bytes out(kPixels * ink);
      for (int round = 0; round < 20; ++round) {
        if (!matcher->Translate(inputs[t], out).ok() || out != expected[t]) ++wrong;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace vantik
