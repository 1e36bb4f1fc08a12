#include "outputs.h"

#include <tiffio.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <bit>
#include <array>
#include <cmath>
#include <cstring>

namespace vantik::tool {

namespace {

Status IoError(const std::string& path, const std::string& what) {
  return Status(RC_FAILURE, path + ": " + what);
}

std::string Errno() { return std::strerror(errno); }

// Reflectance of each ink for red, green and blue light (paper is 1).  The
// inks are ideal: each absorbs one third of the spectrum, black all of it.
// This is the model the default colour tables separate for, so a print that
// hits its ink values shows the input colours.
struct Ink {
  const char* name;
  double r, g, b;
};
constexpr Ink kInks[] = {{"cyan", 0.0, 1.0, 1.0},
                         {"magenta", 1.0, 0.0, 1.0},
                         {"yellow", 1.0, 1.0, 0.0},
                         {"black", 0.0, 0.0, 0.0}};

}  // namespace

// ---- OutputFiles ------------------------------------------------------------------

std::string OutputFiles::Add(const std::string& name) {
  std::string ext;
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) ext = name.substr(dot);
  std::string temp = dir_ + "/.vantik-" + std::to_string(::getpid()) + "-" +
                     std::to_string(temps_.size()) + ext;
  temps_.push_back(temp);
  finals_.push_back(dir_ + "/" + name);
  return temp;
}

Status OutputFiles::Commit() {
  for (size_t i = 0; i < temps_.size(); ++i) {
    if (std::rename(temps_[i].c_str(), finals_[i].c_str()) != 0) {
      Status s = IoError(finals_[i], "cannot rename: " + Errno());
      // Files already renamed are complete; the rest go away.
      temps_.erase(temps_.begin(), temps_.begin() + static_cast<long>(i));
      Discard();
      return s;
    }
  }
  committed_ = true;
  temps_.clear();
  return Status::Ok();
}

void OutputFiles::Discard() {
  if (committed_) return;
  for (const std::string& t : temps_) std::remove(t.c_str());
  temps_.clear();
}

// ---- PBM ---------------------------------------------------------------------------

PbmWriter::~PbmWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

Status PbmWriter::Open(const std::string& path, int width, int height) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) return IoError(path, "cannot create: " + Errno());
  rowBytes_ = PlaneBytes(width);
  if (std::fprintf(file_, "P4\n%d %d\n", width, height) < 0) {
    return IoError(path, "cannot write: " + Errno());
  }
  return Status::Ok();
}

Status PbmWriter::Row(std::span<const uint8_t> bits) {
  if (std::fwrite(bits.data(), 1, rowBytes_, file_) != rowBytes_) {
    return IoError(path_, "cannot write: " + Errno());
  }
  return Status::Ok();
}

Status PbmWriter::Close() {
  int rc = std::fclose(file_);
  file_ = nullptr;
  if (rc != 0) return IoError(path_, "cannot write: " + Errno());
  return Status::Ok();
}

// ---- TIFF ---------------------------------------------------------------------------

TiffCompression TiffCompressionFor(const std::string& method) {
  return method == "clustered" ? TiffCompression::kGroup4 : TiffCompression::kDeflate;
}

TiffPlaneWriter::~TiffPlaneWriter() {
  if (tiff_ != nullptr) TIFFClose(tiff_);
}

Status TiffPlaneWriter::Open(const std::string& path, int width, int height, int xdpi, int ydpi,
                             TiffCompression compression) {
  path_ = path;
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  tiff_ = TIFFOpen(path.c_str(), height > 0 && size_t(width) * height > (1u << 31) ? "w8" : "w");
  if (tiff_ == nullptr) return IoError(path, "cannot create");
  TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff_, TIFFTAG_COMPRESSION, compression == TiffCompression::kGroup4
                                                ? COMPRESSION_CCITTFAX4
                                                : COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tiff_, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  // Group 4 codes the page as one strip; deflate in strips of 64 lines.
  TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP,
               compression == TiffCompression::kGroup4 ? static_cast<uint32_t>(height) : 64u);
  TIFFSetField(tiff_, TIFFTAG_XRESOLUTION, static_cast<float>(xdpi));
  TIFFSetField(tiff_, TIFFTAG_YRESOLUTION, static_cast<float>(ydpi));
  TIFFSetField(tiff_, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  row_.resize(PlaneBytes(width));
  y_ = 0;
  return Status::Ok();
}

