// Helpers of the end-to-end tests: the default resource set, a page
// rendered in memory through the tool's job logic, and image measures.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "job.h"
#include "print_run.h"
#include "vantik/vantik.hpp"

#include "vantik/default_resources.h"

namespace vantik::e2e {

inline ResourceSet DefaultResources() {
  ResourceSet set;
  for (const auto& b : resources::Defaults()) {
    set.AddView(b.service, b.number, b.bytes);
  }
  return set;
}

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // packed
  const uint8_t* At(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

struct Rendered {
  int width = 0, height = 0;
  std::vector<std::string> inks;
  std::vector<std::vector<uint8_t>> planes;  // packed rows, one vector per plane
  Image simulated;
  bool Dot(int plane, int x, int y) const {
    return planes[plane][size_t(y) * PlaneBytes(width) + (x >> 3)] & (0x80 >> (x & 7));
  }
  double Density(int plane, int x0, int y0, int x1, int y1) const {
    long dots = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) dots += Dot(plane, x, y);
    return double(dots) / (double(x1 - x0) * (y1 - y0));
  }
};

// Prints `page` (already at printer resolution) in memory; the simulated
// print shows `model`'s colours (null: ideal inks).
inline Result<Rendered> Render(const tool::JobOptions& job, const Image& page,
                               const ResourceSet& set, int screenLongest = 400,
                               const printmodel::PrintModel* model = nullptr) {
  Rendered out;
  out.width = page.width;
  out.height = page.height;
  tool::PrintRequest req;
  req.options = job;
  req.geometry = {page.width, page.height, page.width, page.height};
  req.widthInches = double(page.width) / job.resolution.x;
  req.heightInches = double(page.height) / job.resolution.y;
  req.screenLongest = screenLongest;
  req.model = model;
  req.source = [&](int y, std::span<uint8_t> rgb) {
    std::copy_n(page.At(0, y), rgb.size(), rgb.begin());
    return Status::Ok();
  };
  req.tap = [&](int, std::span<const std::span<const uint8_t>> rows) {
    if (out.planes.empty()) out.planes.resize(rows.size());
    for (size_t k = 0; k < rows.size(); ++k) {
      out.planes[k].insert(out.planes[k].end(), rows[k].begin(), rows[k].end());
    }
    return Status::Ok();
  };
  tool::PrintResult result;
  Status s = tool::RunPrint(req, set, &result);
  if (!s.ok()) return s;
  out.inks = result.inks;
  out.simulated = {result.simulatedWidth, result.simulatedHeight, result.simulated};
  return out;
}

// Box blur of radius r (a (2r+1)^2 window, clipped at the edges).
inline Image Blur(const Image& in, int r) {
  Image out = in;
  for (int y = 0; y < in.height; ++y)
    for (int x = 0; x < in.width; ++x)
      for (int c = 0; c < 3; ++c) {
        int sum = 0, n = 0;
        for (int dy = -r; dy <= r; ++dy)
          for (int dx = -r; dx <= r; ++dx) {
            int xx = x + dx, yy = y + dy;
            if (xx < 0 || yy < 0 || xx >= in.width || yy >= in.height) continue;
            sum += in.At(xx, yy)[c];
            ++n;
          }
        out.rgb[(size_t(y) * in.width + x) * 3 + c] = static_cast<uint8_t>((sum + n / 2) / n);
      }
  return out;
}

// Nearest-neighbour resize (for bringing an input to the simulated size).
inline Image Resize(const Image& in, int w, int h) {
  Image out{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = in.At(int(int64_t(x) * in.width / w), int(int64_t(y) * in.height / h));
      std::copy_n(p, 3, &out.rgb[(size_t(y) * w + x) * 3]);
    }
  return out;
}

inline double Psnr(const Image& a, const Image& b) {
  double se = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    double d = double(a.rgb[i]) - b.rgb[i];
    se += d * d;
  }
  double mse = se / a.rgb.size();
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace vantik::e2e
