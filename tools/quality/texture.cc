#include "quality/texture.h"

#include <fftw3.h>

#include <cmath>
#include <memory>

namespace vantik::tool::quality {

Texture MeasureTexture(std::span<const float> image, int width, int height, int tile,
                       double cutoff) {
  Texture t;
  RadialSpectrum& s = t.spectrum;
  s.tile = tile;
  if (tile < 2 || width < tile || height < tile ||
      image.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
    return t;
  }
  const int half = tile / 2;
  s.power.assign(static_cast<size_t>(half) + 1, 0);
  s.energy.assign(static_cast<size_t>(half) + 1, 0);
  std::vector<int> ringCount(static_cast<size_t>(half) + 1, 0);

  const size_t n = static_cast<size_t>(tile) * static_cast<size_t>(tile);
  struct Free {
    void operator()(void* p) const { fftw_free(p); }
  };
  std::unique_ptr<fftw_complex, Free> buf(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n)));
  fftw_plan plan = fftw_plan_dft_2d(tile, tile, buf.get(), buf.get(), FFTW_FORWARD, FFTW_ESTIMATE);

  // Power of every frequency, summed over the tiles.
  std::vector<double> sum(n, 0);
  for (int ty = 0; ty + tile <= height; ty += tile) {
    for (int tx = 0; tx + tile <= width; tx += tile) {
      double mean = 0;
      for (int y = 0; y < tile; ++y) {
        const float* row = image.data() + static_cast<size_t>(ty + y) * width + tx;
        for (int x = 0; x < tile; ++x) mean += row[x];
      }
      mean /= static_cast<double>(n);
      for (int y = 0; y < tile; ++y) {
        const float* row = image.data() + static_cast<size_t>(ty + y) * width + tx;
        for (int x = 0; x < tile; ++x) {
          buf.get()[static_cast<size_t>(y) * tile + x][0] = row[x] - mean;
          buf.get()[static_cast<size_t>(y) * tile + x][1] = 0;
        }
      }
      fftw_execute(plan);
      for (size_t i = 0; i < n; ++i) {
        const double re = buf.get()[i][0], im = buf.get()[i][1];
        sum[i] += re * re + im * im;
      }
      ++s.tiles;
    }
  }
  fftw_destroy_plan(plan);

  // By Parseval, sum |F|^2 / n^2 over every frequency is the tile's variance.
  const double norm = 1.0 / (static_cast<double>(n) * static_cast<double>(n) * s.tiles);
  double low = 0;
  for (int v = 0; v < tile; ++v) {
    const int fv = v <= half ? v : v - tile;
    for (int u = 0; u < tile; ++u) {
      const int fu = u <= half ? u : u - tile;
      const double p = sum[static_cast<size_t>(v) * tile + u] * norm;
      s.variance += p;
      const double radius = std::sqrt(double(fu) * fu + double(fv) * fv);
      if (radius / tile < cutoff) low += p;
      const int ring = static_cast<int>(std::lround(radius));
      if (ring <= half) {
        s.energy[static_cast<size_t>(ring)] += p;
        ++ringCount[static_cast<size_t>(ring)];
      }
    }
  }
  for (int r = 1; r <= half; ++r) {
    if (ringCount[static_cast<size_t>(r)] > 0) {
      s.power[static_cast<size_t>(r)] = s.energy[static_cast<size_t>(r)] / ringCount[static_cast<size_t>(r)];
    }
  }
  s.power[0] = s.energy[0] = 0;  // the mean was taken out of every tile
  t.lowEnergy = low;
  t.lowShare = s.variance > 0 ? low / s.variance : 0;
  return t;
}

RadialSpectrum PowerSpectrum(std::span<const float> image, int width, int height, int tile) {
  return MeasureTexture(image, width, height, tile, 0).spectrum;
}

double LowFrequencyShare(std::span<const float> image, int width, int height, int tile,
                         double cutoff) {
  return MeasureTexture(image, width, height, tile, cutoff).lowShare;
}

}  // namespace vantik::tool::quality
