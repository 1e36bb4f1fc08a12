// The C++ API's reader of colour-table index names (paper names for the
// tool, words for error messages) on arbitrary bytes: it must stay inside
// the block whatever the text holds.
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "vantik/vantik.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto block = std::make_unique<uint8_t[]>(size == 0 ? 1 : size);
  if (size != 0) std::memcpy(block.get(), data, size);
  auto names = vantik::ReadIndexNames(std::span<const uint8_t>(block.get(), size));
  if (names) {
    for (const auto& paper : names->papers) (void)names->PaperNumber(paper);
    (void)names->PaperName(names->paperBase);
    (void)names->PaperName(-1);
  }
  return 0;
}
