// The vantik program on bad input: one line naming the file or option, a
// non-zero exit, and nothing left in the output directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

#ifdef VANTIK_TEST_CUPS
#include <cups/raster.h>
#endif

#ifdef VANTIK_TOOL_PATH

struct Outcome {
  int exit = 0;
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vantik-cli-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "out");
  }
  void TearDown() override { fs::remove_all(dir_); }

  Outcome Vantik(const std::string& args, const std::string& input = "/dev/null") {
    const std::string out = (dir_ / "stdout").string(), err = (dir_ / "stderr").string();
    // The leak checker would report libvips' process-lifetime caches.
    std::string cmd = "ASAN_OPTIONS=detect_leaks=0 " + std::string(VANTIK_TOOL_PATH) + " " +
                      args + " >" + out + " 2>" + err + " <" + input;
    int status = std::system(cmd.c_str());
    Outcome r;
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  int OutFiles() const {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_ / "out")) ++n;
    return n;
  }
  fs::path dir_;
};

// One line on standard error that mentions `needle`.
void ExpectOneLine(const Outcome& r, const std::string& needle) {
  EXPECT_NE(r.exit, 0);
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  EXPECT_NE(r.err.find(needle), std::string::npos) << r.err;
}

TEST_F(CliTest, BadInputIsOneLineAndLeavesNothing) {
  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 200x150").exit, 0);
  { std::ofstream(Path("notes.png")) << "this is text, not an image\n"; }
  fs::create_directories(Path("badres"));
  struct Case {
    const char* name;
    std::string args;
    std::string needle;
  };
  const std::string out = " -o " + Path("out");
  const std::string chart = Path("chart.png");
  const Case cases[] = {
      {"missing file", "print " + Path("nothing.png") + out, "nothing.png"},
      {"unknown format", "print " + Path("notes.png") + out, "notes.png"},
      {"brightness out of range", "print " + chart + out + " --brightness 60", "--brightness"},
      {"contrast out of range", "print " + chart + out + " --contrast -51", "--contrast"},
      {"unknown method", "print " + chart + out + " --method stipple", "--method"},
      {"malformed resolution", "print " + chart + out + " --resolution 720", "--resolution"},
      {"resolution without a table", "print " + chart + out + " --resolution 300x300",
       "300 x 300 dpi"},
      {"unknown paper", "print " + chart + out + " --paper canvas", "--paper"},
      {"calibration out of range", "print " + chart + out + " --calibration 80", "--calibration"},
      {"broken resource directory", "--resources " + Path("badres") + " print " + chart + out,
       "badres"},
      {"missing resource directory", "--resources " + Path("nodir") + " print " + chart + out,
       "nodir"},
      {"page too small for dpi", "print " + chart + out + " --dpi 10", "--dpi"},
      {"bad page", "print " + chart + out + " --page b5", "--page"},
      {"preview sharpen", "preview " + chart + " -o " + Path("out/p.png") + " --sharpen 4",
       "--sharpen"},
      {"separate missing file", "separate " + Path("none.tif") + " -o " + Path("out/s.tif"),
       "none.tif"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome r = Vantik(c.args);
    ExpectOneLine(r, c.needle);
    EXPECT_EQ(OutFiles(), 0);
  }
}

TEST_F(CliTest, ToolOptionsGoBeforeOrAfterTheCommand) {
  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 100x80").exit, 0);
  for (const std::string& args : {"-q print " + Path("chart.png") + " -o " + Path("out/a"),
                                 "print " + Path("chart.png") + " -o " + Path("out/b") + " -q"}) {
    SCOPED_TRACE(args);
    Outcome r = Vantik(args + " --page 1x1in --resolution 360x360");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "");  // quiet: no list of files
  }
  EXPECT_TRUE(fs::exists(Path("out/b/chart-black.pbm")));
  Outcome r = Vantik("--version");
  EXPECT_EQ(r.exit, 0);
  EXPECT_EQ(r.out.rfind("vantik ", 0), 0u) << r.out;
  r = Vantik("print --help");
  EXPECT_EQ(r.exit, 0);
  for (const char* shown : {"(default: diffusion)", "(default: 720x720)", "(default: letter)",
                            "(default: plain)", "-50..50"}) {
    EXPECT_NE(r.out.find(shown), std::string::npos) << shown;
  }
}

