#include "image_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "files.h"
#include "png_writer.h"
#include "stop.h"

namespace vantik::tool {

using vips::VImage;

std::string VipsMessage(const vips::VError& e) {
  std::string text = e.what();
  size_t nl = text.find('\n');
  if (nl != std::string::npos) text.resize(nl);
  return text;
}

namespace {

// PNM headers are checked here: the image library maps PNM data and would
// report a size of zero or a short file only in its own terms.
Status CheckPnm(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return Status::Ok();
  char head[512] = {};
  const size_t n = std::fread(head, 1, sizeof head - 1, f);
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fclose(f);
  if (n < 2 || head[0] != 'P' || head[1] < '1' || head[1] > '6') return Status::Ok();
  const int kind = head[1] - '0';
  // Width, height and (except for bitmaps) the maximum value, with
  // comments skipped; the header ends one byte after the last number.
  long values[3] = {0, 0, 1};
  const int count = kind == 1 || kind == 4 ? 2 : 3;
  size_t i = 2;
  for (int v = 0; v < count; ++v) {
    while (i < n && (std::isspace(static_cast<unsigned char>(head[i])) || head[i] == '#')) {
      if (head[i] == '#') {
        while (i < n && head[i] != '\n') ++i;
      } else {
        ++i;
      }
    }
    bool negative = i < n && head[i] == '-';
    if (negative) ++i;
    if (i >= n || !std::isdigit(static_cast<unsigned char>(head[i]))) {
      return Status(RC_FAILURE, path + ": the PNM header is damaged");
    }
    long value = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(head[i])) && value < 1000000000) {
      value = value * 10 + (head[i++] - '0');
    }
    values[v] = negative ? -value : value;
  }
  if (values[0] <= 0 || values[1] <= 0) {
    return Status(RC_FAILURE, path + ": the PNM header gives a size of " + std::to_string(values[0]) +
                                  " x " + std::to_string(values[1]) + " pixels");
  }
  if (values[2] <= 0 || values[2] > 65535) {
    return Status(RC_FAILURE, path + ": the PNM header gives a maximum value of " +
                                  std::to_string(values[2]));
  }
  if (kind >= 4) {
    const uint64_t w = static_cast<uint64_t>(values[0]), h = static_cast<uint64_t>(values[1]);
    const uint64_t sample = values[2] > 255 ? 2 : 1;
    const uint64_t data = kind == 4 ? (w + 7) / 8 * h : w * h * sample * (kind == 6 ? 3 : 1);
    const uint64_t have = static_cast<uint64_t>(size) > i + 1 ? static_cast<uint64_t>(size) - i - 1 : 0;
    if (have < data) {
      return Status(RC_FAILURE, path + ": the image is cut short (" + std::to_string(have) + " of " +
                                    std::to_string(data) + " bytes of pixels)");
    }
  }
  return Status::Ok();
}

}  // namespace

Result<VImage> LoadRgb(const std::string& path, int64_t maxPixels) {
  Status s = CheckInputFile(path);
  if (s.ok()) s = CheckPnm(path);
  if (!s.ok()) return s;
  try {
    const char* loader = vips_foreign_find_load(path.c_str());
    if (loader == nullptr) {
      vips_error_clear();
      return Status(RC_FAILURE, path + ": not an image format vantik reads (PNG, JPEG, TIFF, PNM)");
    }
    // Only the header is read here; pixels are decoded as rows are asked
    // for, and any damage (even what the codec calls a warning) fails the
    // read instead of printing a grey or black remainder.
    VImage image = VImage::new_from_file(path.c_str(), VImage::option()
                                                           ->set("access", VIPS_ACCESS_SEQUENTIAL)
                                                           ->set("fail_on", VIPS_FAIL_ON_WARNING));
    const int64_t pixels = int64_t{image.width()} * image.height();
    if (image.width() <= 0 || image.height() <= 0) {
      return Status(RC_FAILURE, path + ": the image has no pixels");
    }
    if (pixels > maxPixels) {
      return Status(RC_FAILURE, path + ": the image is " + std::to_string(image.width()) + " x " +
                                    std::to_string(image.height()) + " pixels, more than the limit of " +
                                    std::to_string(maxPixels) + " (--max-pixels)");
    }
    // Colour-managed images go to sRGB through their embedded profile;
    // CMYK images without one through a generic CMYK profile.  The
    // conversion works on the full depth (16-bit stays 16-bit) and gives
    // 8 bits.
    const bool cmyk = image.interpretation() == VIPS_INTERPRETATION_CMYK;
    if (image.get_typeof(VIPS_META_ICC_NAME) != 0 || cmyk) {
      image = image.icc_transform("srgb", VImage::option()
                                              ->set("embedded", true)
                                              ->set("input_profile", cmyk ? "cmyk" : "srgb")
                                              ->set("intent", VIPS_INTENT_RELATIVE)
                                              ->set("depth", 8));
    }
    // 8-bit sRGB (16-bit and gray images included, alpha kept and scaled),
    // then the alpha composited on white.
    image = image.colourspace(VIPS_INTERPRETATION_sRGB);
    if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
    if (image.has_alpha()) {
      image = image.flatten(VImage::option()->set("background", std::vector<double>{255.0}));
    }
    if (image.bands() > 3) image = image.extract_band(0, VImage::option()->set("n", 3));
    if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
    return image;
  } catch (const vips::VError& e) {
    return Status(RC_FAILURE, path + ": the image is damaged or cut short (" + VipsMessage(e) + ")");
  }
}

