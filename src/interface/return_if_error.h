// VANTIK_RETURN_IF_ERROR(expr): evaluates expr once and returns it from the
// enclosing function unless it reports success.  Works for return codes
// (RC_OK is success) and for anything with ok(), such as vantik::Status.
#pragma once

#include <cstdint>

#include "vantik/vantik.h"

namespace vantik {

inline bool Succeeded(uint32_t code) { return code == RC_OK; }

template <typename S>
  requires requires(const S& s) { s.ok(); }
inline bool Succeeded(const S& s) {
  return s.ok();
}

}  // namespace vantik

#define VANTIK_RETURN_IF_ERROR(expr)                                  \
  do {                                                                \
    auto vantik_result_ = (expr);                                     \
    if (!::vantik::Succeeded(vantik_result_)) return vantik_result_;  \
  } while (false)
