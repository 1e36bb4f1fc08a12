// vantik chart -o OUT.png: the test chart.
#include <cstdio>
#include <memory>

#include "chart.h"
#include "command.h"
#include "files.h"

namespace vantik::tool {
namespace {

struct ChartArgs {
  std::string out, size = "1500x1000";
};

const RegisterCommand kChart(
    "chart", "draw the test chart", 40, [](CLI::App* cmd, const Globals&) -> CommandRun {
      auto a = std::make_shared<ChartArgs>();
      cmd->add_option("-o,--output", a->out, "output image (PNG)")->required();
      AddOption(cmd, "--size", &a->size);
      return [a] {
        int w = 0, h = 0;
        std::sscanf(a->size.c_str(), "%dx%d", &w, &h);
        Status s = WriteImageAtomically(a->out, DrawChart(w, h), w, h, 3);
        return s.ok() ? 0 : Fail(s);
      };
    });

}  // namespace
}  // namespace vantik::tool
