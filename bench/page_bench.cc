// A letter page end to end as `vantik print` makes it by default
// (photo-sized input scaled to the page, colour matching, halftoning, PBM
// planes, the simulated print under the built-in print model and its PNG)
// at 720 x 720 and 1440 x 720 dpi, on the default resources, on one thread
// and on all cores, with and without files.  Reports dots per second,
// seconds per page, each pipeline stage's busy time and the process's peak
// resident memory.
#include <benchmark/benchmark.h>

#ifdef VANTIK_HAVE_TOOL_CORE

#include <unistd.h>

#include <cmath>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "png_writer.h"
#include "print_run.h"
#include "printmodel/print_model.h"
#include "pure_black.h"
#include "vantik/default_resources.h"

namespace {

// Peak resident set of this process, in MB (VmHWM).
double PeakResidentMb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      double kb = 0;
      status >> kb;
      return kb / 1024.0;
    }
  }
  return 0;
}

// A 3000 x 2000 photo-like image: smooth colour fields with some texture.
const std::vector<uint8_t>& Photo() {
  static const std::vector<uint8_t> rgb = [] {
    const int w = 3000, h = 2000;
    std::vector<uint8_t> p(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        double u = double(x) / w, v = double(y) / h;
        double t = 0.5 + 0.5 * std::sin(40 * u * v + 6 * u);
        uint8_t* q = &p[(size_t(y) * w + x) * 3];
        q[0] = static_cast<uint8_t>(255 * (0.2 + 0.7 * u * t));
        q[1] = static_cast<uint8_t>(255 * (0.3 + 0.6 * v));
        q[2] = static_cast<uint8_t>(255 * (0.9 - 0.7 * u * v));
      }
    return p;
  }();
  return rgb;
}

void BM_LetterPage(benchmark::State& state) {
  const int xres = static_cast<int>(state.range(0)), yres = static_cast<int>(state.range(1));
  vantik::ResourceSet set;
  for (const auto& b : vantik::resources::Defaults()) {
    set.AddView(b.service, b.number, b.bytes);
  }
  const std::string dir = (std::filesystem::temp_directory_path() /
                           ("vantik-bench-" + std::to_string(::getpid())))
                              .string();
  std::filesystem::create_directories(dir);
  const std::vector<uint8_t>& photo = Photo();
  vantik::tool::PrintRequest req;
  req.options.resolution = {xres, yres};
  req.geometry = {3000, 2000, static_cast<int>(8.5 * xres), 11 * yres};
  req.widthInches = 8.5;
  req.heightInches = 11;
  req.source = [&](int y, std::span<uint8_t> rgb) {
    std::copy_n(&photo[size_t(y) * 3000 * 3], rgb.size(), rgb.begin());
    return vantik::Status::Ok();
  };
  req.outDir = state.range(3) ? dir : "";
  req.writeImage = [](const std::string& path, const std::vector<uint8_t>& rgb, int w, int h) {
    return vantik::tool::WritePng(path, rgb, w, h, 3);
  };
  req.model = &vantik::printmodel::PrintModel::Default();
  req.threads = static_cast<int>(state.range(2));
  double seconds = 0, cpu = 0;
  vantik::PageStageTimes stages;
  int pages = 0;
  for (auto _ : state) {
    vantik::tool::PrintResult result;
    const std::clock_t start = std::clock();
    vantik::Status s = vantik::tool::RunPrint(req, set, &result);
    cpu += double(std::clock() - start) / CLOCKS_PER_SEC;
    if (!s.ok()) {
      state.SkipWithError(s.ToString().c_str());
      break;
    }
    seconds += result.seconds;
    stages.source += result.stages.source;
    stages.halftone += result.stages.halftone;
    stages.sink += result.stages.sink;
    ++pages;
  }
  std::filesystem::remove_all(dir);
  const double dots = double(req.geometry.width) * req.geometry.height;
  state.counters["dots_per_s"] = pages ? dots * pages / seconds : 0;
  state.counters["s_per_page"] = pages ? seconds / pages : 0;
  // On a shared machine the wall clock counts other processes too; the
  // process's CPU time does not.
  state.counters["dots_per_cpu_s"] = pages ? dots * pages / cpu : 0;
  state.counters["cpu_s_per_page"] = pages ? cpu / pages : 0;
  state.counters["peak_rss_MB"] = PeakResidentMb();
  // Busy seconds of each pipeline stage per page: the source (scaling the
  // photo line by line), the halftoning, and the sink (plane files and the
  // simulated print, its PNG included).
  state.counters["source_s"] = pages ? stages.source / pages : 0;
  state.counters["halftone_s"] = pages ? stages.halftone / pages : 0;
  state.counters["sink_s"] = pages ? stages.sink / pages : 0;
}
// Arguments: x and y resolution, page threads (0: one per core), files
// written (0: planes and simulated print in memory only).
BENCHMARK(BM_LetterPage)
    ->ArgNames({"xdpi", "ydpi", "threads", "files"})
    ->Args({720, 720, 0, 1})
    ->Args({1440, 720, 0, 1})
    ->Args({1440, 720, 1, 1})
    ->Args({1440, 720, 0, 0})
    ->Args({1440, 720, 1, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// What --pure-black adds to a job: every colour table of the default set
// rewritten once, before the first page.
void BM_PureBlackResources(benchmark::State& state) {
  vantik::ResourceSet set;
  for (const auto& b : vantik::resources::Defaults()) set.AddView(b.service, b.number, b.bytes);
  for (auto _ : state) {
    vantik::ResourceSet pure = vantik::tool::PureBlackResources(set);
    benchmark::DoNotOptimize(pure);
  }
}
BENCHMARK(BM_PureBlackResources)->Unit(benchmark::kMillisecond);

}  // namespace

#endif
