// PNGs of the simulated print and the other screen images: the pixels
// decode as written, whatever the shape and content, and a file that
// cannot be written is an error, never a success.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "png_writer.h"

namespace vantik::tool {
namespace {

namespace fs = std::filesystem;

class PngWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vantik-png-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

// Decodes a PNG with libpng into packed pixels of `bands` bands; empty when
// the file is not a PNG of that many bands.
std::vector<uint8_t> Decode(const std::string& path, int bands, int* w, int* h) {
  std::ifstream f(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return {};
  const bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
  if (colour != (bands == 3) || (image.format & PNG_FORMAT_FLAG_ALPHA) != 0) {
    png_image_free(&image);
    return {};
  }
  image.format = bands == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  *w = int(image.width);
  *h = int(image.height);
  return pixels;
}

TEST_F(PngWriterTest, PixelsDecodeAsWritten) {
  std::mt19937 rng(3);
  // Grain on a smooth field, as a simulated print looks; pure noise, which
  // filtering cannot shrink; flat areas; the extremes of every byte.
  auto grain = [&](int x, int y, int b) {
    const double v = 128 + 100 * std::sin(0.05 * x + 0.03 * y + b);
    return uint8_t(std::clamp(v + double(rng() % 13) - 6, 0.0, 255.0));
  };
  auto noise = [&](int, int, int) { return uint8_t(rng()); };
  auto flat = [](int, int, int b) { return uint8_t(200 + b); };
  auto extremes = [](int x, int y, int b) { return uint8_t((x + y + b) % 2 ? 255 : 0); };
  struct Case {
    const char* name;
    int width, height, bands;
    std::function<uint8_t(int, int, int)> pixel;
  } cases[] = {
      {"one RGB pixel", 1, 1, 3, noise},
      {"one gray pixel", 1, 1, 1, noise},
      {"one column", 1, 50, 3, grain},
      {"one row", 333, 1, 3, grain},
      {"odd-sized grain", 301, 203, 3, grain},
      {"noise", 64, 64, 3, noise},
      {"gray grain", 97, 41, 1, grain},
      {"flat", 40, 30, 3, flat},
      {"extremes", 17, 9, 3, extremes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> pixels;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        for (int b = 0; b < c.bands; ++b) pixels.push_back(c.pixel(x, y, b));
    const std::string path = Path("image.png");
    ASSERT_TRUE(WritePng(path, pixels, c.width, c.height, c.bands).ok());
    int w = 0, h = 0;
    const std::vector<uint8_t> back = Decode(path, c.bands, &w, &h);
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(h, c.height);
    EXPECT_TRUE(back == pixels);
  }
}

TEST_F(PngWriterTest, FailuresAreOneLineNamingTheFile) {
  const std::vector<uint8_t> pixels(30 * 20 * 3, 90);
  struct Case {
    const char* name;
    std::string path;
    int width, height, bands;
    const char* needle;
  } cases[] = {
      {"missing folder", Path("none/p.png"), 30, 20, 3, "p.png: cannot write (No such file"},
      {"a folder", dir_.string(), 30, 20, 3, ": cannot write (Is a directory"},
      {"pixels short of the size", Path("p.png"), 30, 21, 3, "p.png: cannot write (not a 30 x 21"},
      {"four bands", Path("p.png"), 30, 15, 4, "p.png: cannot write (not a 30 x 15 image of 4"},
      {"disk full", "/dev/full", 30, 20, 3, "/dev/full: cannot write ("},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.path == "/dev/full" && !fs::exists(c.path)) continue;
    Status s = WritePng(c.path, pixels, c.width, c.height, c.bands);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.message().find(c.needle), std::string::npos) << s.message();
    EXPECT_EQ(s.message().find('\n'), std::string::npos) << s.message();
  }
  EXPECT_FALSE(fs::exists(Path("p.png")));
}

}  // namespace
}  // namespace vantik::tool