Status TiffPlaneWriter::Row(std::span<const uint8_t> bits) {
  std::memcpy(row_.data(), bits.data(), row_.size());  // libtiff may modify it
  if (TIFFWriteScanline(tiff_, row_.data(), y_++, 0) < 0) {
    return IoError(path_, "cannot write the TIFF row " + std::to_string(y_ - 1));
  }
  return Status::Ok();
}

Status TiffPlaneWriter::Close() {
  bool ok = TIFFFlush(tiff_) == 1;
  TIFFClose(tiff_);
  tiff_ = nullptr;
  if (!ok) return IoError(path_, "cannot write the TIFF");
  return Status::Ok();
}

// ---- Simulated print -------------------------------------------------------------------

PrintSimulator::PrintSimulator(int width, int height, int outWidth, int outHeight,
                               const std::vector<std::string>& inks,
                               const printmodel::PrintModel* model)
    : width_(width), height_(height), outWidth_(outWidth), outHeight_(outHeight), model_(model) {
  column_.resize(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) {
    column_[x] = static_cast<int>(static_cast<int64_t>(x) * outWidth / width);
  }
  if (model_ != nullptr) {
    encoder_ = std::make_unique<printmodel::SrgbEncoder>(model_->paper());
    for (int mix = 0; mix < 16; ++mix) {
      for (size_t k = 0; k < inks.size() && k < 4; ++k) {
        const int ink = printmodel::InkByName(inks[k]);
        if ((mix & (1 << k)) && ink >= 0) overprint_[mix] |= 1 << ink;
      }
    }
    encoder_->Encode(&model_->paper(), paperRgb_, 1);
    for (int m = 0; m < 16; ++m) {
      std::array<double, 16> one{};
      one[size_t(m)] = 1.0;
      const printmodel::Xyz solid = model_->Mix(one);
      encoder_->Encode(&solid, solidRgb_[m], 1);
    }
    firstColumn_.assign(size_t(outWidth) + 1, width);
    for (int x = width - 1; x >= 0; --x) firstColumn_[size_t(column_[x])] = x;
    for (int ox = 0; ox < outWidth; ++ox) {
      widestPixel_ = std::max(widestPixel_, firstColumn_[size_t(ox) + 1] - firstColumn_[size_t(ox)]);
    }
    // A row adds at most widestPixel_ to a byte of the packed counts.
    packed_ = widestPixel_ <= 127;
    rowsPerOutput_.assign(size_t(outHeight), 0);
    for (int y = 0; y < height; ++y) {
      ++rowsPerOutput_[static_cast<size_t>(static_cast<int64_t>(y) * outHeight / height)];
    }
    image_.assign(size_t(outWidth) * outHeight * 3, 255);
    return;
  }
  sums_.assign(size_t(outWidth) * outHeight * 3, 0);
  counts_.assign(size_t(outWidth) * outHeight, 0);
  // Reflectance of each mix of the (up to four) planes: the product of the
  // reflectances of the inks on the dot.
  for (int mix = 0; mix < 16; ++mix) {
    double rgb[3] = {1.0, 1.0, 1.0};
    for (size_t k = 0; k < inks.size() && k < 4; ++k) {
      if (!(mix & (1 << k))) continue;
      for (const Ink& ink : kInks) {
        if (inks[k] != ink.name) continue;
        rgb[0] *= ink.r;
        rgb[1] *= ink.g;
        rgb[2] *= ink.b;
      }
    }
    for (int c = 0; c < 3; ++c) colour_[mix][c] = static_cast<uint16_t>(std::lround(rgb[c] * 4096));
  }
}

PrintSimulator::~PrintSimulator() = default;

namespace {

// The eight dots of a plane byte (most significant bit first), one per byte
// of the word: bit 8 * i is dot i.
constexpr std::array<uint64_t, 256> kDotBytes = [] {
  std::array<uint64_t, 256> t{};
  for (int b = 0; b < 256; ++b) {
    for (int i = 0; i < 8; ++i) {
      if (b & (0x80 >> i)) t[static_cast<size_t>(b)] |= uint64_t{1} << (8 * i);
    }
  }
  return t;
}();

}  // namespace

