// The ICC output profile of a printer: what its inks print (from the print
// model) and how colours are separated into inks (from the colour tables),
// so that other programs can soft-proof and convert for it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "printmodel/print_model.h"

namespace vantik::printmodel {

// Separates packed sRGB pixels into ink values (C, M, Y, K per pixel), as
// the printer's colour tables do.
using Separation = std::function<Status(std::span<const uint8_t> rgb, std::span<uint8_t> cmyk)>;

// An ICC v4 output profile, CMYK with a Lab connection space.
//  - A2B0, A2B1, A2B2: CMYK to Lab from the model, relative to the paper
//    (the media white point tag holds the paper itself), 17 nodes per ink.
//  - B2A0, B2A1, B2A2: Lab to CMYK through sRGB (relative colorimetric, so
//    colours outside sRGB clip) and `separate`, 33 nodes per axis.
// `description` becomes the profile's description tag.
Result<std::vector<uint8_t>> BuildOutputProfile(const PrintModel& model, const Separation& separate,
                                                const std::string& description);

}  // namespace vantik::printmodel
