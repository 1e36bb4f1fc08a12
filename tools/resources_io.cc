#include "resources_io.h"

#include <cstdio>
#include <cstdlib>

#include "vantik/default_resources.h"
#include "vantik/resource_describe.h"

namespace vantik::tool {

namespace res = vantik::resources;

namespace {

struct Listed {
  Service service;
  int number;
  std::string kind;
  std::vector<uint8_t> bytes;
  std::string description;
};

Result<std::vector<Listed>> Blocks(const std::string& dir) {
  std::vector<Listed> out;
  if (dir.empty()) {
    for (const res::Block& b : res::Defaults()) {
      out.push_back({b.service, b.number, std::string(b.kind),
                     std::vector<uint8_t>(b.bytes.begin(), b.bytes.end()), res::Describe(b)});
    }
    return out;
  }
  std::string error;
  auto blocks = res::LoadDirectory(dir, &error);
  if (!blocks) return Status(RC_BAD_RESOURCE, dir + ": " + error);
  for (const auto& b : *blocks) {
    out.push_back({b.service, b.number, b.kind, b.bytes, res::Describe(b.view())});
  }
  return out;
}

}  // namespace

Result<ResourceSet> LoadResources(const std::string& dir) {
  ResourceSet set;
  if (dir.empty()) {
    for (const res::Block& b : res::Defaults()) set.AddView(b.service, b.number, b.bytes);
    return set;
  }
  auto blocks = Blocks(dir);
  if (!blocks.ok()) return blocks.status();
  for (Listed& b : *blocks) set.Add(b.service, b.number, std::move(b.bytes));
  return set;
}

Result<std::string> ListResources(const std::string& dir) {
  auto blocks = Blocks(dir);
  if (!blocks.ok()) return blocks.status();
  std::string text;
  char line[200];
  for (const Listed& b : *blocks) {
    std::snprintf(line, sizeof line, "%-8s %4d  %-16s %7zu bytes\n", ServiceName(b.service),
                  b.number, b.kind.c_str(), b.bytes.size());
    text += line;
  }
  return text;
}

Result<std::string> ShowResource(const std::string& dir, const std::string& which) {
  auto blocks = Blocks(dir);
  if (!blocks.ok()) return blocks.status();
  std::string number = which;
  std::optional<Service> only;
  size_t colon = which.find(':');
  if (colon != std::string::npos) {
    std::string service = which.substr(0, colon);
    if (service == "colour" || service == "color") only = Service::kColor;
    else if (service == "halftone") only = Service::kHalftone;
    else return Status(RC_BAD_VALUE, "resources show: unknown service '" + service + "'");
    number = which.substr(colon + 1);
  }
  char* end = nullptr;
  long n = std::strtol(number.c_str(), &end, 10);
  if (number.empty() || *end != 0) {
    return Status(RC_BAD_VALUE, "resources show: '" + which + "' is not a block number");
  }
  std::string text;
  for (const Listed& b : *blocks) {
    if (b.number != n || (only && *only != b.service)) continue;
    text += b.description;
    if (!text.empty() && text.back() != '\n') text += '\n';
  }
  if (text.empty()) return Status(RC_BAD_RESOURCE, "resources show: no block " + which);
  return text;
}

Status ExportResources(const std::string& dir) {
  std::string error;
  if (!res::ExportDirectory(dir, &error)) return Status(RC_FAILURE, dir + ": " + error);
  return Status::Ok();
}

}  // namespace vantik::tool