void PrintSimulator::Row(int y, std::span<const std::span<const uint8_t>> planes) {
  if (y < 0 || y >= height_) return;
  const int oy = static_cast<int>(static_cast<int64_t>(y) * outHeight_ / height_);
  const size_t n = std::min<size_t>(planes.size(), 4);
  // Mixes eight dots at a time: plane k's byte spread to bit k of eight bytes.
  const size_t bytes = (static_cast<size_t>(width_) + 7) / 8;
  std::vector<uint8_t>& mixes = mixes_;
  mixes.resize(bytes * 8);
  for (size_t j = 0; j < bytes; ++j) {
    uint64_t eight = 0;
    for (size_t k = 0; k < n; ++k) eight |= kDotBytes[planes[k][j]] << k;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&mixes[j * 8], &eight, 8);  // byte i is eight >> 8 * i
    } else {
      for (int i = 0; i < 8; ++i) mixes[j * 8 + static_cast<size_t>(i)] = static_cast<uint8_t>(eight >> (8 * i));
    }
  }
  if (model_ != nullptr) {
    if (packed_) {
      PackedModelRow(oy, mixes);
    } else {
      ModelRow(oy, mixes);
    }
  } else {
    IdealRow(oy, mixes);
  }
}

void PrintSimulator::IdealRow(int oy, const std::vector<uint8_t>& mixes) {
  uint32_t* sums = &sums_[size_t(oy) * outWidth_ * 3];
  uint32_t* counts = &counts_[size_t(oy) * outWidth_];
  for (int x = 0; x < width_; ++x) {
    const int ox = column_[x];
    sums[ox * 3 + 0] += colour_[mixes[x]][0];
    sums[ox * 3 + 1] += colour_[mixes[x]][1];
    sums[ox * 3 + 2] += colour_[mixes[x]][2];
    counts[ox] += 1;
  }
}

void PrintSimulator::ModelRow(int oy, const std::vector<uint8_t>& mixes) {
  OpenRow& open = open_[oy];
  if (open.counts.empty()) open.counts.assign(size_t(outWidth_) * 16, 0);
  std::vector<uint32_t>& counts = open.counts;
  for (int x = 0; x < width_; ++x) counts[size_t(column_[x]) * 16 + overprint_[mixes[x]]] += 1;
  // An output row is turned into colours once all its dot rows are in, so
  // only the rows being printed hold counts.
  if (++open.rows == rowsPerOutput_[oy]) FinishModelRow(oy);
}

// The same counts as ModelRow without a memory update per dot: up to 15
// dots of a pixel are counted in the nibbles of one word (nibble m for mix
// m), whose even and odd nibbles are then added to the pixel's packed
// bytes.
void PrintSimulator::PackedModelRow(int oy, const std::vector<uint8_t>& mixes) {
  OpenRow& open = open_[oy];
  if (open.counts.empty()) {
    open.counts.assign(size_t(outWidth_) * 16, 0);
    open.packed.assign(size_t(outWidth_) * 2, 0);
  }
  constexpr uint64_t kLow = 0x0F0F0F0F0F0F0F0Full;
  // One dot of mix m: 1 in nibble m (a load where a shift by a variable
  // count costs more).
  static constexpr std::array<uint64_t, 16> kOneOf = [] {
    std::array<uint64_t, 16> t{};
    for (int m = 0; m < 16; ++m) t[size_t(m)] = uint64_t{1} << (4 * m);
    return t;
  }();
  const uint8_t* mix = mixes.data();
  uint64_t* packed = open.packed.data();
  for (size_t ox = 0; ox < size_t(outWidth_); ++ox) {
    const int end = firstColumn_[ox + 1];
    uint64_t even = 0, odd = 0;
    for (int x = firstColumn_[ox]; x < end;) {
      const int stop = std::min(end, x + 15);
      // Two sums in turn, so that the additions do not wait on each other;
      // together they hold at most 15 dots, so no nibble carries.
      uint64_t first = 0, second = 0;
      for (; x + 1 < stop; x += 2) {
        first += kOneOf[mix[x] & 15];
        second += kOneOf[mix[x + 1] & 15];
      }
      if (x < stop) first += kOneOf[mix[x++] & 15];
      const uint64_t nibbles = first + second;
      even += nibbles & kLow;
      odd += (nibbles >> 4) & kLow;
    }
    packed[2 * ox] += even;
    packed[2 * ox + 1] += odd;
  }
  if ((++open.packedRows + 1) * widestPixel_ > 255) FlushPacked(open);
  if (++open.rows == rowsPerOutput_[oy]) FinishModelRow(oy);
}

