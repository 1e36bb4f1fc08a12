// One printed page, end to end: colour matcher and halftoner from the job's
// options, the page rendered line by line, every line written to the plane
// files and folded into the simulated print.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "job.h"
#include "printmodel/print_model.h"
#include "printmodel/screen_printer.h"
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
  int threads = 0;                     // page threads: 0 one per core, 1 none
  // The printer the simulated print shows; null: ideal inks (see
  // PrintSimulator).  Must outlive the call.
  const printmodel::PrintModel* model = nullptr;
};

struct PrintResult {
  std::vector<std::string> files;      // final names, in writing order
  std::vector<std::string> inks;       // plane names
  std::vector<uint8_t> simulated;      // packed RGB
  int simulatedWidth = 0, simulatedHeight = 0;
  double seconds = 0;
  PageStageTimes stages;               // busy time of each page stage
};

// The printer named by --model: empty for the built-in measured one,
// "ideal" for ideal inks (null), else a measurement file, whose fitted model
// is held in *owned.
Result<const printmodel::PrintModel*> ChoosePrintModel(
    const std::string& arg, std::unique_ptr<printmodel::PrintModel>* owned);

// The dot rule by which a method's screen lays its inks over each other
// (engine A's methods), or none where each ink's dots fall independently.
std::optional<printmodel::ScreenRule> ScreenRuleOfMethod(const std::string& method);

Status RunPrint(const PrintRequest& request, const ResourceSet& resources,
                PrintResult* result);

}  // namespace vantik::tool
