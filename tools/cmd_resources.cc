// vantik resources list|show BLOCK|export DIR|profile -o FILE: the resource
// blocks, and the ICC output profile of a print setting.
#include <cstdio>
#include <memory>

#include "command.h"
#include "files.h"
#include "print_run.h"
#include "printmodel/icc_profile.h"
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
  std::string profileOut, model;
  JobChoices job;
};

// The ICC output profile of the printer model and of the colour tables that
// the job's settings select.
int WriteProfile(const ResourcesArgs& a, const Globals& g) {
  Result<JobOptions> job = MakeJob(a.job);
  if (!job.ok()) return Fail(job.status());
  Result<ResourceSet> set = LoadResources(g.resources);
  if (!set.ok()) return Fail(set.status());
  std::unique_ptr<printmodel::PrintModel> owned;
  Result<const printmodel::PrintModel*> model = ChoosePrintModel(a.model, &owned);
  if (!model.ok()) return Fail(model.status());
  if (*model == nullptr) return Fail("--model ideal: a profile needs a measured printer");
  Result<ColorSettings> settings = MakeColorSettings(*job, *set, 64);
  if (!settings.ok()) return Fail(settings.status());
  Result<ColorMatcher> matcher = ColorMatcher::Create(*settings, *set);
  if (!matcher.ok()) return Fail(matcher.status());
  if (matcher->channels() != 4) return Fail("--ink black: a CMYK profile needs the four-ink tables");
  printmodel::Separation separate = [&](std::span<const uint8_t> rgb, std::span<uint8_t> cmyk) {
    return matcher->Translate(rgb, cmyk);
  };
  const std::string description = "vantik " + a.job.method + " " + a.job.resolution + " " +
                                  a.job.paper + " paper";
  Result<std::vector<uint8_t>> bytes = printmodel::BuildOutputProfile(**model, separate, description);
  if (!bytes.ok()) return Fail(bytes.status());
  Status s = WriteFileAtomically(a.profileOut, *bytes);
  return s.ok() ? 0 : Fail(s);
}

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
      CLI::App* profile = cmd->add_subcommand(
          "profile", "write the ICC output profile of the printer model and the colour tables");
      profile->add_option("-o,--output", a->profileOut, "output file (ICC)")->required();
      AddOption(profile, "--model", &a->model,
                "printer the profile describes: its measurements (CGATS) (default: the built-in "
                "measured printer)");
      AddJobOptions(profile, &a->job);
      return [a, &g, list, show, exportCmd, profile]() -> int {
        if (*list) return PrintText(ListResources(g.resources));
        if (*show) return PrintText(ShowResource(g.resources, a->blockName));
        if (*exportCmd) {
          Status s = ExportResources(a->exportDir);
          return s.ok() ? 0 : Fail(s);
        }
        if (*profile) return WriteProfile(*a, g);
        return Fail("resources: list, show, export or profile");
      };
    });

}  // namespace
}  // namespace vantik::tool
