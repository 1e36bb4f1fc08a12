// Texture of a halftone: the radially averaged power spectrum of its dots.
//
// The dots of a flat tint are split into square tiles; each tile, less its
// mean, goes through a 2-D discrete Fourier transform, and the power of
// every frequency is averaged over the tiles (Bartlett's method).  Power is
// normalised so that it sums, over every frequency but zero, to the variance
// of the image: for the 0/1 dots of one ink at coverage g that is g (1 - g)
// whatever the arrangement, so a share of the power is a share of the same
// total.  For an image of printed lightness the variance depends on which
// inks fall together, so halftones of one tint are compared by the absolute
// power (energy) in a band of frequencies, not by its share.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vantik::tool::quality {

struct RadialSpectrum {
  int tile = 0;  // tile side in dots; frequencies are in cycles per dot
  // power[r]: mean power per frequency in the ring of radius r / tile cycles
  // per dot (r - 0.5 up to r + 0.5), for r = 0 .. tile / 2.  power[0] is 0.
  std::vector<double> power;
  // energy[r]: total power in that ring.
  std::vector<double> energy;
  double variance = 0;  // the sum of every frequency's power
  int tiles = 0;
};

// The spectrum of a width x height image (row-major values, for example 0/1
// dots), from its whole tile x tile tiles; the part of the image that does
// not fill a whole tile is left out.  An image smaller than one tile gives an
// empty spectrum (tiles == 0).
RadialSpectrum PowerSpectrum(std::span<const float> image, int width, int height, int tile);

// The share (0..1) of the power at radial frequencies below `cutoff` cycles
// per dot, from every single frequency, not the rings; 0 for an empty or
// flat image.
double LowFrequencyShare(std::span<const float> image, int width, int height, int tile,
                         double cutoff);

// The spectrum with the power at radial frequencies below the cutoff, as
// a share of the variance and as energy (the power itself, in the image's
// units squared).
struct Texture {
  RadialSpectrum spectrum;
  double lowShare = 0;
  double lowEnergy = 0;
};
Texture MeasureTexture(std::span<const float> image, int width, int height, int tile,
                       double cutoff);

}  // namespace vantik::tool::quality
