// Engine A's screen table (halftone block 300): a text whose first line is
// skipped; every later line starts with a screen selector followed by the
// method, the three threshold matrix numbers and the column phase of matrix
// 2.  A line starting with END closes the table.  The text ends at the end of
// the block or at a NUL byte, whichever comes first.  A token runs up to a
// space or a tab (a line end does not end it) and holds at most 255
// characters; '-' makes it negative and every other character adds its digit
// value (c - 48), wrapping as 32-bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/format.h"

namespace vantik::formats {

struct ScreenLine {
  int32_t selector;
  int32_t method;
  int32_t matrix1;
  int32_t matrix2;
  int32_t matrix3;
  int32_t matrix2Phase;
};

// The line whose first number is `selector`.  Refused when the END line
// comes first, or the text is malformed or ends before the line has been
// read.  Lines before it are read only as far as their first number.
Outcome FindScreenLine(const void* data, size_t length, int32_t selector, ScreenLine* out);

// Every line up to END, each read whole; *sawEnd tells whether the END line
// closed them.  Refused when a line cannot be read whole (the lines read so
// far stay in *lines).
Outcome ListScreenLines(const void* data, size_t length, std::vector<ScreenLine>* lines,
                        bool* sawEnd);

// A screen table to write: the first line, the lines, END.  Every token is
// followed by a space (a token ends only at a space or a tab), every line by
// CR LF, and the text by a NUL.
struct ScreenTableContent {
  std::string firstLine;
  std::vector<ScreenLine> lines;
};
std::vector<uint8_t> WriteScreenTable(const ScreenTableContent& table);

bool FitsScreenTable(int number, std::span<const uint8_t> bytes);

}  // namespace vantik::formats
