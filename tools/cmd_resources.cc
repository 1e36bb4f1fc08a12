// vantik resources list|show BLOCK|export DIR: the resource blocks.
#include <cstdio>
#include <memory>

#include "command.h"
#include "resources_io.h"

namespace vantik::tool {
namespace {

int PrintText(Result<std::string> text) {
  if (!text.ok()) return Fail(text.status());
  std::fputs(text->c_str(), stdout);
  return 0;
}

struct ResourcesArgs {
  std::string blockName;  // which block `show` decodes: N, colour:N or halftone:N
  std::string exportDir;
};

const RegisterCommand kResources(
    "resources", "list, show or export the resource blocks", 50,
    [](CLI::App* cmd, const Globals& g) -> CommandRun {
      auto a = std::make_shared<ResourcesArgs>();
      cmd->require_subcommand(1);
      CLI::App* list = cmd->add_subcommand("list", "one line per block");
      CLI::App* show = cmd->add_subcommand("show", "decode one block");
      show->add_option("block", a->blockName, "N, colour:N or halftone:N")->required();
      CLI::App* exportCmd =
          cmd->add_subcommand("export", "write the built-in blocks to a directory");
      exportCmd->add_option("dir", a->exportDir, "directory")->required();
      return [a, &g, list, show, exportCmd]() -> int {
        if (*list) return PrintText(ListResources(g.resources));
        if (*show) return PrintText(ShowResource(g.resources, a->blockName));
        if (*exportCmd) {
          Status s = ExportResources(a->exportDir);
          return s.ok() ? 0 : Fail(s);
        }
        return Fail("resources: list, show or export");
      };
    });

}  // namespace
}  // namespace vantik::tool
