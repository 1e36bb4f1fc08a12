#include "quality/reference_halftone.h"

#include <array>

namespace vantik::tool::quality {

std::vector<uint8_t> FloydSteinberg(std::span<const float> coverage, int width, int height) {
  std::vector<uint8_t> out(static_cast<size_t>(width) * height, 0);
  // Error of this row and the next, with one spare column on each side.
  std::vector<float> cur(static_cast<size_t>(width) + 2, 0), next(cur.size(), 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(y) * width + x;
      const float want = coverage[i] + cur[static_cast<size_t>(x) + 1];
      const uint8_t dot = want >= 0.5f ? 1 : 0;
      out[i] = dot;
      const float err = want - dot;
      cur[static_cast<size_t>(x) + 2] += err * (7.0f / 16);
      next[static_cast<size_t>(x)] += err * (3.0f / 16);
      next[static_cast<size_t>(x) + 1] += err * (5.0f / 16);
      next[static_cast<size_t>(x) + 2] += err * (1.0f / 16);
    }
    cur.swap(next);
    std::fill(next.begin(), next.end(), 0.0f);
  }
  return out;
}

namespace {

// The 16 x 16 Bayer index matrix, built by the usual recursion
// M(2n) = [4M, 4M+2; 4M+3, 4M+1].
std::array<uint8_t, 256> BayerMatrix() {
  std::array<uint8_t, 256> m{};
  m[0] = 0;
  for (int n = 1; n < 16; n *= 2) {
    for (int y = n - 1; y >= 0; --y) {
      for (int x = n - 1; x >= 0; --x) {
        const int v = 4 * m[static_cast<size_t>(y) * 16 + x];
        m[static_cast<size_t>(y) * 16 + x] = static_cast<uint8_t>(v);
        m[static_cast<size_t>(y) * 16 + x + n] = static_cast<uint8_t>(v + 2);
        m[static_cast<size_t>(y + n) * 16 + x] = static_cast<uint8_t>(v + 3);
        m[static_cast<size_t>(y + n) * 16 + x + n] = static_cast<uint8_t>(v + 1);
      }
    }
  }
  return m;
}

}  // namespace

std::vector<uint8_t> BayerDither(std::span<const float> coverage, int width, int height) {
  static const std::array<uint8_t, 256> matrix = BayerMatrix();
  std::vector<uint8_t> out(static_cast<size_t>(width) * height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(y) * width + x;
      const float threshold = (matrix[static_cast<size_t>(y % 16) * 16 + x % 16] + 0.5f) / 256.0f;
      out[i] = coverage[i] > threshold ? 1 : 0;
    }
  }
  return out;
}

}  // namespace vantik::tool::quality
