#include "command.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace vantik::tool {

namespace {

std::vector<CommandInfo>& Registry() {
  static std::vector<CommandInfo> commands;
  return commands;
}

const OptionInfo& Entry(const char* name) {
  const OptionInfo* o = FindOption(name);
  if (o == nullptr) {
    // A programming error: every option the tool declares is in the table.
    std::fprintf(stderr, "vantik: internal error: option %s is not in the option table\n", name);
    std::abort();
  }
  return *o;
}

std::string Names(const OptionInfo& o) {
  return o.shortName != nullptr ? std::string(o.shortName) + "," + o.name : std::string(o.name);
}

template <typename T>
CLI::Option* Add(CLI::App* app, const char* name, T* target, const char* help) {
  const OptionInfo& o = Entry(name);
  std::string text = help != nullptr ? std::string(help) : HelpText(o);
  CLI::Option* opt = app->add_option(Names(o), *target, text);
  opt->check(CLI::Validator(
      [&o](std::string& value) {
        std::string problem = CheckValue(o, value);
        // CLI11 puts the option's name in front of the message itself.
        const std::string prefix = std::string(o.name) + ": ";
        if (problem.rfind(prefix, 0) == 0) problem.erase(0, prefix.size());
        return problem;
      },
      "", o.name));
  return opt;
}

}  // namespace

RegisterCommand::RegisterCommand(const char* name, const char* description, int order,
                                 CommandSetup setup) {
  Registry().push_back({name, description, order, std::move(setup)});
}

std::vector<CommandInfo> Commands() {
  std::vector<CommandInfo> list = Registry();
  std::stable_sort(list.begin(), list.end(),
                   [](const CommandInfo& a, const CommandInfo& b) { return a.order < b.order; });
  return list;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "vantik: %s\n", message.c_str());
  return 1;
}
int Fail(const Status& s) { return Fail(s.message()); }

Progress ProgressBar(bool quiet, const std::string& label) {
  if (quiet || !isatty(STDERR_FILENO)) return nullptr;
  return [label, last = -1](int done, int total) mutable {
    int percent = static_cast<int>(int64_t(done) * 100 / std::max(1, total));
    if (percent == last) return;
    last = percent;
    int bar = percent * 30 / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label.c_str(), bar,
                 "##############################", 30 - bar, "", percent);
    if (done == total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  };
}

CLI::Option* AddOption(CLI::App* app, const char* name, std::string* target, const char* help) {
  return Add(app, name, target, help);
}
CLI::Option* AddOption(CLI::App* app, const char* name, int* target, const char* help) {
  return Add(app, name, target, help);
}
CLI::Option* AddOption(CLI::App* app, const char* name, int64_t* target, const char* help) {
  return Add(app, name, target, help);
}
CLI::Option* AddOption(CLI::App* app, const char* name, double* target, const char* help) {
  return Add(app, name, target, help);
}
CLI::Option* AddOption(CLI::App* app, const char* name, std::optional<double>* target,
                       const char* help) {
  return Add(app, name, target, help);
}

CLI::Option* AddFlag(CLI::App* app, const char* name, bool* target, const char* help) {
  const OptionInfo& o = Entry(name);
  return app->add_flag(Names(o), *target, help != nullptr ? help : HelpText(o));
}

void AddAdjustments(CLI::App* app, Adjustments* a) {
  AddOption(app, "--brightness", &a->brightness);
  AddOption(app, "--contrast", &a->contrast);
  AddOption(app, "--saturation", &a->saturation);
  AddOption(app, "--red", &a->red);
  AddOption(app, "--green", &a->green);
  AddOption(app, "--blue", &a->blue);
}

void AddJobOptions(CLI::App* app, JobChoices* c) {
  std::string methods;
  for (const Method& m : Methods()) methods += std::string(methods.empty() ? "" : ", ") + m.name;
  const std::string methodHelp = "halftone method: " + methods + " (default: diffusion)";
  AddOption(app, "--method", &c->method)->description(methodHelp);
  AddOption(app, "--ink", &c->ink);
  AddOption(app, "--resolution", &c->resolution);
  AddOption(app, "--paper", &c->paper);
  AddOption(app, "--calibration", &c->calibration);
  AddFlag(app, "--pure-black", &c->pureBlack);
  AddAdjustments(app, &c->adjust);
}

}  // namespace vantik::tool