TEST_F(CliTest, PrintWritesPlanesAndTheSimulatedPrint) {
  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 300x200").exit, 0);
  Outcome r = Vantik("-q print " + Path("chart.png") + " -o " + Path("out") +
                 " --page 1x0.75in --resolution 360x360");
  ASSERT_EQ(r.exit, 0) << r.err;
  for (const char* ink : {"cyan", "magenta", "yellow", "black"}) {
    for (const char* ext : {".pbm", ".tif"}) {
      EXPECT_TRUE(fs::exists(Path("out/chart-") + ink + ext)) << ink << ext;
    }
  }
  EXPECT_TRUE(fs::exists(Path("out/chart-print.png")));
  EXPECT_EQ(OutFiles(), 9);  // no temporary files left
  std::ifstream pbm(Path("out/chart-black.pbm"), std::ios::binary);
  std::string magic;
  int w = 0, h = 0;
  pbm >> magic >> w >> h;
  EXPECT_EQ(magic, "P4");
  EXPECT_EQ(w, 360);
  EXPECT_EQ(h, 270);
  EXPECT_EQ(fs::file_size(Path("out/chart-black.pbm")), 11 + size_t(45) * 270);
}

// Reads an 8-bit TIFF into packed samples; width, height and samples per
// pixel through the pointers.
std::vector<uint8_t> ReadTiff(const std::string& path, uint32_t* w, uint32_t* h, uint16_t* spp,
                              uint16_t* photometric) {
  std::vector<uint8_t> data;
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (t == nullptr) return data;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, spp);
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, photometric);
  std::vector<uint8_t> line(TIFFScanlineSize(t));
  for (uint32_t y = 0; y < *h; ++y) {
    TIFFReadScanline(t, line.data(), y, 0);
    data.insert(data.end(), line.begin(), line.end());
  }
  TIFFClose(t);
  return data;
}

// Writes a w x h RGBA TIFF of one colour.
void WriteRgbaTiff(const std::string& path, int w, int h, const uint8_t rgba[4]) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(w));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(h));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
  TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
  std::vector<uint8_t> line;
  for (int x = 0; x < w; ++x) line.insert(line.end(), rgba, rgba + 4);
  for (int y = 0; y < h; ++y) TIFFWriteScanline(t, line.data(), uint32_t(y), 0);
  TIFFClose(t);
}

TEST_F(CliTest, AlphaIsCompositedOnWhitePaper) {
  const uint8_t clear[4] = {0, 0, 0, 0}, half[4] = {0, 0, 0, 128};
  WriteRgbaTiff(Path("clear.tif"), 16, 8, clear);
  WriteRgbaTiff(Path("half.tif"), 16, 8, half);
  uint32_t w = 0, h = 0;
  uint16_t spp = 0, photometric = 0;
  ASSERT_EQ(Vantik("separate " + Path("clear.tif") + " -o " + Path("out/c.tif")).exit, 0);
  std::vector<uint8_t> inks = ReadTiff(Path("out/c.tif"), &w, &h, &spp, &photometric);
  ASSERT_EQ(inks.size(), size_t(16) * 8 * 4);
  EXPECT_EQ(*std::max_element(inks.begin(), inks.end()), 0);  // transparent black is paper
  ASSERT_EQ(Vantik("separate " + Path("half.tif") + " -o " + Path("out/h.tif")).exit, 0);
  inks = ReadTiff(Path("out/h.tif"), &w, &h, &spp, &photometric);
  ASSERT_EQ(inks.size(), size_t(16) * 8 * 4);
  EXPECT_GT(inks[0] + inks[1] + inks[2] + inks[3], 0);  // half-covered black is a gray
}

