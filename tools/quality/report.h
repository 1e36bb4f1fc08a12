// The quality report: patches, flat tints and photo-like scenes printed
// through each halftone method at each resolution and paper, measured on
// the simulated print under the print model, against two textbook
// halftoners of the same ink amounts, written as one HTML page.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job.h"
#include "printmodel/print_model.h"
#include "quality/patches.h"
#include "vantik/vantik.hpp"

namespace vantik::tool::quality {

struct ReportOptions {
  std::vector<std::string> methods;       // empty: every method
  std::vector<Resolution> resolutions;    // empty: every resolution of the tables
  std::vector<std::string> papers;        // empty: plain and photo
  bool quick = false;                     // fewer, smaller patches and tints
  std::optional<std::vector<int>> calibration;  // --calibration levels for every job
  const printmodel::PrintModel* model = nullptr;  // required
  std::string modelName = "the built-in measured printer";
  // Photographs to print beside the scenes drawn in code.
  std::vector<Scene> photos;
  // Called with a line of progress ("720x720 plain diffusion").
  std::function<void(const std::string&)> log;
};

// Halftone texture is judged by the power below this radial frequency, in
// cycles per dot: periods longer than 16 dots, which the eye sees as grain
// and pattern at print resolutions.
inline constexpr double kLowFrequencyCutoff = 1.0 / 16;

struct ReportImage {
  std::string name;  // relative to the report's folder
  std::vector<uint8_t> rgb;
  int width = 0, height = 0;
};

// One method at one resolution and paper, in figures.
struct MethodFigures {
  std::string method, paper;
  Resolution resolution;
  // The gamut the method's patches are judged against: what its own dot
  // rule can print (engine A's screens), or independent dots.
  std::string gamut;
  int inGamut = 0;                        // patches inside it
  double meanDeltaE = 0, maxDeltaE = 0;   // patches inside the method's gamut
  std::string worstPatch;
  // The textbook halftoners print each ink independently: their means are
  // over the patches inside the independent-dot gamut.
  double meanDeltaEFs = 0, meanDeltaEBayer = 0;
  double grayMaxChroma = 0;               // max of |a*|, |b*| above L* 10
  int grayStepsBack = 0;                  // steps where L* does not fall
  // Max over tints of the low-frequency energy of printed lightness over
  // plain Floyd-Steinberg's at the same ink coverages, and the tint.
  double worstTextureRatio = 0;
  double worstTextureTint = 0;
  // The same for the cyan dots alone, by their low-frequency share.
  double worstCyanTextureRatio = 0;
  double worstCyanTextureTint = 0;
};

struct Report {
  std::string html;
  std::vector<ReportImage> images;  // pictures the page shows
  std::string frontSvg;             // original vs printed patches per method
  std::vector<MethodFigures> figures;
};

Result<Report> BuildReport(const ReportOptions& options, const ResourceSet& resources);

}  // namespace vantik::tool::quality
