// Output files of a print: a 1-bit PBM and/or TIFF per ink plane, written
// line by line, and the simulated print.  Every file is
// written under a temporary name and renamed only when the whole job has
// succeeded, so a failed job leaves nothing behind.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "printmodel/print_model.h"
#include "vantik/vantik.hpp"

typedef struct tiff TIFF;

namespace vantik::tool {

// Temporary names in the output directory, renamed or removed together.
class OutputFiles {
 public:
  explicit OutputFiles(std::string dir) : dir_(std::move(dir)) {}
  ~OutputFiles() { Discard(); }
  // A temporary path for the final file `name` (the extension is kept, so
  // that writers that choose the format by extension see the right one).
  std::string Add(const std::string& name);
  // Renames every temporary file to its final name.
  Status Commit();
  // Removes every temporary file not yet committed.
  void Discard();
  const std::vector<std::string>& finals() const { return finals_; }

 private:
  std::string dir_;
  std::vector<std::string> temps_;
  std::vector<std::string> finals_;
  bool committed_ = false;
};

// Binary PBM (P4): 1 = black dot, rows padded to whole bytes, MSB first.
class PbmWriter {
 public:
  PbmWriter() = default;
  PbmWriter(const PbmWriter&) = delete;
  ~PbmWriter();
  Status Open(const std::string& path, int width, int height);
  Status Row(std::span<const uint8_t> bits);
  Status Close();

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  size_t rowBytes_ = 0;
};

// How a plane TIFF is compressed.
enum class TiffCompression {
  kGroup4,   // CCITT Group 4: small for clustered dots and large flat areas
  kDeflate,  // deflate: smaller and faster than Group 4 for scattered dots
};
// The compression suited to a halftone method's dots: Group 4 for the
// clustered screens, deflate for diffused and dithered dots, where Group 4
// gives larger files than the raw bitmap and costs more time.
TiffCompression TiffCompressionFor(const std::string& method);

// Bilevel TIFF, min-is-white (1 = dot), one strip.
class TiffPlaneWriter {
 public:
  TiffPlaneWriter() = default;
  TiffPlaneWriter(const TiffPlaneWriter&) = delete;
  ~TiffPlaneWriter();
  Status Open(const std::string& path, int width, int height, int xdpi, int ydpi,
              TiffCompression compression);
  Status Row(std::span<const uint8_t> bits);
  Status Close();

 private:
  TIFF* tiff_ = nullptr;
  std::string path_;
  std::vector<uint8_t> row_;
  uint32_t y_ = 0;
};

// Composites ink planes on paper and averages the dots into a small image of
// screen size.  With a print model, each pixel is the model's colour of the
// mix of overprints its dots show (dot gain and Yule-Nielsen included), as
// sRGB relative to the paper.  Without one, the inks are ideal: each absorbs
// one third of the spectrum, black all of it, and a pixel is the mean
// reflectance of its dots (the model the built-in tables separate for).
class PrintSimulator {
 public:
  // width x height dots become outWidth x outHeight pixels.  `model`, when
  // given, must outlive the simulator.
  PrintSimulator(int width, int height, int outWidth, int outHeight,
                 const std::vector<std::string>& inks,
                 const printmodel::PrintModel* model = nullptr);
  ~PrintSimulator();
  void Row(int y, std::span<const std::span<const uint8_t>> planes);
  // Counts every dot into its pixel one by one, as pages whose pixels are
  // too wide for the packed counts do: the way those are checked against.
  void CountDotByDot() { packed_ = false; }
  // Packed RGB, outWidth x outHeight.
  std::vector<uint8_t> Image() const;
  int width() const { return outWidth_; }
  int height() const { return outHeight_; }

 private:
  void IdealRow(int oy, const std::vector<uint8_t>& mixes);
  struct OpenRow;
  void ModelRow(int oy, const std::vector<uint8_t>& mixes);
  void PackedModelRow(int oy, const std::vector<uint8_t>& mixes);
  void FlushPacked(OpenRow& open) const;
  void FinishModelRow(int oy) const;

  int width_, height_, outWidth_, outHeight_;
  std::vector<int> column_;            // output column of each dot column
  std::vector<uint32_t> sums_;         // per output pixel: R, G, B sums
  std::vector<uint32_t> counts_;       // dots per output pixel
  uint16_t colour_[16][3];             // reflectance x 4096 of each ink mix
  std::vector<uint8_t> mixes_;         // plane mix of each dot of a row

  // With a model: the overprint (model ink bits) of each plane mix, the dot
  // rows each output row gathers, and, per output row still open, the count
  // of each overprint per pixel.  Finished rows go to image_.
  const printmodel::PrintModel* model_ = nullptr;
  std::unique_ptr<printmodel::SrgbEncoder> encoder_;
  int overprint_[16] = {};
  uint8_t paperRgb_[3] = {};           // pixel of blank paper
  uint8_t solidRgb_[16][3] = {};       // pixel of an area of one overprint
  std::vector<int> rowsPerOutput_;
  // An output row still open: its dot rows in so far and, per pixel, the
  // count of each overprint.  With packed counting the latest dot rows'
  // counts per plane mix are held as bytes, eight mixes to a word (even
  // mixes in the first word of a pixel, odd in the second), and added to
  // the counts before a byte could pass 255.
  struct OpenRow {
    int rows = 0;
    int packedRows = 0;
    std::vector<uint32_t> counts;
    std::vector<uint64_t> packed;
  };
  std::vector<int> firstColumn_;       // first dot column of each pixel, width last
  int widestPixel_ = 0;                // most dot columns of one pixel
  bool packed_ = false;                // packed counting (pixels narrow enough)
  mutable std::unordered_map<int, OpenRow> open_;
  mutable std::vector<uint8_t> image_;
  // Per finished row: the overprint fractions of the pixels to mix, and
  // where each goes.
  mutable std::vector<std::array<double, 16>> fractions_;
  mutable std::vector<int> where_;
};

// Screen size of a simulated print: the longer side `longest` pixels, the
// shape of the page in inches.
void ScreenSize(double widthInches, double heightInches, int longest, int* w, int* h);

}  // namespace vantik::tool
