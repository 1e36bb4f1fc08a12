// rastertovantik's job logic and command: options from the job and the PPD,
// the output header, pages that carry the same dots as the tool prints, and
// the CUPS filter conventions (messages, exit codes, cancelling).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "print_run.h"
#include "pure_black.h"
#include "queue_support.h"
#include "raster_filter.h"
#include "resources_io.h"

// Under the leak checker: libcups keeps a few bytes of the options that
// cupsMarkOptions adds while marking a PPD; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libcups.so\n"; }

namespace vantik::queuetest {
namespace {

namespace vf = vantik::filter;

// A page with colour, gray and white areas, different on every page.
InputPage Pattern(int width, int height, int seed, int dpi = 360) {
  InputPage p;
  p.width = width;
  p.height = height;
  p.xdpi = p.ydpi = dpi;
  p.pixel = [=](int x, int y, uint8_t* rgb) {
    rgb[0] = uint8_t((x * 255) / width);
    rgb[1] = uint8_t((y * 255) / height);
    rgb[2] = uint8_t(((x + y) * 7 + seed * 61) & 255);
    if (x > width * 3 / 4) rgb[0] = rgb[1] = rgb[2] = 255;  // white margin: no ink
  };
  return p;
}

struct Options {
  explicit Options(const std::string& text) { n = cupsParseOptions(text.c_str(), 0, &list); }
  ~Options() { cupsFreeOptions(n, list); }
  int n = 0;
  cups_option_t* list = nullptr;
};

struct PpdCloser {
  void operator()(ppd_file_t* p) const { ppdClose(p); }
};
using Ppd = std::unique_ptr<ppd_file_t, PpdCloser>;

// The queue's PPD with the job's options marked, as the filter opens it.
Ppd OpenPpd(const Options& o) {
#ifdef VANTIK_PPD_PATH
  Ppd ppd(ppdOpenFile(VANTIK_PPD_PATH));
  if (ppd) {
    ppdMarkDefaults(ppd.get());
    cupsMarkOptions(ppd.get(), o.n, o.list);
  }
  return ppd;
#else
  return nullptr;
#endif
}

// ---- Options --------------------------------------------------------------

TEST(FilterSettings, JobOptionsAndPpdChoices) {
  struct Case {
    const char* options;
    bool withPpd;
    std::string method;
    bool blackOnly;
    int xdpi, ydpi;  // 0: the raster's own
    std::string paper;
    int brightness, saturation, blue;
    std::vector<int> calibration;  // empty: none
    vf::PlaneOrder order;
    vf::PlaneLayout layout;
  };
  using O = vf::PlaneOrder;
  using L = vf::PlaneLayout;
  const Case cases[] = {
      // No PPD: the raster's resolution, error diffusion, colour.
      {"", false, "diffusion", false, 0, 0, "plain", 0, 0, 0, {}, O::kKCMY, L::kPlanar},
      // The PPD's defaults.
      {"", true, "diffusion", false, 720, 720, "plain", 0, 0, 0, {}, O::kKCMY, L::kPlanar},
      {"Resolution=1440x720dpi MediaType=Photo ColorModel=Gray", true, "diffusion", true, 1440,
       720, "photo", 0, 0, 0, {}, O::kKCMY, L::kPlanar},
      {"cupsPrintQuality=Draft", true, "eight", false, 720, 720, "plain", 0, 0, 0, {}, O::kKCMY,
       L::kPlanar},
      {"print-quality=4", true, "hybrid", false, 720, 720, "plain", 0, 0, 0, {}, O::kKCMY,
       L::kPlanar},
      // An explicit halftone method wins over the quality.
      {"cupsPrintQuality=Draft VantikHalftone=clustered", true, "clustered", false, 720, 720,
       "plain", 0, 0, 0, {}, O::kKCMY, L::kPlanar},
      // A value between the PPD's steps is taken as the job gives it.
      {"VantikBrightness=13 VantikSaturation=-50 VantikBlue=7", true, "diffusion", false, 720,
       720, "plain", 13, -50, 7, {}, O::kKCMY, L::kPlanar},
      // One ink calibrated: the others at the reference level.
      {"VantikMagentaLevel=60", true, "diffusion", false, 720, 720, "plain", 0, 0, 0,
       {50, 60, 50, 50}, O::kKCMY, L::kPlanar},
      {"VantikBlackLevel=40 ColorModel=Gray", true, "diffusion", true, 720, 720, "plain", 0, 0,
       0, {40}, O::kKCMY, L::kPlanar},
      {"print-color-mode=monochrome", false, "diffusion", true, 0, 0, "plain", 0, 0, 0, {},
       O::kKCMY, L::kPlanar},
      {"VantikPlaneOrder=CMYK VantikPlaneLayout=banded Resolution=360dpi", false, "diffusion",
       false, 360, 360, "plain", 0, 0, 0, {}, O::kCMYK, L::kBanded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    Options o(c.options);
    Ppd ppd = c.withPpd ? OpenPpd(o) : nullptr;
    if (c.withPpd && !ppd) GTEST_SKIP() << "the PPD was not built (ppdc missing)";
    Result<vf::FilterSettings> s = vf::ReadSettings(o.n, o.list, ppd.get());
    ASSERT_TRUE(s.ok()) << s.status().message();
    EXPECT_EQ(s->job.method, c.method);
    EXPECT_EQ(s->job.blackOnly, c.blackOnly);
    EXPECT_EQ(s->resolutionChosen, c.xdpi != 0);
    if (c.xdpi != 0) {
      EXPECT_EQ(s->job.resolution.x, c.xdpi);
      EXPECT_EQ(s->job.resolution.y, c.ydpi);
    }
    EXPECT_EQ(s->job.paper, c.paper);
    EXPECT_EQ(s->job.adjust.brightness, c.brightness);
    EXPECT_EQ(s->job.adjust.saturation, c.saturation);
    EXPECT_EQ(s->job.adjust.blue, c.blue);
    EXPECT_EQ(s->job.calibration.has_value(), !c.calibration.empty());
    if (s->job.calibration) {
      EXPECT_EQ(*s->job.calibration, c.calibration);
    }
    EXPECT_EQ(s->order, c.order);
    EXPECT_EQ(s->layout, c.layout);
  }
}

// Pure black: off unless the job or the queue's PPD turns it on, in any of
// the ways a Boolean reaches a filter.
TEST(FilterSettings, PureBlackFromTheJobOrThePpd) {
  const struct {
    const char* options;
    bool withPpd;
    bool pure;
  } cases[] = {
      {"", false, false},
      {"", true, false},  // the PPD's default
      {"VantikPureBlack=True", true, true},
      {"VantikPureBlack=true", false, true},
      {"VantikPureBlack", false, true},  // lp -o VantikPureBlack
      {"VantikPureBlack=False", true, false},
      {"noVantikPureBlack", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.options) + (c.withPpd ? " with the PPD" : ""));
    Options o(c.options);
    Ppd ppd = c.withPpd ? OpenPpd(o) : nullptr;
    if (c.withPpd && !ppd) GTEST_SKIP() << "the PPD was not built (ppdc missing)";
    Result<vf::FilterSettings> s = vf::ReadSettings(o.n, o.list, ppd.get());
    ASSERT_TRUE(s.ok()) << s.status().message();
    EXPECT_EQ(s->job.pureBlack, c.pure);
  }
  // Marked on the PPD alone (a queue's default set to True), the choice is
  // read from the PPD.
  Options none("");
  Ppd ppd = OpenPpd(none);
  if (!ppd) GTEST_SKIP() << "the PPD was not built (ppdc missing)";
  ASSERT_EQ(ppdMarkOption(ppd.get(), "VantikPureBlack", "True"), 0);
  Result<vf::FilterSettings> s = vf::ReadSettings(none.n, none.list, ppd.get());
  ASSERT_TRUE(s.ok());
  EXPECT_TRUE(s->job.pureBlack);
}

TEST(FilterSettings, UnusableValuesNameTheOption) {
  const char* cases[][2] = {
      {"Resolution=fine", "Resolution=fine"},
      {"VantikBrightness=51", "VantikBrightness=51"},
      {"VantikContrast=ten", "VantikContrast=ten"},
      {"VantikCyanLevel=80", "VantikCyanLevel=80"},
      {"VantikHalftone=stipple", "VantikHalftone=stipple"},
      {"cupsPrintQuality=Best", "cupsPrintQuality=Best"},
      {"ColorModel=Sepia", "ColorModel=Sepia"},
      {"VantikPlaneOrder=RGB", "VantikPlaneOrder=RGB"},
      {"VantikPlaneLayout=Chunky", "VantikPlaneLayout=Chunky"},
      {"VantikPureBlack=maybe", "VantikPureBlack=maybe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    Options o(c[0]);
    Result<vf::FilterSettings> s = vf::ReadSettings(o.n, o.list, nullptr);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.status().message().find(c[1]), std::string::npos) << s.status().message();
  }
}

// The option string has no bound of its own: libcups splits a string of any
// length, and the kernel hands a program at most 128 KiB in one argument
// (131,071 bytes and the terminating NUL).  A string of that length is read
// to its last option.
TEST(FilterSettings, TheLongestOptionStringIsReadToItsEnd) {
  constexpr size_t kLongest = 131071;
  const std::string last = " VantikBrightness=-7";
  std::string text;
  while (text.size() + 40 < kLongest - last.size()) {
    text += "job-note-" + std::to_string(text.size()) + "=abcdefghijklmnopqrstuvwxyz ";
  }
  text.resize(kLongest - last.size(), 'z');
  text += last;
  ASSERT_EQ(text.size(), kLongest);
  Result<vf::FilterSettings> s = vf::SettingsFromOptions(text.c_str(), nullptr);
  ASSERT_TRUE(s.ok()) << s.status().message();
  EXPECT_EQ(s->job.adjust.brightness, -7);
}

// Every choice the PPD offers must print with the built-in resources: a
// choice without a colour table would fail jobs in a real queue.
TEST(FilterSettings, EveryPpdChoicePrints) {
  Options none("");
  if (!OpenPpd(none)) GTEST_SKIP() << "the PPD was not built (ppdc missing)";
  Result<ResourceSet> set = tool::LoadResources("");
  ASSERT_TRUE(set.ok());
  std::vector<std::string> combos;
  for (const char* res : {"360dpi", "720dpi", "1440x720dpi", "720x1440dpi"}) {
    for (const char* method : {"diffusion", "hybrid", "dither", "eight", "ordered", "clustered",
                               "stacked"}) {
      for (const char* color : {"RGB", "Gray"}) {
        for (const char* media : {"Plain", "Photo"}) {
          combos.push_back(std::string("Resolution=") + res + " VantikHalftone=" + method +
                           " ColorModel=" + color + " MediaType=" + media);
        }
      }
    }
  }
  combos.push_back("cupsPrintQuality=Draft");
  combos.push_back("cupsPrintQuality=Normal VantikCyanLevel=30 VantikBlackLevel=70");
  for (const std::string& text : combos) {
    SCOPED_TRACE(text);
    Options o(text);
    Ppd ppd = OpenPpd(o);
    Result<vf::FilterSettings> fs = vf::ReadSettings(o.n, o.list, ppd.get());
    ASSERT_TRUE(fs.ok()) << fs.status().message();
    Result<ColorSettings> cs = tool::MakeColorSettings(fs->job, *set, 64);
    ASSERT_TRUE(cs.ok()) << cs.status().message();
    Result<ColorMatcher> m = ColorMatcher::Create(*cs, *set);
    ASSERT_TRUE(m.ok()) << m.status().message();
    Result<Halftoner> h = Halftoner::Create(*m, *set);
    ASSERT_TRUE(h.ok()) << h.status().message();
  }
}

// ---- Output header ----------------------------------------------------------

TEST(FilterHeader, SaysWhichPlanesAndLayout) {
  cups_page_header2_t in = InputHeader(Pattern(100, 10, 0));
  std::snprintf(in.MediaType, sizeof in.MediaType, "Photo");
  struct Case {
    int planes;
    vf::PlaneOrder order;
    vf::PlaneLayout layout;
    cups_cspace_t space;
    cups_order_t colorOrder;
    unsigned bytesPerLine;
  };
  const Case cases[] = {
      {4, vf::PlaneOrder::kKCMY, vf::PlaneLayout::kPlanar, CUPS_CSPACE_KCMY, CUPS_ORDER_PLANAR, 13},
      {4, vf::PlaneOrder::kCMYK, vf::PlaneLayout::kPlanar, CUPS_CSPACE_CMYK, CUPS_ORDER_PLANAR, 13},
      {4, vf::PlaneOrder::kKCMY, vf::PlaneLayout::kBanded, CUPS_CSPACE_KCMY, CUPS_ORDER_BANDED, 52},
      {1, vf::PlaneOrder::kKCMY, vf::PlaneLayout::kBanded, CUPS_CSPACE_K, CUPS_ORDER_BANDED, 13},
  };
  for (const Case& c : cases) {
    cups_page_header2_t h = vf::DotHeader(in, 100, 20, {360, 720}, c.planes, c.order, c.layout);
    EXPECT_EQ(h.cupsColorSpace, c.space);
    EXPECT_EQ(h.cupsColorOrder, c.colorOrder);
    EXPECT_EQ(h.cupsBytesPerLine, c.bytesPerLine);
    EXPECT_EQ(h.cupsNumColors, unsigned(c.planes));
    EXPECT_EQ(h.cupsBitsPerColor, 1u);
    EXPECT_EQ(h.cupsBitsPerPixel, 1u);
    EXPECT_EQ(h.cupsWidth, 100u);
    EXPECT_EQ(h.cupsHeight, 20u);
    EXPECT_EQ(h.HWResolution[0], 360u);
    EXPECT_EQ(h.HWResolution[1], 720u);
    // The page description the back-end needs is kept.
    EXPECT_STREQ(h.MediaType, "Photo");
    EXPECT_EQ(h.PageSize[0], in.PageSize[0]);
  }
}

// ---- Pages ------------------------------------------------------------------------

class FilterRun : public ::testing::Test {
 protected:
  TempDir dir_{"filter"};