void PrintSimulator::FlushPacked(OpenRow& open) const {
  if (open.packedRows == 0) return;
  for (size_t ox = 0; ox < size_t(outWidth_); ++ox) {
    uint32_t* c = &open.counts[ox * 16];
    for (int half = 0; half < 2; ++half) {
      const uint64_t bytes = open.packed[2 * ox + size_t(half)];
      for (int b = 0; b < 8; ++b) c[overprint_[2 * b + half]] += uint32_t(bytes >> (8 * b)) & 0xFF;
    }
  }
  std::fill(open.packed.begin(), open.packed.end(), 0);
  open.packedRows = 0;
}

void PrintSimulator::FinishModelRow(int oy) const {
  auto it = open_.find(oy);
  if (it == open_.end()) return;
  FlushPacked(it->second);
  const std::vector<uint32_t>& counts = it->second.counts;
  uint8_t* row = &image_[size_t(oy) * outWidth_ * 3];
  // Pixels of blank paper or of one overprint alone (solids) take the
  // pixel worked out once for them: the same numbers Mix and the encoder
  // give, without their cost.  The others are mixed and encoded together.
  // Sized once: a row's pixels need no fresh (zeroed) memory.
  std::vector<std::array<double, 16>>& fractions = fractions_;
  std::vector<int>& where = where_;
  fractions.resize(size_t(outWidth_));
  where.clear();
  for (int ox = 0; ox < outWidth_; ++ox) {
    const uint32_t* c = &counts[size_t(ox) * 16];
    uint64_t total = 0;
    for (int m = 0; m < 16; ++m) total += c[m];
    if (total == 0) {
      std::memcpy(row + size_t(ox) * 3, paperRgb_, 3);
      continue;
    }
    int only = -1;
    for (int m = 0; m < 16; ++m) {
      if (c[m] == total) only = m;
    }
    if (only >= 0) {
      std::memcpy(row + size_t(ox) * 3, solidRgb_[only], 3);
      continue;
    }
    std::array<double, 16>& f = fractions[where.size()];
    for (int m = 0; m < 16; ++m) f[m] = static_cast<double>(c[m]) / static_cast<double>(total);
    where.push_back(ox);
  }
  std::vector<printmodel::Xyz> mixed(where.size());
  model_->MixMany(fractions.data(), mixed.data(), where.size());
  std::vector<uint8_t> rgb(mixed.size() * 3);
  encoder_->Encode(mixed.data(), rgb.data(), mixed.size());
  for (size_t i = 0; i < where.size(); ++i) std::memcpy(row + size_t(where[i]) * 3, &rgb[i * 3], 3);
  open_.erase(it);
}

std::vector<uint8_t> PrintSimulator::Image() const {
  if (model_ != nullptr) {
    // Rows a stopped page left unfinished show what reached them.
    while (!open_.empty()) FinishModelRow(open_.begin()->first);
    return image_;
  }
  std::vector<uint8_t> out(size_t(outWidth_) * outHeight_ * 3, 255);
  for (size_t i = 0; i < counts_.size(); ++i) {
    if (counts_[i] == 0) continue;
    for (int c = 0; c < 3; ++c) {
      // Mean reflectance of the dots, as the pixel value it stands for (the
      // tables treat pixel values as reflectances).
      out[i * 3 + c] = static_cast<uint8_t>((uint64_t{sums_[i * 3 + c]} * 255 + 2048ull * counts_[i]) /
                                            (4096ull * counts_[i]));
    }
  }
  return out;
}

void ScreenSize(double widthInches, double heightInches, int longest, int* w, int* h) {
  if (widthInches >= heightInches) {
    *w = longest;
    *h = std::max(1, static_cast<int>(std::lround(longest * heightInches / widthInches)));
  } else {
    *h = longest;
    *w = std::max(1, static_cast<int>(std::lround(longest * widthInches / heightInches)));
  }
}

}  // namespace vantik::tool
