// ICC profiles as a user hands them to resources build --icc: the bytes go
// through the same opening and checking, and a profile that passes is
// evaluated at a few ink amounts, as the table builder would.  Nothing may
// crash, hang or read out of bounds, however the profile is broken.
#include <array>
#include <cstdint>
#include <span>

#include "printmodel/icc_printer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantik::printmodel;
  vantik::Result<std::unique_ptr<IccPrinter>> printer =
      IccPrinter::Open(std::span<const uint8_t>(data, size), "fuzz");
  if (!printer.ok()) return 0;
  constexpr std::array<std::array<double, kInks>, 4> kPoints = {{
      {0.5, 0.5, 0.5, 0.5}, {0.25, 0.75, 0.1, 0}, {1, 0, 0.6, 0.3}, {0.9, 0.9, 0.9, 1}}};
  for (const auto& ink : kPoints) (*printer)->Print(ink);
  return 0;
}
