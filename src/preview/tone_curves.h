// Tone tables of the preview: brightness and contrast curves, channel
// offsets, gamma and the smoothing pass.  Everything is integer arithmetic
// done once when an instance is created.
#pragma once

#include <array>
#include <cstdint>

namespace vantik::preview {

// 5000 * ln(p) rounded, for the 97 primes 2..509, then a closing 0.
inline constexpr int kPrimeLogCount = 98;
inline constexpr std::array<int32_t, kPrimeLogCount> kPrimeLogTable = {
    3466,  5493,  8047,  9730,  11989, 12825, 14166, 14722, 15677, 16836,
    17170, 18055, 18568, 18806, 19251, 19851, 20388, 20554, 21023, 21313,
    21452, 21847, 22094, 22443, 22874, 23076, 23174, 23364, 23457, 23637,
    24221, 24376, 24600, 24672, 25020, 25086, 25281, 25469, 25590, 25766,
    25937, 25992, 26261, 26313, 26416, 26467, 26759, 27036, 27125, 27169,
    27255, 27382, 27424, 27627, 27745, 27861, 27974, 28011, 28120, 28192,
    28227, 28401, 28634, 28699, 28731, 28795, 29011, 29100, 29247, 29275,
    29332, 29417, 29527, 29608, 29688, 29740, 29818, 29920, 29970, 30069,
    30189, 30213, 30331, 30354, 30422, 30468, 30535, 30623, 30667, 30689,
    30732, 30859, 30941, 30982, 31063, 31103, 31162, 0};

// The primes that the entries above belong to, in the same order.
inline constexpr std::array<int32_t, kPrimeLogCount - 1> kPrimes = {
    2,   3,   5,   7,   11,  13,  17,  19,  23,  29,  31,  37,  41,  43,
    47,  53,  59,  61,  67,  71,  73,  79,  83,  89,  97,  101, 103, 107,
    109, 113, 127, 131, 137, 139, 149, 151, 157, 163, 167, 173, 179, 181,
    191, 193, 197, 199, 211, 223, 227, 229, 233, 239, 241, 251, 257, 263,
    269, 271, 277, 281, 283, 293, 307, 311, 313, 317, 331, 337, 347, 349,
    353, 359, 367, 373, 379, 383, 389, 397, 401, 409, 419, 421, 431, 433,
    439, 443, 449, 457, 461, 463, 467, 479, 487, 491, 499, 503, 509};

// Sum of the prime logarithms over the factorisation of x (1 <= x <= 511).
int32_t IntLog(int32_t x);

// Output level of input level i (0..255) under gamma g (in hundredths,
// 100..300: the products below stay within 32 bits there).
int32_t GammaLevel(int32_t i, int32_t gamma);

// Working curve after brightness then contrast (each -50..50), clamped.
void BuildAdjustCurve(int32_t brightness, int32_t contrast, int32_t curve[256]);

// Applies offsets and the gamma delta to the curve and smooths the result:
// out[i] = smooth(clamp(curve[i] + offset + GammaLevel(i, g) - GammaLevel(i, 150))).
void BuildToneTable(const int32_t curve[256], int32_t offset,
                    const int32_t gammaDelta[256], int32_t out[256]);

// gammaDelta[i] = GammaLevel(i, gamma) - GammaLevel(i, 150), all 0 at 150.
void BuildGammaDelta(int32_t gamma, int32_t gammaDelta[256]);

// Three-tap smoothing of entries 1..253 in increasing order, each using the
// already smoothed left neighbour.
void SmoothToneTable(int32_t table[256]);

}  // namespace vantik::preview
