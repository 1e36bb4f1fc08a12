// One printed page, end to end: colour matcher and halftoner from the job's
// options, the page rendered line by line, every line written to the plane
// files and folded into the simulated print.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "job.h"
#include "vantik/vantik.hpp"

namespace vantik::tool {

// Writes packed RGB as an image file (the simulated print).
using ImageWriter = std::function<Status(const std::string& path, const std::vector<uint8_t>& rgb,
                                         int width, int height)>;

struct PrintRequest {
  JobOptions options;
  PageGeometry geometry;               // source rows and page dots
  double widthInches = 0, heightInches = 0;
  RowSource source;
  std::string outDir;                  // empty: no files
  bool pbm = true;                     // <stem>-<ink>.pbm
  bool tiff = false;                   // <stem>-<ink>.tif, compressed for the method
  bool simulate = true;                // <stem>-print.png
  std::string stem = "page";           // file names: <stem>-<ink>.pbm ...
  int screenLongest = 1200;            // simulated print, longer side
  ImageWriter writeImage;              // for <stem>-print.png
  Progress progress;
  PlaneSink tap;                       // optional: sees every finished line
};

struct PrintResult {
  std::vector<std::string> files;      // final names, in writing order
  std::vector<std::string> inks;       // plane names
  std::vector<uint8_t> simulated;      // packed RGB
  int simulatedWidth = 0, simulatedHeight = 0;
  double seconds = 0;
};

Status RunPrint(const PrintRequest& request, const ResourceSet& resources,
                PrintResult* result);

}  // namespace vantik::tool
