#include "image_io.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
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

bool IsCupsRaster(const std::string& path) {
  if (path == "-") return true;
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  char sync[4] = {};
  ssize_t n = ::read(fd, sync, 4);
  ::close(fd);
  if (n != 4) return false;
  static const char* const kSync[] = {"RaSt", "tSaR", "RaS2", "2SaR", "RaS3", "3SaR"};
  for (const char* s : kSync) {
    if (std::memcmp(sync, s, 4) == 0) return true;
  }
  return false;
}

CupsRaster::~CupsRaster() {
  if (raster_ != nullptr) cupsRasterClose(static_cast<cups_raster_t*>(raster_));
  if (ownFd_ && fd_ >= 0) ::close(fd_);
}

Status CupsRaster::Open(const std::string& path) {
  path_ = path == "-" ? "standard input" : path;
  if (path == "-") {
    fd_ = 0;
  } else {
    fd_ = ::open(path.c_str(), O_RDONLY);
    if (fd_ < 0) return Status(RC_FAILURE, path + ": " + std::strerror(errno));
    ownFd_ = true;
  }
  raster_ = cupsRasterOpen(fd_, CUPS_RASTER_READ);
  if (raster_ == nullptr) return Status(RC_FAILURE, path_ + ": not a CUPS raster stream");
  return Status::Ok();
}

Result<bool> CupsRaster::NextPage() {
  cups_page_header2_t h;
  if (!cupsRasterReadHeader2(static_cast<cups_raster_t*>(raster_), &h)) return false;
  if (h.cupsBitsPerColor != 8 || h.cupsColorOrder != CUPS_ORDER_CHUNKED) {
    return Status(RC_FAILURE, path_ + ": CUPS raster must be 8 bits per colour, chunked");
  }
  switch (h.cupsColorSpace) {
    case CUPS_CSPACE_RGB:
    case CUPS_CSPACE_SRGB: bands_ = 3; break;
    case CUPS_CSPACE_W:
    case CUPS_CSPACE_SW: bands_ = 1; break;
    default:
      return Status(RC_FAILURE, path_ + ": CUPS raster colour space " +
                                    std::to_string(h.cupsColorSpace) + " is not RGB or gray");
  }
  if (h.cupsWidth == 0 || h.cupsHeight == 0 || h.cupsWidth > 65535 || h.cupsHeight > 65535 ||
      h.cupsBytesPerLine < h.cupsWidth * bands_) {
    return Status(RC_FAILURE, path_ + ": CUPS raster page size is not usable");
  }
  width_ = static_cast<int>(h.cupsWidth);
  height_ = static_cast<int>(h.cupsHeight);
  xdpi_ = static_cast<int>(h.HWResolution[0]);
  ydpi_ = static_cast<int>(h.HWResolution[1]);
  bytesPerLine_ = h.cupsBytesPerLine;
  line_.resize(bytesPerLine_);
  return true;
}

Status CupsRaster::Row(int y, std::span<uint8_t> rgb) {
  if (cupsRasterReadPixels(static_cast<cups_raster_t*>(raster_), line_.data(), bytesPerLine_) !=
      bytesPerLine_) {
    return Status(RC_FAILURE, path_ + ": CUPS raster ends early at row " + std::to_string(y));
  }
  if (bands_ == 3) {
    std::memcpy(rgb.data(), line_.data(), size_t(width_) * 3);
  } else {
    for (int x = 0; x < width_; ++x) rgb[x * 3] = rgb[x * 3 + 1] = rgb[x * 3 + 2] = line_[x];
  }
  return Status::Ok();
}

}  // namespace vantik::tool
