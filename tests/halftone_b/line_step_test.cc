// Lines halftoned two at once stay a fixed lead apart; that lead must cover
// the widest reach of every spread, or the second line would read entries
// the first has yet to change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "halftone_b/kernels/line_step.h"
#include "halftone_b/kernels/spread_sets.h"

namespace vantik::halftone_b {
namespace {

template <class Set>
int ReachOf() {
  int reach = 0;
  for (int k = 0; k < 6; ++k) {
    for (int p = 0; p < 2; ++p) {
      int16_t e[129] = {};
      int32_t carry = 0;
      Set::Spread(k, e + 64, 1001, p, carry);
      for (int i = 0; i < 129; ++i) {
        if (e[i] != 0) reach = std::max(reach, std::abs(i - 64));
      }
    }
  }
  return reach;
}

TEST(LineStep, LeadCoversEverySpread) {
  // A pixel changes entries up to `reach` either side; the next line's pixel
  // at the far end of its chunk may touch one `reach` further on.
  for (int reach : {ReachOf<SpreadSetK>(), ReachOf<SpreadSetJ>(), ReachOf<SpreadSetV>()}) {
    EXPECT_GT(reach, 0);
    EXPECT_LE(2 * reach + 1, static_cast<int>(LineStep::kLead));
  }
}

}  // namespace
}  // namespace vantik::halftone_b
