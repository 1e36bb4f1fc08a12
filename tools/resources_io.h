// The resource set the tool works with: the default blocks built into the
// program, or a directory given with --resources DIR.
#pragma once

#include <string>

#include "vantik/vantik.hpp"

namespace vantik::tool {

// Blocks of `dir`, or the built-in defaults when dir is empty.
Result<ResourceSet> LoadResources(const std::string& dir);
// One line per block: service, number, kind, size.
Result<std::string> ListResources(const std::string& dir);
// The decoded content of one block; which is N, colour:N or halftone:N.
Result<std::string> ShowResource(const std::string& dir, const std::string& which);
// Writes the default blocks as files that --resources DIR reads back.
Status ExportResources(const std::string& dir);

}  // namespace vantik::tool
