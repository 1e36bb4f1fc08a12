// 8-bit PNG files written with libpng, tuned for the tool's screen-size
// images: the simulated print is written in each page's time.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "vantik/vantik.hpp"

namespace vantik::tool {

// Writes width x height packed pixels, bands 1 (gray) or 3 (RGB), as a PNG
// at `path`.  Every row is filtered by the row above (UP) and the filtered
// bytes are deflated with run-length matching only (zlib's RLE strategy):
// a simulated print is grain on smooth colour and blank paper, where the
// differences from the row above are small, runs are what repeats, and
// searching for longer matches costs more than it saves.  Against
// unfiltered rows at zlib level 1 this writes files a fifth to a third
// smaller in half the time.  A failure (the disk full included) is one line
// naming `path`; the partial file is left to the caller, which writes under
// a temporary name.
Status WritePng(const std::string& path, std::span<const uint8_t> pixels, int width, int height,
                int bands);

}  // namespace vantik::tool
