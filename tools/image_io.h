// Image files through libvips and CUPS raster streams through libcups.
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
// flattened onto white, gray expanded to RGB.
Result<vips::VImage> LoadRgb(const std::string& path);

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
Result<std::vector<uint8_t>> ReadAllRgb(const std::string& path, int* width, int* height);

// The image shrunk, with the image library's filtering, on each axis where it
// is larger than width x height; axes where it is not are left alone, for
// the page to enlarge line by line.
Result<vips::VImage> ShrinkToPlace(const vips::VImage& image, int width, int height);

// Writes packed pixels (bands 1, 3 or 4; 4 = CMYK) to a file whose
// extension names the format.
Status WriteImage(const std::string& path, const std::vector<uint8_t>& pixels, int width,
                  int height, int bands);

// True when the file starts with a CUPS raster sync word.
bool IsCupsRaster(const std::string& path);

// One page of a CUPS raster stream, read row by row.
class CupsRaster {
 public:
  ~CupsRaster();
  // Opens the file ("-" for standard input).
  Status Open(const std::string& path);
  // Reads the next page header; false at the end of the stream.
  Result<bool> NextPage();
  int width() const { return width_; }
  int height() const { return height_; }
  int xdpi() const { return xdpi_; }
  int ydpi() const { return ydpi_; }
  // Row y of the current page as RGB (rows are read in order, each once).
  Status Row(int y, std::span<uint8_t> rgb);

 private:
  std::string path_;
  int fd_ = -1;
  bool ownFd_ = false;
  void* raster_ = nullptr;
  int width_ = 0, height_ = 0, xdpi_ = 0, ydpi_ = 0, bands_ = 0;
  unsigned bytesPerLine_ = 0;
  std::vector<uint8_t> line_;
};

// The first line of a libvips error, for one-line messages.
std::string VipsMessage(const vips::VError& e);

}  // namespace vantik::tool