TEST_F(CliTest, SeparateAndPreviewWriteTheirImages) {
  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 150x100").exit, 0);
  for (const char* ink : {"colour", "color", "black"}) {
    SCOPED_TRACE(ink);
    Outcome r = Vantik("separate " + Path("chart.png") + " -o " + Path("out/inks.tif") +
                       " --ink " + ink);
    ASSERT_EQ(r.exit, 0) << r.err;
    uint32_t w = 0, h = 0;
    uint16_t spp = 0, photometric = 0;
    std::vector<uint8_t> cmyk = ReadTiff(Path("out/inks.tif"), &w, &h, &spp, &photometric);
    ASSERT_EQ(w, 150u);
    ASSERT_EQ(h, 100u);
    ASSERT_EQ(spp, 4);
    EXPECT_EQ(photometric, PHOTOMETRIC_SEPARATED);
    // The chart's corner is paper white; its gray ramp starts black.
    for (int c = 0; c < 4; ++c) EXPECT_EQ(cmyk[c], 0) << c;
    const size_t black = (size_t(5) * 150 + 5) * 4;
    EXPECT_GT(cmyk[black + 3], 128);
    if (std::string(ink) == "black") {
      EXPECT_EQ(cmyk[black] + cmyk[black + 1] + cmyk[black + 2], 0);
    }
  }
  Outcome r = Vantik("preview " + Path("chart.png") + " -o " + Path("out/p.png") +
                     " --brightness 20 --sharpen 3 --gamma 2.2");
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(fs::exists(Path("out/p.png")));
  EXPECT_EQ(OutFiles(), 2);
}

#ifdef VANTIK_TEST_CUPS
// Writes a CUPS raster of `pages` pages, width x height pixels of 8-bit RGB
// at 360 dpi: a dark left half and white right half.  `cut` drops that many
// bytes from the end of the stream.
void WriteRaster(const std::string& path, int pages, int width, int height, size_t cut = 0) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  for (int p = 0; p < pages; ++p) {
    cups_page_header2_t h{};
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBitsPerColor = 8;
    h.cupsBitsPerPixel = 24;
    h.cupsBytesPerLine = width * 3;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.cupsColorSpace = CUPS_CSPACE_SRGB;
    h.HWResolution[0] = h.HWResolution[1] = 360;
    cupsRasterWriteHeader2(r, &h);
    std::vector<uint8_t> line(size_t(width) * 3, 255);
    std::fill(line.begin(), line.begin() + width / 2 * 3, 40);
    for (int y = 0; y < height; ++y) cupsRasterWritePixels(r, line.data(), unsigned(line.size()));
  }
  cupsRasterClose(r);
  ::close(fd);
  if (cut > 0) fs::resize_file(path, fs::file_size(path) - cut);
}

TEST_F(CliTest, CupsRasterPrintsAtItsOwnResolution) {
  WriteRaster(Path("job.ras"), 2, 120, 90);
  Outcome r = Vantik("-q print " + Path("job.ras") + " -o " + Path("out"));
  ASSERT_EQ(r.exit, 0) << r.err;
  for (const char* page : {"p1", "p2"}) {
    std::ifstream pbm(Path("out/job-") + page + "-black.pbm", std::ios::binary);
    std::string magic;
    int w = 0, h = 0;
    pbm >> magic >> w >> h;
    EXPECT_EQ(magic, "P4") << page;
    EXPECT_EQ(w, 120);
    EXPECT_EQ(h, 90);
  }
  EXPECT_EQ(OutFiles(), 18);

  // The same stream on standard input.
  fs::remove_all(Path("out"));
  fs::create_directories(Path("out"));
  r = Vantik("-q print - -o " + Path("out"), Path("job.ras"));
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(fs::exists(Path("out/page-p1-cyan.pbm")));
}

TEST_F(CliTest, BrokenCupsRasterLeavesNothing) {
  WriteRaster(Path("cut.ras"), 1, 120, 90, 500);
  Outcome r = Vantik("-q print " + Path("cut.ras") + " -o " + Path("out"));
  ExpectOneLine(r, "cut.ras");
  EXPECT_EQ(OutFiles(), 0);
}
#endif

#else

TEST(CliTest, NeedsTheTool) { GTEST_SKIP() << "built without the vantik tool"; }

#endif

}  // namespace