  // Runs the filter on `pages` (cut after `cutLines` lines of the last page
  // when >= 0) and reads its output back.
  Status Filter(const std::vector<InputPage>& pages, const vf::FilterSettings& settings,
                std::vector<DotPage>* out, vf::FilterResult* result, int cutLines = -1,
                std::string* messages = nullptr) {
    WriteRasterFile(dir_ / "in.ras", pages, cutLines);
    int in = ::open((dir_ / "in.ras").c_str(), O_RDONLY);
    int o = ::open((dir_ / "out.ras").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    FILE* log = std::fopen((dir_ / "log").c_str(), "w");
    std::atomic<bool> cancel{false};
    Status s = vf::RunFilter(in, o, settings, cancel, vf::Messages{log}, result);
    std::fclose(log);
    ::close(in);
    ::close(o);
    *out = ReadDotPages(dir_ / "out.ras");
    if (messages) *messages = Slurp(dir_ / "log");
    return s;
  }

  // What the tool prints for the same page: the engine's planes C, M, Y, K.
  static std::vector<std::vector<uint8_t>> ToolPlanes(const InputPage& p, tool::JobOptions job) {
    Result<ResourceSet> set = tool::LoadResources("");
    if (job.pureBlack) *set = tool::PureBlackResources(*set);
    std::vector<std::vector<uint8_t>> planes;
    tool::PrintRequest req;
    job.resolution = {p.xdpi, p.ydpi};
    req.options = job;
    req.geometry = {p.width, p.height, p.width, p.height};
    req.widthInches = double(p.width) / p.xdpi;
    req.heightInches = double(p.height) / p.ydpi;
    req.source = [&](int y, std::span<uint8_t> rgb) {
      for (int x = 0; x < p.width; ++x) {
        p.pixel(x, y, &rgb[size_t(x) * 3]);
        if (p.space == CUPS_CSPACE_W) rgb[x * 3 + 1] = rgb[x * 3 + 2] = rgb[x * 3];
      }
      return Status::Ok();
    };
    req.tap = [&](int, std::span<const std::span<const uint8_t>> rows) {
      if (planes.empty()) planes.resize(rows.size());
      for (size_t k = 0; k < rows.size(); ++k) {
        planes[k].insert(planes[k].end(), rows[k].begin(), rows[k].end());
      }
      return Status::Ok();
    };
    tool::PrintResult result;
    Status s = tool::RunPrint(req, *set, &result);
    EXPECT_TRUE(s.ok()) << s.message();
    return planes;
  }
};

TEST_F(FilterRun, PagesCarryTheToolsDotsInEveryLayout) {
  InputPage gray = Pattern(150, 37, 2);
  gray.space = CUPS_CSPACE_W;
  const std::vector<InputPage> pages = {Pattern(203, 41, 1), gray};
  struct Case {
    vf::PlaneOrder order;
    vf::PlaneLayout layout;
    std::vector<int> engine;  // engine plane of each output plane
    std::string method;
  };
  const Case cases[] = {
      {vf::PlaneOrder::kKCMY, vf::PlaneLayout::kPlanar, {3, 0, 1, 2}, "diffusion"},
      {vf::PlaneOrder::kCMYK, vf::PlaneLayout::kBanded, {0, 1, 2, 3}, "diffusion"},
      {vf::PlaneOrder::kKCMY, vf::PlaneLayout::kBanded, {3, 0, 1, 2}, "ordered"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method + (c.layout == vf::PlaneLayout::kBanded ? " banded" : " planar"));
    vf::FilterSettings fs;
    fs.order = c.order;
    fs.layout = c.layout;
    fs.job.method = c.method;
    std::vector<DotPage> out;
    vf::FilterResult result;
    std::string log;
    Status s = Filter(pages, fs, &out, &result, -1, &log);
    ASSERT_TRUE(s.ok()) << s.message();
    EXPECT_EQ(result.pages, 2);
    EXPECT_FALSE(result.cancelled);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(Contains(log, "PAGE: 1 1\n")) << log;
    EXPECT_TRUE(Contains(log, "PAGE: 2 1\n")) << log;
    for (size_t i = 0; i < pages.size(); ++i) {
      SCOPED_TRACE("page " + std::to_string(i + 1));
      EXPECT_EQ(out[i].header.cupsWidth, unsigned(pages[i].width));
      EXPECT_EQ(out[i].header.HWResolution[0], 360u);
      const auto tool = ToolPlanes(pages[i], fs.job);
      ASSERT_EQ(out[i].planes.size(), 4u);
      for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(out[i].planes[k], tool[c.engine[k]]) << "plane " << k;
      }
      size_t dots = 0;
      for (int k = 0; k < 4; ++k) dots += out[i].Dots(k);
      EXPECT_GT(dots, 0u);
    }
  }
}

// With pure black the filter prints what the tool prints with it: solid
// black without colour ink, which it carries with the option off.
TEST_F(FilterRun, PureBlackPrintsAsTheTool) {
  InputPage page;
  page.width = 160;
  page.height = 40;
  page.pixel = [](int x, int, uint8_t* rgb) {
    const uint8_t v = x < 80 ? 0 : uint8_t(255 - x);  // black, then a ramp
    rgb[0] = rgb[1] = rgb[2] = v;
  };
  for (bool pure : {false, true}) {
    SCOPED_TRACE(pure ? "pure black" : "rich black");
    vf::FilterSettings fs;
    fs.job.pureBlack = pure;
    std::vector<DotPage> out;
    vf::FilterResult result;
    ASSERT_TRUE(Filter({page}, fs, &out, &result).ok());
    ASSERT_EQ(out.size(), 1u);
    ASSERT_EQ(out[0].planes.size(), 4u);
    const auto tool = ToolPlanes(page, fs.job);
    const int engine[] = {3, 0, 1, 2};  // KCMY out, CMYK from the engine
    size_t colourUnderBlack = 0;
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(out[0].planes[k], tool[engine[k]]) << "plane " << k;
      if (k == 0) continue;
      const size_t row = out[0].planes[k].size() / 40;
      // The black's first 64 columns, clear of the ramp's diffused error.
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64 / 8; ++x) colourUnderBlack += out[0].planes[k][y * row + x] != 0;
    }
    if (pure) EXPECT_EQ(colourUnderBlack, 0u);
    else EXPECT_GT(colourUnderBlack, 0u);
  }
}

