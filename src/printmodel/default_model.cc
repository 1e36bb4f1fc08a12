#include <cstdio>
#include <cstdlib>

#include "printmodel/print_model.h"

namespace vantik::printmodel {

// The shipped measurement set, embedded by the build (default_measurements.cc).
extern const char kDefaultMeasurements[];
extern const size_t kDefaultMeasurementsSize;

const MeasurementSet& PrintModel::DefaultMeasurements() {
  static const MeasurementSet set = [] {
    Result<MeasurementSet> r = ParseMeasurements(
        std::string_view(kDefaultMeasurements, kDefaultMeasurementsSize), "default measurements");
    if (!r.ok()) {
      // The set is part of the build and a test reads it; reaching this is a
      // broken build, not bad input.
      std::fprintf(stderr, "vantik: %s\n", r.status().message().c_str());
      std::abort();
    }
    return std::move(*r);
  }();
  return set;
}

const PrintModel& PrintModel::Default() {
  static const PrintModel model = [] {
    Result<PrintModel> r = Fit(DefaultMeasurements());
    if (!r.ok()) {
      std::fprintf(stderr, "vantik: %s\n", r.status().message().c_str());
      std::abort();
    }
    return std::move(*r);
  }();
  return model;
}

}  // namespace vantik::printmodel
