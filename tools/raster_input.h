// CUPS raster streams read page by page, line by line.  Every common kind is
// read: stream versions 1, 2 and 3 (compressed or not), 1, 2, 4, 8 and 16
// bits per colour, chunked, banded and planar colour order, and the colour
// spaces W, SW, K, RGB, sRGB, AdobeRGB, RGBA, CMY, YMC, CMYK, YMCK and KCMY.
// Each line is handed out as 8-bit sRGB or, for the CMY and CMYK spaces,
// as ink values in C, M, Y, K order.
//
// Needs libcups and LittleCMS only, so that a print filter and a fuzz
// target can use it as well as the tool.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "vantik/vantik.hpp"

namespace vantik::tool {

// True when the file starts with a CUPS raster sync word ("-", standard
// input, is taken to be a raster stream).
bool IsCupsRaster(const std::string& path);

// What the current page is.
struct RasterPage {
  int number = 0;                 // 1 for the first page
  int width = 0, height = 0;      // pixels
  int xdpi = 0, ydpi = 0;
  int bitsPerColor = 0;
  int colorSpace = 0;             // the header's cupsColorSpace
  int colorOrder = 0;             // 0 chunked, 1 banded, 2 planar
  bool inks = false;              // CMY/CMYK spaces: ReadInks gives the values
};

// The name of a raster colour space ("sRGB", "KCMY", "space 9").
std::string RasterSpaceName(int colorSpace);

class RasterReader {
 public:
  // `name` appears in messages ("standard input", a file name).
  explicit RasterReader(std::string name);
  ~RasterReader();
  RasterReader(const RasterReader&) = delete;
  RasterReader& operator=(const RasterReader&) = delete;

  // Reads from `fd`, which the caller keeps open and closes.
  Status Open(int fd);
  // A page larger than this many pixels is refused from its header.
  void SetPixelLimit(int64_t pixels) { pixelLimit_ = pixels; }

  // Reads the next page header; false at the end of the stream.
  Result<bool> NextPage();
  const RasterPage& page() const { return page_; }

  // The next line of the current page (lines are read in order, each once)
  // as packed 8-bit sRGB, 3 * width bytes.  Ink spaces are turned into RGB
  // as ideal inks on white paper.
  Status ReadRgb(std::span<uint8_t> rgb);
  // The next line as ink values, 4 * width bytes in C, M, Y, K order (CMY
  // spaces give K = 0).  Only for pages whose `inks` is true.
  Status ReadInks(std::span<uint8_t> cmyk);

  // Bytes read from the stream so far.
  uint64_t bytesRead() const { return bytes_; }

 private:
  static ssize_t ReadCallback(void* ctx, unsigned char* buffer, size_t length);
  Status Fail(const std::string& what) const;
  Status ReadLine();            // the next line's components into comps_
  Status ReadRaw(uint8_t* dst); // one line of the stream

  std::string name_;
  int fd_ = -1;
  void* raster_ = nullptr;      // cups_raster_t
  bool eof_ = false;
  int readError_ = 0;           // errno of a failed read
  uint64_t bytes_ = 0;
  uint8_t sync_[4] = {};        // the stream's first bytes
  uint64_t expected_ = 0;       // uncompressed streams: bytes up to the next header
  int64_t pixelLimit_ = int64_t(1) << 31;

  RasterPage page_;
  int colors_ = 0;              // components per pixel in the stream
  int bitsPerPixel_ = 0;
  unsigned bytesPerLine_ = 0;
  int row_ = 0;                 // next line of the page
  std::vector<uint8_t> raw_;        // one stream line
  std::vector<uint8_t> planes_;     // planar order: the planes before the last
  std::vector<uint16_t> comps_;     // the line, 16-bit components
  struct Lcms;
  std::unique_ptr<Lcms> lcms_;      // AdobeRGB to sRGB
};

}  // namespace vantik::tool
