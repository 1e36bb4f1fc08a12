// The commands of the vantik tool.  Each command lives in its own file
// (cmd_<name>.cc) and registers itself with a static RegisterCommand: it adds
// its subcommand and options to the parser and returns what runs it.  Adding
// a command is adding one such file.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "options.h"
#include "vantik/vantik.hpp"

namespace vantik::tool {

// Options valid for every command, before or after its name.
struct Globals {
  bool quiet = false;
  bool verbose = false;
  std::string resources;  // empty: the built-in set
  int64_t maxPixels = kDefaultMaxPixels;
};

// Runs a parsed command; returns the exit code.
using CommandRun = std::function<int()>;
// Declares a command's options on `app` and returns the function that runs
// it once the command line is parsed.  `globals` outlives the run.
using CommandSetup = std::function<CommandRun(CLI::App* app, const Globals& globals)>;

struct CommandInfo {
  const char* name;
  const char* description;
  int order;  // position in --help, lower first
  CommandSetup setup;
};

class RegisterCommand {
 public:
  RegisterCommand(const char* name, const char* description, int order, CommandSetup setup);
};

// Every registered command, in --help order.
std::vector<CommandInfo> Commands();

// Prints "vantik: message" on standard error; returns the exit code 1.
int Fail(const std::string& message);
int Fail(const Status& status);

// A progress bar on standard error when it is a terminal and not quiet.
Progress ProgressBar(bool quiet, const std::string& label);

// Declares the table's option `name` on `app`, bound to `target`, with the
// table's help, range and check.  `help` replaces the table's help when
// given.
CLI::Option* AddOption(CLI::App* app, const char* name, std::string* target,
                       const char* help = nullptr);
CLI::Option* AddOption(CLI::App* app, const char* name, int* target,
                       const char* help = nullptr);
CLI::Option* AddOption(CLI::App* app, const char* name, int64_t* target,
                       const char* help = nullptr);
CLI::Option* AddOption(CLI::App* app, const char* name, double* target,
                       const char* help = nullptr);
CLI::Option* AddOption(CLI::App* app, const char* name, std::optional<double>* target,
                       const char* help = nullptr);
CLI::Option* AddFlag(CLI::App* app, const char* name, bool* target, const char* help = nullptr);

// The options of a print job (method, ink, resolution, paper, calibration
// and the adjustments).
void AddJobOptions(CLI::App* app, JobChoices* choices);
// The six adjustments alone.
void AddAdjustments(CLI::App* app, Adjustments* adjust);

}  // namespace vantik::tool
