// Measurement files as a user hands them to --model or calibrate build: the
// CGATS text is parsed, and whatever parses is fitted and calibrated.
// Nothing may crash or read out of bounds, however the text is broken.
#include <cstdint>
#include <string_view>

#include "printmodel/calibration.h"
#include "printmodel/print_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantik::printmodel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  vantik::Result<MeasurementSet> set = ParseMeasurements(text, "fuzz");
  if (!set.ok()) return 0;
  vantik::Result<PrintModel> model = PrintModel::Fit(*set);
  if (model.ok()) model->Predict({0.5, 0.5, 0.5, 0.5});
  BuildCalibration(*set);
  return 0;
}
