// The stacked screen's colour: its black, cyan and magenta dots share the
// threshold axis, so a table that interpolates between a node built with
// black and a neighbour with colour in its place prints a colour neither
// shows.  Printed through the default tables at 720 x 720 on each paper,
// every patch inside the screen's own gamut comes within Delta E 2000 5 of
// its colour, and the patches within 2 on average.
#include <gtest/gtest.h>

#include <string>

#include "printmodel/print_model.h"
#include "quality/report.h"
#include "vantik/default_resources.h"

namespace vantik::tool::quality {
namespace {

ResourceSet Defaults() {
  ResourceSet set;
  for (const resources::Block& b : resources::Defaults()) set.AddView(b.service, b.number, b.bytes);
  return set;
}

TEST(StackedColour, InGamutPatchesStayClose) {
  ReportOptions options;
  options.methods = {"stacked"};
  options.resolutions = {{720, 720}};
  options.papers = {"plain", "photo"};
  options.model = &printmodel::PrintModel::Default();
  Result<Report> report = BuildReport(options, Defaults());
  ASSERT_TRUE(report.ok()) << report.status().message();
  ASSERT_EQ(report->figures.size(), 2u);
  for (const MethodFigures& f : report->figures) {
    SCOPED_TRACE(f.paper);
    EXPECT_EQ(f.method, "stacked");
    EXPECT_GT(f.inGamut, 50) << "the screen's gamut holds most of the patches";
    EXPECT_LT(f.maxDeltaE, 5.0) << "worst patch: " << f.worstPatch;
    EXPECT_LT(f.meanDeltaE, 2.0);
  }
}

}  // namespace
}  // namespace vantik::tool::quality
