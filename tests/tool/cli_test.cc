// The vantik program on bad input: one line naming the file or option, a
// non-zero exit, and nothing left in the output directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <fcntl.h>
#include <lcms2.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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
  // Separates the 150 x 100 test chart (chart.png) through the resource
  // directory `dir` into `cmyk` and prints it: paper stays white and the
  // gray ramp's first patch is black.
  void SeparateAndPrintChart(const std::string& dir, std::vector<uint8_t>* cmyk);
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
  // Measurements of paper and solid cyan: no overprints to build a model of,
  // no ramps to calibrate.
  {
    std::ofstream(Path("ramp.ti3"))
        << "CTI3\nNUMBER_OF_FIELDS 7\nBEGIN_DATA_FORMAT\n"
           "CMYK_C CMYK_M CMYK_Y CMYK_K XYZ_X XYZ_Y XYZ_Z\nEND_DATA_FORMAT\n"
           "NUMBER_OF_SETS 2\nBEGIN_DATA\n0 0 0 0 85 88 75\n100 0 0 0 15 23 50\nEND_DATA\n";
  }
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
      {"missing model", "print " + chart + out + " --model " + Path("none.ti3"), "none.ti3"},
      {"model not measurements", "print " + chart + out + " --model " + Path("notes.png"),
       "not CGATS measurement data"},
      {"model without overprints", "print " + chart + out + " --model " + Path("ramp.ti3"),
       "overprint"},
      {"calibration without every ink's ramp",
       "calibrate build " + Path("ramp.ti3") + " -o " + Path("out/cal"), "cyan alone"},
      {"calibration chart with too few steps", "calibrate chart -o " + Path("out/t.ti1") + " --steps 1",
       "--steps"},
      {"preview sharpen", "preview " + chart + " -o " + Path("out/p.png") + " --sharpen 4",
       "--sharpen"},
      {"separate missing file", "separate " + Path("none.tif") + " -o " + Path("out/s.tif"),
       "none.tif"},
      {"separate to PNG", "separate " + chart + " -o " + Path("out/s.png"),
       "out/s.png: separate writes the ink values as a CMYK TIFF; name the output .tif or .tiff"},
      {"output is a file", "print " + chart + " -o " + chart, "chart.png: not a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome r = Vantik(c.args);
    ExpectOneLine(r, c.needle);
    EXPECT_EQ(OutFiles(), 0);
  }
  if (::geteuid() != 0) {  // root writes into read-only folders
    fs::create_directories(Path("ro"));
    fs::permissions(Path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    ExpectOneLine(Vantik("print " + chart + " -o " + Path("ro")), "ro: cannot write files in this directory");
    ExpectOneLine(Vantik("chart -o " + Path("ro/c.png")), "ro: cannot write files in this directory");
  }
}

// A PNG whose header claims 100000 x 100000 pixels, with almost no data.
const uint8_t kLyingPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x01, 0x86, 0xa0, 0x00, 0x01, 0x86, 0xa0, 0x08, 0x02, 0x00, 0x00, 0x00, 0x27,
    0x30, 0x9c, 0x9f, 0x00, 0x00, 0x00, 0x0b, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x60,
    0x80, 0x01, 0x00, 0x00, 0x0a, 0x00, 0x01, 0x7f, 0x80, 0x74, 0x5e, 0x00, 0x00, 0x00, 0x00,
    0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
