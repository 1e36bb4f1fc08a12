// Photographs the quality report prints, embedded in the tool at build
// time from resources/photos (PNG; see resources/README.md for where they
// come from).
#pragma once

#include <cstddef>
#include <span>

namespace vantik::tool::quality {

struct EmbeddedPhoto {
  const char* name;
  const unsigned char* data;
  size_t size;
};

std::span<const EmbeddedPhoto> Photos();

}  // namespace vantik::tool::quality