TEST_F(FilterRun, BlackOnlyIsOneKPlane) {
  vf::FilterSettings fs;
  fs.job.blackOnly = true;
  std::vector<DotPage> out;
  vf::FilterResult result;
  const InputPage page = Pattern(120, 30, 3);
  ASSERT_TRUE(Filter({page}, fs, &out, &result).ok());
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].header.cupsColorSpace, CUPS_CSPACE_K);
  ASSERT_EQ(out[0].planes.size(), 1u);
  EXPECT_EQ(out[0].planes[0], ToolPlanes(page, fs.job)[0]);
}

// A raster at another resolution than the printer's is scaled to it: the
// page keeps its size in inches.
TEST_F(FilterRun, ScalesToThePrintersResolution) {
  vf::FilterSettings fs;
  fs.job.resolution = {720, 720};
  fs.resolutionChosen = true;
  std::vector<DotPage> out;
  vf::FilterResult result;
  ASSERT_TRUE(Filter({Pattern(100, 50, 4, 360)}, fs, &out, &result).ok());
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].header.cupsWidth, 200u);
  EXPECT_EQ(out[0].header.cupsHeight, 100u);
  EXPECT_EQ(out[0].header.HWResolution[0], 720u);
}

TEST_F(FilterRun, BadInputIsRefusedAndLeavesOnlyWholePages) {
  vf::FilterSettings fs;
  std::vector<DotPage> out;
  vf::FilterResult result;
  // No page at all.
  Status s = Filter({}, fs, &out, &result);
  EXPECT_FALSE(s.ok());
  EXPECT_TRUE(Contains(s.message(), "no page")) << s.message();
  // The second page ends early: the first stays, nothing of the second.
  s = Filter({Pattern(90, 20, 1), Pattern(90, 20, 2)}, fs, &out, &result, 7);
  EXPECT_FALSE(s.ok());
  EXPECT_TRUE(Contains(s.message(), "page 2")) << s.message();
  EXPECT_EQ(result.pages, 1);
  EXPECT_EQ(out.size(), 1u);
  // A resolution without a colour table is named.
  fs.job.resolution = {300, 300};
  fs.resolutionChosen = true;
  s = Filter({Pattern(90, 20, 1)}, fs, &out, &result);
  EXPECT_FALSE(s.ok());
  EXPECT_TRUE(Contains(s.message(), "300")) << s.message();
  EXPECT_EQ(out.size(), 0u);
}