// The same claiming 3000 x 3000 pixels (under the pixel limit).
const uint8_t kLyingHeader3000[] = {0x00, 0x00, 0x0b, 0xb8, 0x00, 0x00, 0x0b, 0xb8, 0x08,
                                    0x02, 0x00, 0x00, 0x00, 0xfe, 0x77, 0x62, 0x2e};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST_F(CliTest, DamagedImagesAreRefusedByEveryCommand) {
  // Real files of each format, then damaged copies of them.
  for (const char* ext : {"png", "jpg", "tif", "ppm"}) {
    ASSERT_EQ(Vantik("chart -o " + Path(std::string("good.") + ext) + " --size 400x300").exit, 0);
  }
  auto cut = [&](const std::string& from, size_t keep, const std::string& to) {
    std::string bytes = Slurp(Path(from));
    WriteBytes(Path(to), bytes.substr(0, std::min(keep, bytes.size() * keep / 1000)));
  };
  struct Case {
    const char* file;
    std::function<void()> make;
    const char* message;
  };
  std::string lying(reinterpret_cast<const char*>(kLyingPng), sizeof kLyingPng);
  std::string lying3000 = lying;
  lying3000.replace(16, sizeof kLyingHeader3000,
                    std::string(reinterpret_cast<const char*>(kLyingHeader3000), sizeof kLyingHeader3000));
  const Case cases[] = {
      // keep: a fraction in thousandths of the file, at most that many bytes
      {"cut60.png", [&] { cut("good.png", 60, "cut60.png"); }, "the image is damaged or cut short"},
      {"cut.png", [&] { cut("good.png", 700, "cut.png"); }, "the image is damaged or cut short"},
      {"cut100.jpg", [&] { cut("good.jpg", 100, "cut100.jpg"); }, "the image is damaged or cut short"},
      {"cut.jpg", [&] { cut("good.jpg", 600, "cut.jpg"); }, "the image is damaged or cut short"},
      {"cut.tif", [&] { cut("good.tif", 500, "cut.tif"); }, "the image is damaged or cut short"},
      {"cut.ppm", [&] { cut("good.ppm", 900, "cut.ppm"); }, "the image is cut short ("},
      {"magic.png", [&] { WriteBytes(Path("magic.png"), "GIF89a\x01\x00\x01\x00"); },
       "magic.png: the image is damaged or cut short"},
      {"huge.png", [&] { WriteBytes(Path("huge.png"), lying); },
       "huge.png: the image is 100000 x 100000 pixels, more than the limit of"},
      {"lying.png", [&] { WriteBytes(Path("lying.png"), lying3000); },
       "lying.png: the image is damaged or cut short"},
      {"zero.ppm", [&] { WriteBytes(Path("zero.ppm"), "P6\n0 0\n255\n"); },
       "zero.ppm: the PNM header gives a size of 0 x 0 pixels"},
      {"negative.pgm", [&] { WriteBytes(Path("negative.pgm"), "P5\n-4 3\n255\nabc"); },
       "negative.pgm: the PNM header gives a size of -4 x 3 pixels"},
      {"folder.png", [&] { fs::create_directories(Path("folder.png")); },
       "folder.png: is a directory, not a file"},
      {"empty.png", [&] { WriteBytes(Path("empty.png"), ""); }, "empty.png: the file is empty"},
      {"text.png", [&] { WriteBytes(Path("text.png"), "not an image\n"); },
       "text.png: not an image format vantik reads"},
  };
  for (const Case& c : cases) {
    c.make();
    for (const char* command : {"print", "preview", "separate"}) {
      SCOPED_TRACE(std::string(command) + " " + c.file);
      const std::string out = std::string(command) == "print"      ? Path("out")
                              : std::string(command) == "preview" ? Path("out/p.png")
                                                                  : Path("out/s.tif");
      const std::string extra = std::string(command) == "print" ? " --page 2x2in" : "";
      Outcome r = Vantik(std::string(command) + " " + Path(c.file) + " -o " + out + extra);
      EXPECT_EQ(r.exit, 1);
      ExpectOneLine(r, c.message);
      EXPECT_EQ(OutFiles(), 0);
    }
  }
  // The limit is settable, and checked before anything is decoded.
  Outcome r = Vantik("--max-pixels 100000 print " + Path("good.png") + " -o " + Path("out"));
  ExpectOneLine(r, "the image is 400 x 300 pixels, more than the limit of 100000");
  EXPECT_EQ(OutFiles(), 0);
}

