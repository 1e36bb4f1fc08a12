// Gray balance of the error-diffusion tables, fitted by printing flat grays
// through the library itself.
//
// How diffused dots of cyan, magenta and yellow fall beside or on top of
// black depends on the kernel's jitter and error flow, which no closed-form
// overlap model captures in the deep shadows.  The fit prints a flat patch of
// every gray node through the real colour-matching and halftoning path,
// measures what each channel of the printed patch reflects, and shifts the
// node's cyan, magenta and yellow until the three channels agree.
#pragma once

#include <array>
#include <vector>

#include "separation.h"
#include "vantik/vantik.hpp"

namespace vantik::resgen {

struct BalanceTarget {
  int tableNumber;          // colour block the table is stored under
  const char* paper;        // paper name as the index's list 2 gives it
  int kind = 1;             // halftone kind the table serves
  int xResolution = 720;
  int yResolution = 720;
};

// Fits design.neutralShift so that every gray node of the table prints
// neutral; `resources` holds every other block the path needs.  Returns the
// cast left: the largest distance of a node's channel from the mean of its
// three, in levels of 255.
double BalanceGrays(TableDesign& design, const BalanceTarget& target, ResourceSet resources);

}  // namespace vantik::resgen
