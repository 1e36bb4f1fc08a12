#include "image_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace vantik::tool {

using vips::VImage;

std::string VipsMessage(const vips::VError& e) {
  std::string text = e.what();
  size_t nl = text.find('\n');
  if (nl != std::string::npos) text.resize(nl);
  return text;
}

Result<VImage> LoadRgb(const std::string& path) {
  try {
    if (access(path.c_str(), R_OK) != 0) {
      return Status(RC_FAILURE, path + ": " + std::strerror(errno));
    }
    const char* loader = vips_foreign_find_load(path.c_str());
    if (loader == nullptr) {
      vips_error_clear();
      return Status(RC_FAILURE, path + ": not an image format vantik reads (PNG, JPEG, TIFF, PNM)");
    }
    VImage image = VImage::new_from_file(
        path.c_str(), VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
    // 8-bit sRGB first (16-bit and gray images included, alpha kept and
    // scaled), then the alpha composited on white.
    image = image.colourspace(VIPS_INTERPRETATION_sRGB);
    if (image.has_alpha()) {
      image = image.flatten(VImage::option()->set("background", std::vector<double>{255.0}));
    }
    if (image.bands() > 3) image = image.extract_band(0, VImage::option()->set("n", 3));
    if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
    return image;
  } catch (const vips::VError& e) {
    return Status(RC_FAILURE, path + ": cannot read the image (" + VipsMessage(e) + ")");
  }
}

VipsRows::VipsRows(VImage image, std::string name)
    : image_(std::move(image)), name_(std::move(name)),
      region_(vips::VRegion::new_from_image(image_)) {}

Status VipsRows::Row(int y, std::span<uint8_t> rgb) {
  try {
    if (y < top_ || y >= top_ + rows_) {
      top_ = y;
      rows_ = std::min(64, image_.height() - y);
      region_.prepare(0, top_, image_.width(), rows_);
    }
    std::memcpy(rgb.data(), region_.addr(0, y), std::min<size_t>(rgb.size(), size_t(image_.width()) * 3));
    return Status::Ok();
  } catch (const vips::VError& e) {
    return Status(RC_FAILURE, name_ + ": cannot read the image (" + VipsMessage(e) + ")");
  }
}

Result<std::vector<uint8_t>> ReadAllRgb(const std::string& path, int* w, int* h) {
  Result<VImage> image = LoadRgb(path);
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

Result<VImage> ComposePage(const VImage& image, int pageWidth, int pageHeight, int left,
                           int top, int width, int height) {
  try {
    double sx = double(width) / image.width(), sy = double(height) / image.height();
    VImage scaled = image;
    if (width != image.width() || height != image.height()) {
      scaled = image.resize(sx, VImage::option()->set("vscale", sy));
    }
    int w = std::min(width, scaled.width()), h = std::min(height, scaled.height());
    if (w != scaled.width() || h != scaled.height()) scaled = scaled.extract_area(0, 0, w, h);
    return scaled.embed(left, top, pageWidth, pageHeight,
                        VImage::option()
                            ->set("extend", VIPS_EXTEND_BACKGROUND)
                            ->set("background", std::vector<double>{255.0}));
  } catch (const vips::VError& e) {
    return Status(RC_FAILURE, "cannot scale the image (" + VipsMessage(e) + ")");
  }
}

Status WriteImage(const std::string& path, const std::vector<uint8_t>& pixels, int width,
                  int height, int bands) {
  try {
    VImage image = VImage::new_from_memory(const_cast<uint8_t*>(pixels.data()), pixels.size(),
                                           width, height, bands, VIPS_FORMAT_UCHAR);
    VipsInterpretation kind = bands == 4   ? VIPS_INTERPRETATION_CMYK
                              : bands == 1 ? VIPS_INTERPRETATION_B_W
                                           : VIPS_INTERPRETATION_sRGB;
    image = image.copy(VImage::option()->set("interpretation", kind));
    image.write_to_file(path.c_str());
    return Status::Ok();
  } catch (const vips::VError& e) {
    return Status(RC_FAILURE, path + ": cannot write (" + VipsMessage(e) + ")");
  }
}

}  // namespace vantik::tool