TEST_F(CliTest, ToolOptionsGoBeforeOrAfterTheCommand) {
  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 100x80").exit, 0);
  for (const std::string& args : {"-q print " + Path("chart.png") + " -o " + Path("out/a/b/c"),
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

// The simulated print shows the built-in measured printer unless --model
// names another: the same measurements as a file give the same picture,
// ideal inks a different one.
TEST_F(CliTest, ModelChoosesThePrinterTheSimulatedPrintShows) {
  const char* source = std::getenv("VANTIK_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "VANTIK_SOURCE_DIR is not set";
  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 120x80").exit, 0);
  const std::string base = "-q print " + Path("chart.png") + " --page 1x0.75in --resolution 360x360";
  const std::string measured = std::string(source) + "/resources/measurements/fogra39l.ti3";
  for (const auto& [dir, model] : {std::pair<std::string, std::string>{"default", ""},
                                   {"file", " --model " + measured},
                                   {"ideal", " --model ideal"}}) {
    Outcome r = Vantik(base + " -o " + Path(dir) + model);
    ASSERT_EQ(r.exit, 0) << dir << ": " << r.err;
  }
  const std::string def = Slurp(Path("default/chart-print.png"));
  EXPECT_FALSE(def.empty());
  EXPECT_EQ(def, Slurp(Path("file/chart-print.png")));
  EXPECT_NE(def, Slurp(Path("ideal/chart-print.png")));
  // The ink planes do not depend on the model.
  EXPECT_EQ(Slurp(Path("default/chart-cyan.pbm")), Slurp(Path("ideal/chart-cyan.pbm")));
}

// Calibration round trip on the command line: the chart lists paper and
// every ink's ramp; measurements of it become a resource directory whose
// calibration a print then uses.
TEST_F(CliTest, CalibrateWritesAChartAndAResourceDirectory) {
  const char* source = std::getenv("VANTIK_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "VANTIK_SOURCE_DIR is not set";
  Outcome r = Vantik("calibrate chart -o " + Path("target.ti1") + " --steps 10");
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(Slurp(Path("target.ti1")).find("NUMBER_OF_SETS 41"), std::string::npos);

  // The shipped press measurements hold paper and each ink's ramp.
  const std::string measured = std::string(source) + "/resources/measurements/fogra39l.ti3";
  r = Vantik("calibrate build " + measured + " -o " + Path("cal"));
  ASSERT_EQ(r.exit, 0) << r.err;
  for (const char* ink : {"cyan", "magenta", "yellow", "black"}) {
    EXPECT_NE(r.out.find(ink), std::string::npos) << r.out;
  }
  EXPECT_EQ(fs::file_size(Path("cal/color/990.bin")), 4u);
  EXPECT_EQ(fs::file_size(Path("cal/color/901.bin")), 21u * 256);
  EXPECT_TRUE(fs::exists(Path("cal/halftone")));
  r = Vantik("calibrate build " + measured + " -o " + Path("gray") + " --ink black");
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(fs::file_size(Path("gray/color/990.bin")), 1u);

  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 120x80").exit, 0);
  const std::string print = "-q print " + Path("chart.png") + " --page 1x0.75in --resolution 360x360";
  r = Vantik("--resources " + Path("cal") + " " + print + " -o " + Path("out/a") + " --calibration 50");
  ASSERT_EQ(r.exit, 0) << r.err;
  r = Vantik(print + " -o " + Path("out/b") + " --calibration 50");
  ASSERT_EQ(r.exit, 0) << r.err;
  // The measured calibration is not the built-in one.
  EXPECT_NE(Slurp(Path("out/a/chart-cyan.pbm")), Slurp(Path("out/b/chart-cyan.pbm")));
}

// The output profile of a print setting: a file LittleCMS opens as a CMYK
// output profile; settings it cannot describe are refused.
TEST_F(CliTest, ResourcesProfileWritesAnIccOutputProfile) {
  Outcome r = Vantik("resources profile -o " + Path("out/printer.icc") + " --paper photo");
  ASSERT_EQ(r.exit, 0) << r.err;
  const std::string bytes = Slurp(Path("out/printer.icc"));
  cmsHPROFILE p = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(cmsGetDeviceClass(p), cmsSigOutputClass);
  EXPECT_EQ(cmsGetColorSpace(p), cmsSigCmykData);
  char text[128] = {};
  cmsGetProfileInfoASCII(p, cmsInfoDescription, "en", "US", text, sizeof text);
  EXPECT_STREQ(text, "vantik diffusion 720x720 photo paper");
  cmsCloseProfile(p);
  for (const auto& [args, needle] : {std::pair<std::string, std::string>{"--model ideal", "--model"},
                                     {"--ink black", "--ink"}}) {
    r = Vantik("resources profile -o " + Path("out/bad.icc") + " " + args);
    ExpectOneLine(r, needle);
    EXPECT_FALSE(fs::exists(Path("out/bad.icc")));
  }
}

// Reads a TIFF into packed samples; width, height and samples per
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

void CliTest::SeparateAndPrintChart(const std::string& dir, std::vector<uint8_t>* cmyk) {
  Outcome r = Vantik("--resources " + dir + " separate " + Path("chart.png") + " -o " +
                     Path("out/inks.tif"));
  ASSERT_EQ(r.exit, 0) << r.err;
  uint32_t w = 0, h = 0;
  uint16_t spp = 0, photometric = 0;
  *cmyk = ReadTiff(Path("out/inks.tif"), &w, &h, &spp, &photometric);
  ASSERT_EQ(cmyk->size(), size_t(150) * 100 * 4);
  for (int c = 0; c < 4; ++c) EXPECT_EQ((*cmyk)[c], 0) << c;  // paper white
  EXPECT_GT((*cmyk)[(size_t(5) * 150 + 5) * 4 + 3], 128);    // the gray ramp's black
  r = Vantik("-q --resources " + dir + " print " + Path("chart.png") +
             " --page 1x0.75in --resolution 360x360 -o " + Path("out/p"));
  EXPECT_EQ(r.exit, 0) << r.err;
}

TEST_F(CliTest, PrintWritesTheFilesFormatAsks) {
  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 300x200").exit, 0);
  struct Case {
    const char* args;
    std::vector<std::string> extensions;  // plane files of each ink
    bool simulated;
  };
  const Case cases[] = {
      {"", {".pbm"}, true},  // the default costs little
      {"--format pbm,tiff --method clustered", {".pbm", ".tif"}, true},
      {"--format pbm,tiff --method diffusion", {".pbm", ".tif"}, true},
      {"--format tiff --simulate off", {".tif"}, false},
      {"--format none", {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove_all(Path("out"));
    Outcome r = Vantik("-q print " + Path("chart.png") + " -o " + Path("out") +
                       " --page 1x0.75in --resolution 360x360 " + c.args);
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(fs::exists(Path("out/chart-print.png")), c.simulated);
    EXPECT_EQ(OutFiles(), int(c.extensions.size()) * 4 + c.simulated);  // no temporary files
    for (const char* ink : {"cyan", "magenta", "yellow", "black"}) {
      for (const std::string& ext : c.extensions) {
        EXPECT_TRUE(fs::exists(Path("out/chart-") + ink + ext)) << ink << ext;
      }
    }
    if (c.extensions.size() != 2) continue;
    // The PBM and the TIFF hold the same dots, whatever the compression.
    std::ifstream pbm(Path("out/chart-magenta.pbm"), std::ios::binary);
    std::string magic;
    int w = 0, h = 0;
    pbm >> magic >> w >> h;
    pbm.get();
    EXPECT_EQ(magic, "P4");
    EXPECT_EQ(w, 360);
    EXPECT_EQ(h, 270);
    std::vector<uint8_t> bits(size_t(45) * 270);
    pbm.read(reinterpret_cast<char*>(bits.data()), std::streamsize(bits.size()));
    uint32_t tw = 0, th = 0;
    uint16_t spp = 0, photometric = 0;
    std::vector<uint8_t> tif = ReadTiff(Path("out/chart-magenta.tif"), &tw, &th, &spp, &photometric);
    EXPECT_EQ(photometric, PHOTOMETRIC_MINISWHITE);
    EXPECT_EQ(tif, bits);
  }
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

// Writes packed samples as a TIFF: 8 or 16 bits, RGB or CMYK, with an
// embedded colour profile when one is given.
void WriteTiff(const std::string& path, const void* samples, int w, int h, int spp, int bits,
               const std::vector<uint8_t>& profile = {}) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(w));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(h));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, spp == 4 ? PHOTOMETRIC_SEPARATED : PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (!profile.empty()) TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.data());
  const size_t row = size_t(w) * spp * bits / 8;
  for (int y = 0; y < h; ++y) {
    TIFFWriteScanline(t, const_cast<uint8_t*>(static_cast<const uint8_t*>(samples) + y * row), uint32_t(y), 0);
  }
  TIFFClose(t);
}

TEST_F(CliTest, ColourManagedImagesPrintAsTheirColours) {
  // The chart, moved into a wide-gamut RGB space at 16 bits with that
  // space's profile embedded, must separate like the chart converted back
  // to sRGB beforehand.
  ASSERT_EQ(Vantik("chart -o " + Path("chart.tif") + " --size 240x160").exit, 0);
  uint32_t w = 0, h = 0;
  uint16_t spp = 0, photometric = 0;
  std::vector<uint8_t> srgb = ReadTiff(Path("chart.tif"), &w, &h, &spp, &photometric);
  ASSERT_EQ(spp, 3);
  cmsCIExyY white = {0.3127, 0.3290, 1.0};
  cmsCIExyYTRIPLE wide = {{0.7347, 0.2653, 1.0}, {0.1152, 0.8264, 1.0}, {0.1566, 0.0177, 1.0}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 1.8);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE wideProfile = cmsCreateRGBProfile(&white, &wide, curves);
  cmsHPROFILE srgbProfile = cmsCreate_sRGBProfile();
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(wideProfile, nullptr, &size);
  std::vector<uint8_t> profile(size);
  cmsSaveProfileToMem(wideProfile, profile.data(), &size);
  const size_t n = size_t(w) * h;
  std::vector<uint16_t> wide16(n * 3);
  cmsHTRANSFORM in = cmsCreateTransform(srgbProfile, TYPE_RGB_8, wideProfile, TYPE_RGB_16,
                                        INTENT_RELATIVE_COLORIMETRIC, 0);
  cmsDoTransform(in, srgb.data(), wide16.data(), cmsUInt32Number(n));
  std::vector<uint8_t> back(n * 3);
  cmsHTRANSFORM out = cmsCreateTransform(wideProfile, TYPE_RGB_16, srgbProfile, TYPE_RGB_8,
                                         INTENT_RELATIVE_COLORIMETRIC, 0);
  cmsDoTransform(out, wide16.data(), back.data(), cmsUInt32Number(n));
  cmsDeleteTransform(in);
  cmsDeleteTransform(out);
  cmsCloseProfile(wideProfile);
  cmsCloseProfile(srgbProfile);
  cmsFreeToneCurve(gamma);
  WriteTiff(Path("tagged.tif"), wide16.data(), int(w), int(h), 3, 16, profile);
  WriteTiff(Path("untagged.tif"), wide16.data(), int(w), int(h), 3, 16);
  WriteTiff(Path("converted.tif"), back.data(), int(w), int(h), 3, 8);

  auto inks = [&](const std::string& name) {
    Outcome r = Vantik("separate " + Path(name) + " -o " + Path("out/" + name));
    EXPECT_EQ(r.exit, 0) << r.err;
    uint32_t iw = 0, ih = 0;
    uint16_t ispp = 0, iphotometric = 0;
    return ReadTiff(Path("out/" + name), &iw, &ih, &ispp, &iphotometric);
  };
  auto meanDifference = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return a.size() == b.size() && !a.empty() ? sum / a.size() : 1e9;
  };
  const std::vector<uint8_t> expected = inks("converted.tif");
  EXPECT_LT(meanDifference(inks("tagged.tif"), expected), 0.5);
  // Without its profile the same data is read as sRGB: far off.
  EXPECT_GT(meanDifference(inks("untagged.tif"), expected), 5.0);

  // A CMYK image without a profile goes through a generic CMYK profile:
  // paper stays paper, full black ink prints dark.
  const uint8_t cmyk[2 * 4] = {0, 0, 0, 0, 0, 0, 0, 255};
  WriteTiff(Path("cmyk.tif"), cmyk, 2, 1, 4, 8);
  std::vector<uint8_t> k = inks("cmyk.tif");
  ASSERT_EQ(k.size(), 8u);
  EXPECT_EQ(k[0] + k[1] + k[2] + k[3], 0);
  EXPECT_GT(k[4] + k[5] + k[6] + k[7], 400);
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

// Tables built by inverting the printer model: a directory --resources
// takes; with --pure-black the chart's solid black carries black ink alone
// (the correction by printing keeps it so), without it a
// rich black; a bad setting writes nothing.
TEST_F(CliTest, ResourcesBuildWritesTablesThatPrint) {
  for (const auto& [args, needle] : {std::pair<std::string, std::string>{"--black deep", "--black"},
                                     {"--correct some", "--correct"}}) {
    Outcome r = Vantik("resources build -o " + Path("out/bad") + " " + args);
    ExpectOneLine(r, needle);
    EXPECT_EQ(OutFiles(), 0);
  }
  Outcome r;

  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 150x100").exit, 0);
  const size_t black = (size_t(5) * 150 + 5) * 4;  // the chart's gray ramp starts black
  for (bool pure : {false, true}) {
    SCOPED_TRACE(pure ? "pure black" : "rich black");
    const std::string dir = Path(pure ? "pure" : "rich");
    // The rich-black build skips the correction, which the pure-black one
    // already runs through the same path.
    r = Vantik("-q resources build -o " + dir + (pure ? " --pure-black" : " --correct none"));
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir + "/color/1.bin"));
    EXPECT_TRUE(fs::exists(dir + "/halftone"));
    std::vector<uint8_t> cmyk;
    ASSERT_NO_FATAL_FAILURE(SeparateAndPrintChart(dir, &cmyk));
    const int colour = cmyk[black] + cmyk[black + 1] + cmyk[black + 2];
    if (pure) {
      EXPECT_EQ(colour, 0);
    } else {
      EXPECT_GT(colour, 0);
    }
  }
}

// --correct all rebuilds a screen's table under the screen's own dot rule,
// as the built-in set's is made: the ink-limited screen's plain-paper table
// comes out byte for byte the built-in one, and --table copies every other
// block.  A table the index does not name, or a list that is not numbers,
// is one line and writes nothing.
TEST_F(CliTest, ResourcesBuildRebuildsAScreenTableAsTheBuiltInSet) {
  for (const auto& [args, needle] : {std::pair<std::string, std::string>{"--table 99", "--table 99"},
                                     {"--table 3,x", "--table"},
                                     {"--table ,", "--table"}}) {
    Outcome r = Vantik("resources build -o " + Path("out/bad") + " " + args);
    ExpectOneLine(r, needle);
    EXPECT_EQ(OutFiles(), 0);
  }
  const std::string dir = Path("screen");
  Outcome r = Vantik("-q resources build --correct all --table 3 -o " + dir);
  ASSERT_EQ(r.exit, 0) << r.err;
  ASSERT_EQ(Vantik("resources export " + Path("builtin")).exit, 0);
  for (const char* block : {"color/3.bin", "color/1.bin", "color/17.bin"}) {
    SCOPED_TRACE(block);
    const std::string rebuilt = Slurp(dir + "/" + block);
    ASSERT_FALSE(rebuilt.empty());
    EXPECT_TRUE(rebuilt == Slurp(Path("builtin") + "/" + block));
  }
}

// Tables built from an ICC output profile: the profile vantik writes of
// its own printer builds a directory that separates and prints; a missing or
// broken profile, or --icc with --model, is one line and writes nothing.
TEST_F(CliTest, ResourcesBuildTakesAnIccProfile) {
  WriteBytes(Path("text.icc"), "not a profile at all");
  for (const auto& [args, needle] : {std::pair<std::string, std::string>{
                                         "--icc " + Path("missing.icc"), "missing.icc"},
                                     {"--icc " + Path("text.icc"), "not an ICC profile"},
                                     {"--icc " + Path("text.icc") + " --model x.ti3", "--model"},
                                     {"--icc " + Path("text.icc") + " --correct all", "--correct"}}) {
    Outcome r = Vantik("resources build -o " + Path("out/bad") + " " + args);
    ExpectOneLine(r, needle);
    EXPECT_EQ(OutFiles(), 0);
  }

  ASSERT_EQ(Vantik("resources profile -o " + Path("printer.icc")).exit, 0);
  const std::string dir = Path("icc");
  Outcome r = Vantik("-q resources build --icc " + Path("printer.icc") + " -o " + dir);
  ASSERT_EQ(r.exit, 0) << r.err;
  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 150x100").exit, 0);
  std::vector<uint8_t> cmyk;
  SeparateAndPrintChart(dir, &cmyk);
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

// Pixels of an 8-bit RGB PNG, decoded by libpng; *zlibHeader gets the first
// two bytes of the image data (the deflate stream's header).
std::vector<uint8_t> ReadPng(const std::string& path, int* w, int* h, uint16_t* zlibHeader) {
  std::ifstream f(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  *zlibHeader = 0;
  for (size_t at = 8; at + 12 <= bytes.size();) {
    const auto u8 = [&](size_t i) { return uint32_t(uint8_t(bytes[i])); };
    const uint32_t length = u8(at) << 24 | u8(at + 1) << 16 | u8(at + 2) << 8 | u8(at + 3);
    if (bytes.compare(at + 4, 4, "IDAT") == 0 && length >= 2) {
      *zlibHeader = uint16_t(u8(at + 8) << 8 | u8(at + 9));
      break;
    }
    at += size_t(length) + 12;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  *w = int(image.width);
  *h = int(image.height);
  return rgb;
}

// Pixels of a binary PPM (P6, maxval 255, comments allowed in the header).
std::vector<uint8_t> ReadPpm(const std::string& path, int* w, int* h) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  f >> magic;
  int values[3] = {};
  for (int& v : values) {
    while (f >> std::ws && f.peek() == '#') f.ignore(1 << 20, '\n');
    f >> v;
  }
  f.get();
  if (magic != "P6" || values[2] != 255) return {};
  *w = values[0];
  *h = values[1];
  std::vector<uint8_t> rgb(size_t(*w) * size_t(*h) * 3);
  f.read(reinterpret_cast<char*>(rgb.data()), std::streamsize(rgb.size()));
  return f ? rgb : std::vector<uint8_t>{};
}

// PNGs are written at zlib's fastest level (the simulated print is written
// in each page's time); the pixels are what any other format gets.
TEST_F(CliTest, PngsAreWrittenFastAndLossless) {
  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 150x100").exit, 0);
  // Sharpening makes a textured image, not flat patches alone.
  for (const char* out : {"p.png", "p.ppm"}) {
    Outcome r = Vantik("preview " + Path("chart.png") + " -o " + Path(std::string("out/") + out) +
                       " --sharpen 3");
    ASSERT_EQ(r.exit, 0) << r.err;
  }
  int pw = 0, ph = 0, qw = 0, qh = 0;
  uint16_t header = 0;
  const std::vector<uint8_t> png = ReadPng(Path("out/p.png"), &pw, &ph, &header);
  const std::vector<uint8_t> ppm = ReadPpm(Path("out/p.ppm"), &qw, &qh);
  ASSERT_FALSE(png.empty());
  EXPECT_EQ(pw, 150);
  EXPECT_EQ(ph, 100);
  EXPECT_EQ(qw, pw);
  EXPECT_EQ(qh, ph);
  EXPECT_TRUE(png == ppm);
  // Deflate, 32 KiB window, level field 0: the fastest level.
  EXPECT_EQ(header, 0x7801) << std::hex << header;
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
  EXPECT_EQ(OutFiles(), 10);

  // The same stream on standard input.
  fs::remove_all(Path("out"));
  fs::create_directories(Path("out"));
  r = Vantik("-q print - -o " + Path("out"), Path("job.ras"));
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(fs::exists(Path("out/page-p1-cyan.pbm")));
}

TEST_F(CliTest, SigtermMidPageKeepsOnlyFinishedPages) {
  // The tool reads a raster from a pipe: page 1 whole, page 2 cut off
  // mid-page while the tool waits for more, as a queue's cancel finds it.
  std::signal(SIGPIPE, SIG_IGN);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const std::string err = Path("stderr");
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[0], 0);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(e, 2);
    ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    ::execl(VANTIK_TOOL_PATH, "vantik", "-q", "print", "-", "-o", Path("out").c_str(), nullptr);
    ::_exit(127);
  }
  ::close(pipeFds[0]);
  cups_raster_t* r = cupsRasterOpen(pipeFds[1], CUPS_RASTER_WRITE);
  cups_page_header2_t h{};
  h.cupsWidth = 120;
  h.cupsHeight = 90;
  h.cupsBitsPerColor = 8;
  h.cupsBitsPerPixel = 24;
  h.cupsBytesPerLine = 360;
  h.cupsColorOrder = CUPS_ORDER_CHUNKED;
  h.cupsColorSpace = CUPS_CSPACE_SRGB;
  h.HWResolution[0] = h.HWResolution[1] = 360;
  std::vector<uint8_t> line(360, 100);
  cupsRasterWriteHeader2(r, &h);
  for (int y = 0; y < 90; ++y) cupsRasterWritePixels(r, line.data(), 360);
  cupsRasterWriteHeader2(r, &h);
  for (int y = 0; y < 10; ++y) cupsRasterWritePixels(r, line.data(), 360);
  // Wait for page 1's files and page 2's temporary files.
  auto hidden = [&] {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir_ / "out")) n += e.path().filename().string()[0] == '.';
    return n;
  };
  for (int i = 0; i < 400 && !(fs::exists(Path("out/page-p1-print.png")) && hidden() > 0); ++i) {
    ::usleep(50000);
  }
  ASSERT_GT(hidden(), 0) << "page 2 never started";
  ::kill(pid, SIGTERM);
  // The tool must stop by itself while the pipe is still open; a tool that
  // keeps waiting for input is killed so that the test fails instead of hanging.
  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 600 && done == 0; ++i) {
    done = ::waitpid(pid, &status, WNOHANG);
    if (done == 0) ::usleep(50000);
  }
  if (done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    cupsRasterClose(r);
    ::close(pipeFds[1]);
    FAIL() << "the tool did not stop within 30 s of SIGTERM";
  }
  cupsRasterClose(r);
  ::close(pipeFds[1]);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(hidden(), 0);
  EXPECT_EQ(OutFiles(), 5);  // page 1 stays, nothing of page 2
  EXPECT_FALSE(fs::exists(Path("out/page-p2-black.pbm")));
  EXPECT_NE(Slurp(err).find("stopped by SIGTERM"), std::string::npos) << Slurp(err);
}

