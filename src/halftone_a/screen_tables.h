// The small tables that engine A builds once its screen is known: the node
// table that places each level between the 25 grid nodes, the level table
// that limits dots by total ink (methods 3 and 5), and the colour table of
// the two-level method 0.
#pragma once

#include <cstdint>

namespace vantik::halftone_a {

// N[i] = (255 i + 12) / 24: the nodes of the 25-node colour grid.
inline constexpr uint8_t kNodeLevels[25] = {
    0,   11,  21,  32,  43,  53,  64,  74,  85,  96,  106, 117, 128,
    138, 149, 159, 170, 181, 191, 202, 213, 223, 234, 244, 255};

// 256 pairs (cell 0..24, fraction 0..254), one per level.
void BuildNodeTable(uint8_t* out512);

// False when A and B would make the level table divide by zero (A = 0, or
// 3A equal to 70 B / 100).
bool LevelTableDefined(uint16_t a, uint16_t b);
// 768 bytes indexed by a total ink amount; requires LevelTableDefined.
void BuildLevelTable(uint16_t a, uint16_t b, uint8_t* out768);

// 32 bytes: four planes of eight two-level colour entries.
void BuildColorTable(uint16_t a, uint16_t b, uint8_t* out32);

}  // namespace vantik::halftone_a