// ---- The command ---------------------------------------------------------------

#ifdef VANTIK_FILTER_PATH

TEST_F(FilterRun, CommandFollowsFilterConventions) {
  WriteRasterFile(dir_ / "in.ras", {Pattern(64, 16, 1), Pattern(64, 16, 2)});
  struct Case {
    const char* name;
    std::vector<std::string> args;  // after the program
    std::string input;              // standard input
    int exit;
    std::string message;            // a line standard error must hold
    size_t pages;
  };
  const std::string file = dir_ / "in.ras";
  const Case cases[] = {
      {"file argument", {"7", "user", "title", "1", "Resolution=360dpi", file}, "/dev/null", 0,
       "PAGE: 2 1", 2},
      {"standard input", {"7", "user", "title", "1", ""}, file, 0, "PAGE: 2 1", 2},
      {"too few arguments", {"7", "user"}, file, 1, "Usage: ", 0},
      {"missing file", {"7", "u", "t", "1", "", dir_ / "none.ras"}, "/dev/null", 1, "ERROR: ", 0},
      {"bad option", {"7", "u", "t", "1", "VantikContrast=99", file}, "/dev/null", 1,
       "ERROR: VantikContrast=99", 0},
      {"not a raster", {"7", "u", "t", "1", "", dir_ / "log"}, "/dev/null", 1, "ERROR: ", 0},
      // A job's value must not start a line the scheduler would obey.
      {"value with line ends", {"7", "u", "t", "1", "VantikContrast='9\nPPD: *Foo: x\r'", file},
       "/dev/null", 1, "ERROR: VantikContrast=9\\nPPD: *Foo: x\\r: not", 0},
      {"value of 100,000 bytes", {"7", "u", "t", "1", "VantikContrast=" + std::string(100000, '9'), file},
       "/dev/null", 1, "ERROR: VantikContrast=999", 0},
  };
  { std::ofstream(dir_ / "log") << "plain text\n"; }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> argv = {VANTIK_FILTER_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    int rc = RunCommand(argv, c.input, dir_ / "out.ras", dir_ / "err", {"PPD="});
    EXPECT_EQ(rc, c.exit);
    const std::string err = Slurp(dir_ / "err");
    EXPECT_TRUE(Contains(err, c.message)) << err;
    EXPECT_EQ(ReadDotPages(dir_ / "out.ras").size(), c.pages);
    // Every line is the filter's own: none begins with a job's text, and
    // none is long enough for the scheduler to split it.
    for (size_t start = 0, end; start < err.size(); start = end + 1) {
      end = err.find('\n', start);
      if (end == std::string::npos) end = err.size();
      const std::string line = err.substr(start, end - start);
      EXPECT_NE(line.rfind("PPD:", 0), 0u) << line;
      EXPECT_LT(line.size(), 1100u) << line.substr(0, 80);
    }
    if (c.exit != 0) {
      // One line says what went wrong.
      size_t errors = 0;
      for (size_t p = err.find("ERROR: "); p != std::string::npos; p = err.find("ERROR: ", p + 1)) ++errors;
      EXPECT_LE(errors, 1u) << err;
    }
  }
}

