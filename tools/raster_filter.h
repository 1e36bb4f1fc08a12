// The print-queue filter's job: CUPS raster pages in, CUPS raster pages of
// 1-bit dot planes out, one page at a time.  The command (rastertovantik.cc)
// only gathers arguments, options and signals; everything here can be driven
// by tests with file descriptors and option lists.
#pragma once

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "job.h"
#include "vantik/vantik.hpp"

namespace vantik::filter {

// Plane order of the output pages, as the printer's back-end wants it.
enum class PlaneOrder { kKCMY, kCMYK };
// Planar: every line of plane 1, then of plane 2 ...; banded: each line
// holds plane 1's bits, then plane 2's ...
enum class PlaneLayout { kPlanar, kBanded };

struct FilterSettings {
  tool::JobOptions job;                    // resolution 0x0: the raster's own
  bool resolutionChosen = false;           // job.resolution names the output dpi
  PlaneOrder order = PlaneOrder::kKCMY;
  PlaneLayout layout = PlaneLayout::kPlanar;
  std::string resources;                   // resource directory; empty: built in
};

// Settings from the PPD's marked choices (defaults, then the job's options
// marked on them) and the job's options themselves; a job option given as
// a plain value ("VantikBrightness=13") wins over the PPD's choice.  `ppd`
// may be null (a filter run by hand).  An unusable value is refused with a
// message naming the option.
Result<FilterSettings> ReadSettings(int numOptions, cups_option_t* options, ppd_file_t* ppd);
// The same from the job's option string as CUPS gives it to a filter
// ("VantikBrightness=13 ColorModel=Gray ..."): the PPD's defaults are
// marked, then the job's options on them, and the settings read.
Result<FilterSettings> SettingsFromOptions(const char* optionString, ppd_file_t* ppd);

// The output header of one page: the input header's page description kept,
// the dots, resolution and plane layout set.
cups_page_header2_t DotHeader(const cups_page_header2_t& input, int width, int height,
                              tool::Resolution resolution, int planes,
                              PlaneOrder order, PlaneLayout layout);

// Where messages go; CUPS reads them from standard error by their prefix.
struct Messages {
  FILE* out = stderr;
  void Info(const std::string& text) const;
  void Warning(const std::string& text) const;
  void Error(const std::string& text) const;
  void Page(int page, int copies) const;
  void Attr(const std::string& text) const;
};

struct FilterResult {
  int pages = 0;          // complete pages written
  bool cancelled = false;
};

// Reads every page of the raster on inputFd and writes its dot pages to
// outputFd.  A page is written whole or not at all: when `cancel` becomes
// true the page in hand is dropped at the next line and the run ends with
// the pages already written.  Memory is one page of dots (1 bit per dot and
// ink), whatever the number of pages.
Status RunFilter(int inputFd, int outputFd, const FilterSettings& settings,
                 const std::atomic<bool>& cancel, const Messages& messages,
                 FilterResult* result);

}  // namespace vantik::filter