VipsRows::VipsRows(VImage image, std::string name)
    : image_(std::move(image)), name_(std::move(name)),
      region_(vips::VRegion::new_from_image(image_)) {}

Status VipsRows::Row(int y, std::span<uint8_t> rgb) {
  Status stop = CheckStop();
  if (!stop.ok()) return stop;
  try {
    if (y < top_ || y >= top_ + rows_) {
      top_ = y;
      rows_ = std::min(64, image_.height() - y);
      region_.prepare(0, top_, image_.width(), rows_);
    }
    std::memcpy(rgb.data(), region_.addr(0, y), std::min<size_t>(rgb.size(), size_t(image_.width()) * 3));
    return Status::Ok();
  } catch (const vips::VError& e) {
    return Status(RC_FAILURE, name_ + ": the image is damaged or cut short (" + VipsMessage(e) + ")");
  }
}

Result<std::vector<uint8_t>> ReadAllRgb(const std::string& path, int64_t maxPixels, int* w,
                                        int* h) {
  Result<VImage> image = LoadRgb(path, maxPixels);
  if (!image.ok()) return image.status();
  *w = image->width();
  *h = image->height();
  std::vector<uint8_t> rgb(size_t(*w) * *h * 3);
  VipsRows rows(*image, path);
  for (int y = 0; y < *h; ++y) {
    Status s = rows.Row(y, std::span<uint8_t>(rgb).subspan(size_t(y) * *w * 3, size_t(*w) * 3));
    if (!s.ok()) return s;
  }
  return rgb;
}

Result<VImage> ShrinkToPlace(const VImage& image, int width, int height) {
  try {
    const double sx = std::min(1.0, double(width) / image.width());
    const double sy = std::min(1.0, double(height) / image.height());
    if (sx == 1.0 && sy == 1.0) return image;
    VImage shrunk = image.resize(sx, VImage::option()->set("vscale", sy));
    // Rounding inside the resize may leave a pixel more than asked for.
    const int w = std::min({shrunk.width(), image.width(), width});
    const int h = std::min({shrunk.height(), image.height(), height});
    if (w != shrunk.width() || h != shrunk.height()) shrunk = shrunk.extract_area(0, 0, w, h);
    return shrunk;
  } catch (const vips::VError& e) {
    return Status(RC_FAILURE, "cannot scale the image (" + VipsMessage(e) + ")");
  }
}

namespace {

bool IsPng(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".png";
}

}  // namespace

Status WriteImage(const std::string& path, const std::vector<uint8_t>& pixels, int width,
                  int height, int bands) {
  // Gray and RGB PNGs (the simulated print among them) go through the
  // tool's own writer; see png_writer.h.
  if (IsPng(path) && (bands == 1 || bands == 3)) return WritePng(path, pixels, width, height, bands);
  try {
    VImage image = VImage::new_from_memory(const_cast<uint8_t*>(pixels.data()), pixels.size(),
                                           width, height, bands, VIPS_FORMAT_UCHAR);
    VipsInterpretation kind = bands == 4   ? VIPS_INTERPRETATION_CMYK
                              : bands == 1 ? VIPS_INTERPRETATION_B_W
                                           : VIPS_INTERPRETATION_sRGB;
    image = image.copy(VImage::option()->set("interpretation", kind));
    if (IsPng(path)) {
      image.pngsave(path.c_str(), VImage::option()->set("compression", 1));
    } else {
      image.write_to_file(path.c_str());
    }
    return Status::Ok();
  } catch (const vips::VError& e) {
    return Status(RC_FAILURE, path + ": cannot write (" + VipsMessage(e) + ")");
  }
}

}  // namespace vantik::tool
