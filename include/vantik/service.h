// The two services whose resource dialogues ask for blocks by number.  Shared
// by the C++ API (ResourceSet) and the resources library (the default set and
// resource directories), so a block's service means the same everywhere.
#pragma once

namespace vantik {

enum class Service { kColor, kHalftone };

}  // namespace vantik