// SIGTERM in the middle of page 2: page 1 stays whole, page 2 is dropped,
// and the filter ends cleanly.
TEST_F(FilterRun, CommandCancelsAtTheNextLine) {
  const std::vector<InputPage> pages = {Pattern(300, 60, 1), Pattern(300, 60, 2)};
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  const std::string input = "/dev/fd/" + std::to_string(fds[0]);
  Spawned child = Start({VANTIK_FILTER_PATH, "1", "u", "t", "1", ""}, input, dir_ / "out.ras",
                        dir_ / "err", {"PPD="});
  ::close(fds[0]);
  ASSERT_GT(child.pid, 0);
  // Page 1 whole and half of page 2, then wait until page 1 is out.
  cups_raster_t* r = cupsRasterOpen(fds[1], CUPS_RASTER_WRITE);
  for (int i = 0; i < 2; ++i) {
    cups_page_header2_t h = InputHeader(pages[i]);
    cupsRasterWriteHeader2(r, &h);
    std::vector<uint8_t> line(h.cupsBytesPerLine);
    for (int y = 0; y < (i == 0 ? pages[i].height : 30); ++y) {
      for (int x = 0; x < pages[i].width; ++x) pages[i].pixel(x, y, &line[size_t(x) * 3]);
      cupsRasterWritePixels(r, line.data(), unsigned(line.size()));
    }
  }
  for (int i = 0; i < 500 && !Contains(Slurp(dir_ / "err"), "PAGE: 1 1"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(Contains(Slurp(dir_ / "err"), "PAGE: 1 1"));
  ::kill(child.pid, SIGTERM);
  // The filter before this one goes away too when a job is cancelled.
  cupsRasterClose(r);
  ::close(fds[1]);
  EXPECT_EQ(Wait(child, std::chrono::seconds(60)), 0);
  const std::string err = Slurp(dir_ / "err");
  EXPECT_TRUE(Contains(err, "INFO: Job cancelled after 1 page")) << err;
  EXPECT_FALSE(Contains(err, "ERROR:")) << err;
  EXPECT_FALSE(Contains(err, "PAGE: 2")) << err;
  bool truncated = true;
  EXPECT_EQ(ReadDotPages(dir_ / "out.ras", &truncated).size(), 1u);
  EXPECT_FALSE(truncated);
}

#endif  // VANTIK_FILTER_PATH

}  // namespace
}  // namespace vantik::queuetest
