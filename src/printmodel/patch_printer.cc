#include "printmodel/patch_printer.h"

#include <algorithm>

#include "printmodel/gamut_map.h"

namespace vantik::printmodel {
namespace {

// Patches across the page: wide enough to keep the page short, narrow
// enough that a line stays small.
constexpr int kColumns = 128;
// Period of the threshold matrices of halftone kind 3 (its kernels take the
// column modulo 64).
constexpr int kDitherPeriod = 64;

}  // namespace

PatchPrinter::PatchPrinter(std::vector<Rgb> probes, int patch, int settle, int kind)
    : probes_(std::move(probes)), patch_(patch), settle_(settle) {
  if (kind == 3 && patch_ - settle_ < kDitherPeriod) patch_ = settle_ + kDitherPeriod;
  count_ = static_cast<int>(probes_.size());
  columns_ = std::max(1, std::min(kColumns, count_));
  rows_ = (count_ + columns_ - 1) / columns_;
}

Result<std::vector<Lab>> PatchPrinter::Print(const ColorSettings& settings, const ResourceSet& resources,
                                             const PrintModel& model) const {
  Result<ColorMatcher> matcher = ColorMatcher::Create(settings, resources);
  if (!matcher.ok()) return matcher.status();
  Result<Halftoner> halftoner = Halftoner::Create(*matcher, resources);
  if (!halftoner.ok()) return halftoner.status();
  if (halftoner->planes() != kInks) {
    return Status(RC_FAILURE, "the method prints no four-ink planes to read patches by");
  }
  const int p = patch_, w = width(), h = rows_ * p;
  std::vector<std::array<uint32_t, kOverprints>> counts(static_cast<size_t>(count_));
  auto source = [&](int y, std::span<uint8_t> rgb) {
    const int row = y / p;
    for (int col = 0; col < columns_; ++col) {
      const int j = row * columns_ + col;
      const Rgb c = j < count_ ? probes_[static_cast<size_t>(j)] : Rgb{255, 255, 255};
      for (int x = col * p; x < (col + 1) * p; ++x)
        std::copy(c.begin(), c.end(), rgb.begin() + static_cast<std::ptrdiff_t>(x) * 3);
    }
    return Status::Ok();
  };
  auto sink = [&](int y, std::span<const std::span<const uint8_t>> planes) {
    if (y % p < settle_) return Status::Ok();
    const int row = y / p;
    for (int x = 0; x < w; ++x) {
      if (x % p < settle_) continue;
      const int j = row * columns_ + x / p;
      if (j >= count_) break;
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      int m = 0;
      for (int k = 0; k < kInks; ++k)
        if (planes[static_cast<size_t>(k)][static_cast<size_t>(x) >> 3] & bit) m |= 1 << k;
      ++counts[static_cast<size_t>(j)][static_cast<size_t>(m)];
    }
    return Status::Ok();
  };
  const PageGeometry geometry{w, h, w, h};
  const Status s = RenderPage(*halftoner, geometry, source, sink);
  if (!s.ok()) return s;
  std::vector<Lab> labs(static_cast<size_t>(count_));
  for (int j = 0; j < count_; ++j) {
    const auto& c = counts[static_cast<size_t>(j)];
    double total = 0;
    for (uint32_t v : c) total += v;
    std::array<double, kOverprints> f{};
    for (int m = 0; m < kOverprints; ++m) f[static_cast<size_t>(m)] = c[static_cast<size_t>(m)] / total;
    labs[static_cast<size_t>(j)] = RelativeLab(model, model.Mix(f));
  }
  return labs;
}

}  // namespace vantik::printmodel