// A one-inch PostScript page: a gray square, a red square and text.
void WritePostScript(const std::string& path) {
  std::ofstream(path) << "%!PS\n<< /PageSize [72 72] >> setpagedevice\n"
                         "0.5 setgray 4 4 30 30 rectfill 1 0 0 setrgbcolor 38 38 30 30 rectfill\n"
                         "0 setgray /Helvetica findfont 12 scalefont setfont 4 50 moveto (Hi) show\n"
                         "showpage\n";
}

bool Have(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

TEST_F(CliTest, RastersFromGhostscriptAndTheCupsFiltersPrint) {
  if (!Have("gs")) GTEST_SKIP() << "ghostscript is not installed";
  WritePostScript(Path("page.ps"));
  struct Case {
    const char* name;
    std::string gsOptions;   // after -sDEVICE=cups
    std::string printOptions;
    const char* refused;     // nullptr: prints
  };
  const Case cases[] = {
      {"defaults", "", "", "100 x 100 dpi has no colour table; the resources hold 360x360, 720x720"},
      {"defaults, scaled", "", "--resolution 360x360", nullptr},
      {"K 1 bit", "-r360 -dcupsColorSpace=3 -dcupsBitsPerColor=1", "", nullptr},
      {"W 2 bits", "-r360 -dcupsColorSpace=0 -dcupsBitsPerColor=2", "", nullptr},
      {"RGB 8 bits", "-r360 -dcupsColorSpace=1 -dcupsBitsPerColor=8", "", nullptr},
      {"sRGB 16 bits", "-r360 -dcupsColorSpace=19 -dcupsBitsPerColor=16", "", nullptr},
      {"RGB 4 bits", "-r360 -dcupsColorSpace=1 -dcupsBitsPerColor=4", "", nullptr},
      {"RGB banded", "-r360 -dcupsColorSpace=1 -dcupsColorOrder=1", "", nullptr},
      {"CMYK planar", "-r360 -dcupsColorSpace=6 -dcupsColorOrder=2", "", nullptr},
      {"KCMY 2 bits", "-r360 -dcupsColorSpace=8 -dcupsBitsPerColor=2", "", nullptr},
      {"CMY", "-r360 -dcupsColorSpace=4", "", nullptr},
      {"AdobeRGB", "-r360 -dcupsColorSpace=20", "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Path("out"));
    fs::create_directories(Path("out"));
    const std::string gs = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=cups " + c.gsOptions +
                           " -sOutputFile=" + Path("page.ras") + " " + Path("page.ps") + " 2>/dev/null";
    ASSERT_EQ(std::system(gs.c_str()), 0);
    Outcome r = Vantik("print " + Path("page.ras") + " -o " + Path("out") + " " + c.printOptions);
    if (c.refused != nullptr) {
      ExpectOneLine(r, c.refused);
      EXPECT_EQ(OutFiles(), 0);
      continue;
    }
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(OutFiles(), 5);
    // One inch at 360 dpi, whatever the raster's kind.
    std::ifstream pbm(Path("out/page-p1-black.pbm"), std::ios::binary);
    std::string magic;
    int w = 0, h = 0;
    pbm >> magic >> w >> h;
    EXPECT_EQ(w, 360);
    EXPECT_EQ(h, 360);
  }

  const std::string filter = "/usr/lib/cups/filter/pdftoraster";
  if (!fs::exists(filter)) GTEST_SKIP() << "the cups filters are not installed";
  ASSERT_EQ(std::system(("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile=" +
                         Path("page.pdf") + " " + Path("page.ps") + " 2>/dev/null")
                            .c_str()),
            0);
  fs::remove_all(Path("out"));
  fs::create_directories(Path("out"));
  const std::string run = filter + " 1 user title 1 'Resolution=360dpi print-color-mode=color' " +
                          Path("page.pdf") + " >" + Path("filter.ras") + " 2>/dev/null";
  ASSERT_EQ(std::system(run.c_str()), 0);
  Outcome r = Vantik("print " + Path("filter.ras") + " -o " + Path("out"));
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(OutFiles(), 5);
}

// A P4 bitmap or P5 gray map as one byte per pixel (bitmaps: 1 = dot).
std::vector<uint8_t> ReadNetpbm(const std::string& path, int* w, int* h) {
  std::ifstream in(path, std::ios::binary);
  // Header fields, skipping comment lines.
  auto field = [&in]() {
    std::string token;
    while (in >> token && token[0] == '#') std::getline(in, token);
    return token;
  };
  const std::string magic = field();
  *w = std::atoi(field().c_str());
  *h = std::atoi(field().c_str());
  if (magic == "P5") field();
  in.get();
  std::vector<uint8_t> px(size_t(*w) * *h);
  if (magic == "P4") {
    const size_t row = (size_t(*w) + 7) / 8;
    std::vector<uint8_t> bits(row);
    for (int y = 0; y < *h; ++y) {
      in.read(reinterpret_cast<char*>(bits.data()), std::streamsize(row));
      for (int x = 0; x < *w; ++x) px[size_t(y) * *w + x] = (bits[x / 8] >> (7 - x % 8)) & 1;
    }
  } else {
    in.read(reinterpret_cast<char*>(px.data()), std::streamsize(px.size()));
  }
  return in ? px : std::vector<uint8_t>{};
}

// Black text and lines rasterised by Ghostscript at the printer's 720 dpi
// (no anti-aliasing, as a PDF's text reaches the queue): printed with
// --pure-black, no cyan, magenta or yellow dot lies on a glyph or line pixel
// or within 3 dots of one, and the black plane covers the glyphs; printed
// without it, the default method puts colour ink under the text (the fault
// the option mends).  Below the text a dark neutral gradient (gray 0 to
// 30 %), a photograph's shadow, keeps its rich black with the option off.
TEST_F(CliTest, PureBlackPrintsBlackTextWithBlackInkAlone) {
  if (!Have("gs")) GTEST_SKIP() << "ghostscript is not installed";
  // 2 x 1 inch: text and two lines in the top half, the gradient in the
  // bottom 20 points.
  std::ofstream(Path("text.ps"))
      << "%!PS\n<< /PageSize [144 72] >> setpagedevice\n"
         "0 setgray /Helvetica-Bold findfont 14 scalefont setfont 6 50 moveto (Black text) show\n"
         "/Times-Roman findfont 9 scalefont setfont 6 38 moveto (and small print) show\n"
         "0.3 setlinewidth 6 32 moveto 138 32 lineto stroke\n"
         "1.5 setlinewidth 6 28 moveto 138 28 lineto stroke\n"
         "0 1 63 { dup 64 div 0.3 mul setgray 6 add 4 1 6 add 20 rectfill } for\n"
         "showpage\n";
  const std::string gs = "gs -q -dSAFER -dBATCH -dNOPAUSE -r720 -sOutputFile=";
  ASSERT_EQ(std::system((gs + Path("text.ras") + " -sDEVICE=cups -dcupsColorSpace=1 " +
                         "-dcupsBitsPerColor=8 " + Path("text.ps") + " >/dev/null 2>&1").c_str()), 0);
  ASSERT_EQ(std::system((gs + Path("text.pgm") + " -sDEVICE=pgmraw " + Path("text.ps") +
                         " >/dev/null 2>&1").c_str()), 0);
  int w = 0, h = 0;
  const std::vector<uint8_t> page = ReadNetpbm(Path("text.pgm"), &w, &h);
  ASSERT_EQ(w, 1440);
  ASSERT_EQ(h, 720);
  const int textBottom = 720 * 40 / 72;   // text and lines lie above y = 400
  const int gradientTop = 720 * 48 / 72;  // the gradient below y = 480
  // Glyph and line pixels, and the 7 x 7 neighbourhood of each.
  std::vector<uint8_t> glyph(page.size()), near(page.size());
  int glyphs = 0;
  for (int y = 0; y < textBottom; ++y) {
    for (int x = 0; x < w; ++x) {
      if (page[size_t(y) * w + x] > 64) continue;
      glyph[size_t(y) * w + x] = 1;
      ++glyphs;
      for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx)
          if (y + dy >= 0 && x + dx >= 0 && x + dx < w) near[size_t(y + dy) * w + x + dx] = 1;
    }
  }
  ASSERT_GT(glyphs, 10000);

  for (bool pure : {false, true}) {
    SCOPED_TRACE(pure ? "pure black" : "rich black");
    fs::remove_all(Path("out"));
    Outcome r = Vantik("-q print " + Path("text.ras") + " -o " + Path("out") + " --simulate off" +
                       (pure ? " --pure-black" : ""));
    ASSERT_EQ(r.exit, 0) << r.err;
    int colourNearText = 0, colourInGradient = 0, blackOnGlyphs = 0;
    for (const char* ink : {"cyan", "magenta", "yellow", "black"}) {
      int pw = 0, ph = 0;
      const std::vector<uint8_t> dots = ReadNetpbm(Path("out/text-p1-") + ink + ".pbm", &pw, &ph);
      ASSERT_EQ(pw, w);
      ASSERT_EQ(ph, h);
      const bool black = std::string(ink) == "black";
      for (size_t i = 0; i < dots.size(); ++i) {
        if (!dots[i]) continue;
        if (black) blackOnGlyphs += glyph[i];
        else if (near[i]) ++colourNearText;
        else if (int(i / w) >= gradientTop) ++colourInGradient;
      }
    }
    std::printf("%s: %d colour dots on or within 3 dots of %d glyph pixels, black on %d; "
                "%d colour dots in the gradient\n",
                pure ? "pure black" : "rich black", colourNearText, glyphs, blackOnGlyphs,
                colourInGradient);
    EXPECT_GE(blackOnGlyphs, glyphs * 95 / 100);
    if (pure) {
      EXPECT_EQ(colourNearText, 0);
    } else {
      EXPECT_GT(colourNearText, glyphs / 10);
      EXPECT_GT(colourInGradient, 10000);  // the shadow keeps its rich black
    }
  }

  // separate shows the inks print uses: the chart's solid black without
  // colour ink only with the option.
  ASSERT_EQ(Vantik("chart -o " + Path("chart.png") + " --size 150x100").exit, 0);
  const size_t black = (size_t(5) * 150 + 5) * 4;  // the chart's gray ramp starts black
  for (bool pure : {false, true}) {
    Outcome r = Vantik("separate " + Path("chart.png") + " -o " + Path("inks.tif") +
                       (pure ? " --pure-black" : ""));
    ASSERT_EQ(r.exit, 0) << r.err;
    uint32_t cw = 0, ch = 0;
    uint16_t spp = 0, photometric = 0;
    std::vector<uint8_t> cmyk = ReadTiff(Path("inks.tif"), &cw, &ch, &spp, &photometric);
    ASSERT_EQ(cmyk.size(), size_t(150) * 100 * 4);
    EXPECT_EQ(cmyk[black] + cmyk[black + 1] + cmyk[black + 2] == 0, pure);
    EXPECT_GT(cmyk[black + 3], 200);
  }
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
