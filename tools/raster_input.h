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

#include <cups/raster.h>

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
  static constexpr int64_t kDefaultPixelLimit = int64_t(1) << 31;

  // `name` appears in messages ("standard input", a file name).
  explicit RasterReader(std::string name);
  ~RasterReader();
  RasterReader(const RasterReader&) = delete;
  RasterReader& operator=(const RasterReader&) = delete;

  // Reads from `fd`, which the caller keeps open and closes.
  Status Open(int fd);
  // A page larger than this many pixels is refused from its header.
  void SetPixelLimit(int64_t pixels) {
    pixelLimit_ = pixels;
    scan_.SetPixelLimit(pixels);
  }

  // Reads the next page header; false at the end of the stream.
  Result<bool> NextPage();
  const RasterPage& page() const { return page_; }
  // The current page's header as the stream has it: the page size, media
  // and margins a print filter passes on to the next one.
  const cups_page_header2_t& header() const { return header_; }

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

  // Follows a compressed (version 2) stream's structure as its bytes are
  // read, so that a stream ending inside a page header can be told from one
  // ending between pages: libcups reports both as the end of the stream,
  // and with compression the byte counts alone cannot tell them apart.
  class CompressedScan {
   public:
    void Start(bool swapped) { state_ = kHeader; swapped_ = swapped; got_ = 0; }
    void SetPixelLimit(int64_t pixels) { pixelLimit_ = pixels; }
    // Follows `n` more bytes of the stream.  Returns how many of them may
    // reach libcups: fewer than `n` when a page header the reader refuses
    // completes inside them (see refusal()).
    size_t Feed(const uint8_t* p, size_t n);
    // Why the reader refused a page header as it arrived, or "".
    const std::string& refusal() const { return refusal_; }
    // Pages whose header the scan has seen whole.
    uint64_t headers() const { return headers_; }
    // Height and bytes per line of the last header seen whole.
    uint32_t height() const { return height_; }
    uint32_t bytesPerLine() const { return bytesPerLine_; }
    // Bytes of a page header seen since the last page ended; > 0 at the end
    // of the stream means a header cut short.
    size_t headerBytes() const { return state_ == kHeader ? got_ : 0; }
    bool following() const { return state_ != kOff && state_ != kLost; }
    void Lose() { state_ = kLost; }

   private:
    enum State { kOff, kHeader, kLineStart, kRunStart, kSkip, kLost };
    bool HeaderDone();  // false: the header is refused
    void RunDone();
    State state_ = kOff;
    bool swapped_ = false;
    uint8_t header_[sizeof(cups_page_header2_t)];
    size_t got_ = 0;
    uint64_t headers_ = 0;
    int64_t pixelLimit_ = kDefaultPixelLimit;
    std::string refusal_;
    uint32_t height_ = 0, bytesPerLine_ = 0, unit_ = 1;
    uint64_t linesLeft_ = 0;   // lines of the page still to come
    uint32_t lineLeft_ = 0;    // bytes of the current line still to come
    uint64_t skip_ = 0;        // pixel bytes to pass over
    uint32_t repeat_ = 0;      // lines the current line stands for
  };

  std::string name_;
  int fd_ = -1;
  CompressedScan scan_;
  void* raster_ = nullptr;      // cups_raster_t
  bool eof_ = false;
  int readError_ = 0;           // errno of a failed read
  uint64_t bytes_ = 0;
  uint8_t sync_[4] = {};        // the stream's first bytes
  uint64_t expected_ = 0;       // uncompressed streams: bytes up to the next header
  int64_t pixelLimit_ = kDefaultPixelLimit;

  RasterPage page_;
  cups_page_header2_t header_{};
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
