// The option table: one place that knows each option's range and default,
// used by the parser and by everything else that takes the same values.
#include <gtest/gtest.h>

#include "options.h"

namespace vantik::tool {
namespace {

TEST(OptionTable, ChecksValuesAgainstRangeTypeAndText) {
  struct Case {
    const char* option;
    const char* value;
    const char* problem;  // nullptr: valid
  };
  const Case cases[] = {
      {"--brightness", "-50", nullptr},
      {"--brightness", "50", nullptr},
      {"--brightness", "51", "--brightness: 51 is outside -50..50"},
      {"--blue", "-51", "--blue: -51 is outside -50..50"},
      {"--contrast", "1.5", "not a whole number"},
      {"--contrast", "", "not a whole number"},
      {"--contrast", "12abc", "not a whole number"},
      {"--gamma", "3.0", nullptr},
      {"--gamma", "0.9", "--gamma: 0.9 is outside 1.0..3.0"},
      {"--gamma", "nan", "not a number"},
      {"--sharpen", "4", "outside 0..3"},
      {"--method", "stipple", "methods: diffusion, hybrid"},
      {"--ink", "color", nullptr},
      {"--ink", "colour", nullptr},
      {"--ink", "red", "not colour or black"},
      {"--resolution", "1440x720", nullptr},
      {"--resolution", "720", "not XxY"},
      {"--page", "4x6in", nullptr},
      {"--page", "100x6in", "0.5 to 44 inches"},
      {"--calibration", "50", nullptr},
      {"--calibration", "30,40,50,70", nullptr},
      {"--calibration", "50,50", "not one level or C,M,Y,K"},
      {"--calibration", "71", "level 71 is outside 30..70"},
      {"--size", "63x100", "64..20000"},
      {"--no-such", "1", "not an option"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.option) + " " + c.value);
    std::string problem = CheckValue(c.option, c.value);
    if (c.problem == nullptr) {
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
  }
}

TEST(OptionTable, HelpShowsRangeAndDefault) {
  EXPECT_EQ(HelpText(*FindOption("--brightness")), "brightness, -50..50 (default: 0)");
  EXPECT_NE(HelpText(*FindOption("--page")).find("(default: letter)"), std::string::npos);
  EXPECT_EQ(FindOption("-q"), FindOption("--quiet"));
}

TEST(OptionTable, JobChoicesAreCheckedWhereverTheyComeFrom) {
  // A caller that fills the choices without the parser (a print filter
  // reading job attributes) gets the same checks.
  JobChoices c;
  c.adjust.saturation = 70;
  Result<JobOptions> job = MakeJob(c);
  ASSERT_FALSE(job.ok());
  EXPECT_EQ(job.status().message(), "--saturation: 70 is outside -50..50");

  c = JobChoices();
  c.ink = "black";
  c.calibration = "40";
  job = MakeJob(c);
  ASSERT_TRUE(job.ok()) << job.status().message();
  EXPECT_TRUE(job->blackOnly);
  EXPECT_EQ(job->calibration, std::vector<int>{40});
}

}  // namespace
}  // namespace vantik::tool
