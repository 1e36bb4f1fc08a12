// Measuring what a halftone printed: dots of each ink, counted by the
// overprint they make, turned into the print model's colour.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "job.h"
#include "printmodel/print_model.h"
#include "printmodel/printer.h"
#include "vantik/vantik.hpp"

namespace vantik::tool::quality {

namespace pm = printmodel;

// Dots of a page, one byte per dot (1 = dot) per model ink: cyan, magenta,
// yellow, black.  An ink the halftone does not print stays all 0.
struct Dots {
  int width = 0, height = 0;
  std::array<std::vector<uint8_t>, pm::kInks> ink;
  uint8_t at(int k, int x, int y) const {
    return ink[static_cast<size_t>(k)][static_cast<size_t>(y) * width + x];
  }
};

// A rectangle of dots: x0 <= x < x1, y0 <= y < y1.
struct Rect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// How many dots of the rectangle show each overprint (bit k: ink k).
std::array<uint32_t, pm::kOverprints> CountOverprints(const Dots& dots, const Rect& r);
// The share of the rectangle's dots that carry ink k, per ink.
std::array<double, pm::kInks> Coverage(const std::array<uint32_t, pm::kOverprints>& counts);

// The printed lightness of every dot of the rectangle, row by row: the
// luminance Y of the overprint its inks make on the model, relative to the
// paper (blank paper 1, solid inks below it).  Texture a reader sees in a
// four-ink print is texture in this image, not in any one ink's dots:
// black dots scattered over an even cyan, or cyan dots falling now on
// paper and now under black, show as grain though each plane alone is even.
std::vector<float> DotLuminance(const pm::PrintModel& model, const Dots& dots, const Rect& r);

// The entry of a ramp's measured coverages nearest `target`, searched only
// on the rising part of the ramp: from the start up to the first entry at
// the ramp's highest coverage.  Past that point the ink is giving way to
// another (cyan going under black on a path to black), and a source found
// there prints the coverage with a different mix of inks.  Ties go to the
// earlier entry; an empty ramp gives 0.
size_t NearestRisingStep(std::span<const double> coverage, double target);

// The model's colour of an area with these overprint counts, media-relative
// (blank paper is L* 100, a* = b* = 0), as an instrument reading the area
// would see it.
pm::Lab PrintedLab(const pm::PrintModel& model, const std::array<uint32_t, pm::kOverprints>& counts);
// The model's colour of a flat tint of ink amounts 0..1, media-relative.
pm::Lab TintLab(const pm::PrintModel& model, const std::array<double, pm::kInks>& ink);

// The CIE L*a*b* (D50) of an sRGB colour, white at L* 100.
pm::Lab SourceLab(uint8_t r, uint8_t g, uint8_t b);

// How close the model can print a colour at best: the smallest Delta E 2000
// between `target` and a flat tint of ink amounts whose total stays within
// `inkLimit` (1 = one solid ink), the limit the paper's tables are built to.
double GamutDistance(const pm::PrintModel& model, const pm::Lab& target, double inkLimit);
// The same for a printer whose inks do not fall independently, such as a
// screen that lays them by its own rule (printmodel/screen_printer.h): the
// smallest Delta E 2000 between `target` and what `printer` prints for ink
// amounts within `inkLimit`.
double GamutDistance(const pm::Printer& printer, const pm::Lab& target, double inkLimit);

// Prints sourceWidth x sourceHeight packed RGB pixels, scaled to width x
// height dots, through the job's method and returns the dots.  With `simulated`, also the simulated
// print of the page, its longer side `screenLongest` pixels.
struct Printed {
  Dots dots;
  std::vector<uint8_t> simulated;
  int simulatedWidth = 0, simulatedHeight = 0;
};
Status PrintPixels(const JobOptions& job, const ResourceSet& resources,
                   const pm::PrintModel* model, int sourceWidth, int sourceHeight,
                   const std::vector<uint8_t>& rgb, int width, int height, int screenLongest,
                   Printed* out);

}  // namespace vantik::tool::quality
