// Block numbers of the default set and its text blocks: the colour-table
// index, the calibration index and engine A's screen table.
#pragma once

#include <cstdint>
#include <vector>

namespace vantik::resgen {

// Colour service.
inline constexpr int kTableDiffusionPlain = 1;  // engine B, CMYK
inline constexpr int kTableDiffusionPhoto = 2;
inline constexpr int kTableScreenPlain = 3;     // engine A, CMYK
inline constexpr int kTableScreenPhoto = 4;
inline constexpr int kTableMonoPlain = 5;       // engine B, black only
inline constexpr int kTableMonoPhoto = 6;
inline constexpr int kTableStackedPlain = 7;    // engine A, stacked screen
inline constexpr int kTableStackedPhoto = 8;
inline constexpr int kTableDitherPlain = 9;     // engine B kind 3, CMYK
inline constexpr int kTableDitherPhoto = 10;
inline constexpr int kTableDitherAllPlain = 11;  // engine B kind 3, every ink dithered
inline constexpr int kTableDitherAllPhoto = 12;
// Error diffusion on wide (1440 x 720) and tall (720 x 1440) dots: the
// kernels' jitter comes from matrices of that aspect, which moves the gray
// balance, so each dot shape has its own balanced tables.
inline constexpr int kTableDiffusionWidePlain = 13;
inline constexpr int kTableDiffusionWidePhoto = 14;
inline constexpr int kTableDiffusionTallPlain = 15;
inline constexpr int kTableDiffusionTallPhoto = 16;
// Engine A's clustered dots lay their inks as the blue-noise screen does but
// print a different tone for the same ink (each dot is a cluster), so they
// have tables of their own; 3 and 4 serve the blue-noise screen.
inline constexpr int kTableClusteredPlain = 17;
inline constexpr int kTableClusteredPhoto = 18;
inline constexpr int kCurveBlock = 901;
// The calibration curves of a colour table that is corrected by printing,
// fitted by printing its own gray ramp; the other tables share kCurveBlock.
constexpr int CurveBlockOf(int table) { return 910 + table; }

// Halftone service, engine B.
inline constexpr int kIdSquare64 = 10;
inline constexpr int kIdSquare128 = 11;
inline constexpr int kIdWide64 = 12;
inline constexpr int kIdWide128 = 13;
inline constexpr int kIdTall64 = 14;
inline constexpr int kIdTall128 = 15;
inline constexpr int kColorNodes = 50;
inline constexpr int kMatrixIso64 = 60;
inline constexpr int kMatrixWide64 = 61;
inline constexpr int kMatrixTall64 = 62;
inline constexpr int kMatrixIso128 = 63;
inline constexpr int kMatrixWide128 = 64;
inline constexpr int kMatrixTall128 = 65;

// Halftone service, engine A (300 is the screen table).
inline constexpr int kScreenBlue360 = 301;
inline constexpr int kScreenBlue720 = 302;
inline constexpr int kScreenBlueWide = 303;
inline constexpr int kScreenBlueTall = 304;
inline constexpr int kScreenGridDither = 310;  // the clustered screens' node choice
inline constexpr int kScreenInkLimit = 311;
// The blue-noise screens' node choice, one for each screen, made from it.
inline constexpr int kScreenNodeIso = 312;
inline constexpr int kScreenNodeWide = 313;
inline constexpr int kScreenNodeTall = 314;
inline constexpr int kScreenCluster360 = 321;
inline constexpr int kScreenCluster720 = 322;
inline constexpr int kScreenClusterWide = 323;
inline constexpr int kScreenClusterTall = 324;

std::vector<uint8_t> ColorIndexBlock();
std::vector<uint8_t> CalibrationIndexBlock();
std::vector<uint8_t> ScreenTableBlock();

}  // namespace vantik::resgen
