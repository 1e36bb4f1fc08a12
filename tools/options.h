// The tool's options, declared once: name, help, range and default.  The
// command-line parser and every other place that takes these values (job
// options, a print filter's job attributes) check them through this table,
// so a range such as -50..50 is written in one place only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job.h"
#include "vantik/vantik.hpp"

namespace vantik::tool {

enum class OptionType { kInteger, kReal, kText, kFlag };

struct OptionInfo {
  const char* name;          // long name with its dashes, "--brightness"
  const char* shortName;     // "-o", or nullptr
  OptionType type;
  const char* help;          // what it does, without range or default
  double min = 0, max = 0;   // numbers: the valid range
  const char* fallback = nullptr;  // the default as a user would type it
  // Text values: an empty string when valid, otherwise what is wrong and
  // what would be valid.
  std::string (*check)(const std::string& value) = nullptr;
};

// The default of --max-pixels.
constexpr int64_t kDefaultMaxPixels = 4000000000;

// Every option any command takes.
const std::vector<OptionInfo>& OptionTable();
// The entry for "--name" (or "-x"); nullptr when there is none.
const OptionInfo* FindOption(std::string_view name);
// The help text with the range and the default, as --help shows it.
std::string HelpText(const OptionInfo& option);
// Checks `value` against the option's type, range and check; an empty
// string when valid, otherwise a message that names the option.
std::string CheckValue(const OptionInfo& option, const std::string& value);
// The same, by name; an unknown name is an error.
std::string CheckValue(std::string_view name, const std::string& value);

// Which plane files print writes (--format).
struct PlaneFormat {
  bool pbm = true, tiff = false;
};
std::optional<PlaneFormat> ParsePlaneFormat(const std::string& text);

// The choices of a print job as the user typed them.
struct JobChoices {
  std::string method = "diffusion";
  std::string ink = "colour";
  std::string resolution = "720x720";
  std::string paper = "plain";
  std::string calibration;   // empty: none
  bool pureBlack = false;
  Adjustments adjust;
};

// The job the choices describe, every value checked through the table.
Result<JobOptions> MakeJob(const JobChoices& choices);

// "--calibration" text: one level or C,M,Y,K.
Result<std::vector<int>> ParseCalibration(const std::string& text);

}  // namespace vantik::tool
