// Image files through libvips.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <vips/vips8>

#include "vantik/vantik.hpp"

namespace vantik::tool {

// Opens an image for one top-to-bottom pass: 8-bit sRGB, 3 bands, alpha
// flattened onto white, gray expanded to RGB, embedded colour profiles
// applied.  An image of more than maxPixels pixels is refused from its
// header; damaged data fails the row that reaches it.
Result<vips::VImage> LoadRgb(const std::string& path, int64_t maxPixels);

// Streams rows of an RGB image top to bottom in strips.
class VipsRows {
 public:
  explicit VipsRows(vips::VImage image, std::string name);
  Status Row(int y, std::span<uint8_t> rgb);

 private:
  vips::VImage image_;
  std::string name_;
  vips::VRegion region_;
  int top_ = 0, rows_ = 0;
};

// Reads a whole (screen-sized) image into packed RGB.
Result<std::vector<uint8_t>> ReadAllRgb(const std::string& path, int64_t maxPixels, int* width,
                                        int* height);

// The page at printer resolution: the image resized to the placement and
// set on white paper of pageWidth x pageHeight dots.
Result<vips::VImage> ComposePage(const vips::VImage& image, int pageWidth, int pageHeight,
                                 int left, int top, int width, int height);

// Writes packed pixels (bands 1, 3 or 4; 4 = CMYK) to a file whose
// extension names the format.
Status WriteImage(const std::string& path, const std::vector<uint8_t>& pixels, int width,
                  int height, int bands);

// The first line of a libvips error, for one-line messages.
std::string VipsMessage(const vips::VError& e);

}  // namespace vantik::tool
