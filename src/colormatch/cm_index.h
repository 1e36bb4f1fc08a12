// Colour-table index: the text resource that names, for each combination of
// halftone kind, colour mode, resolution and the caller's two selection
// values, the table block to load and the halftone resource that goes with it.
#pragma once

#include <cstdint>

#include "colormatch/cm_instance.h"
#include "interface/byte_reader.h"

namespace vantik::colormatch {

// Parses the index and walks its entries for the instance's selection.  On
// code 0, *tableNumber is the table number of the last matching entry (0 when
// none matches), and a match sets the instance's tableNumber and
// halftoneNumber.  Codes: 0x101 / 0x102 when the work block is not obtained,
// 0x300 for an index the format refuses (the instance is unchanged).
uint32_t CmIndexLookup(CmInstance& instance, ByteReader& block,
                       int32_t* tableNumber);

}  // namespace vantik::colormatch
