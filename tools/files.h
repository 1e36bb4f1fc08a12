// File-system helpers of the tool: names of output files, output folders,
// and single images written whole or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vantik/vantik.hpp"

namespace vantik::tool {

// The file name without folder and extension ("photos/cat.jpg" -> "cat");
// "page" when nothing is left.
std::string Stem(const std::string& path);

// Fails with one line when `path` cannot be an input file: missing,
// unreadable, a directory or empty.
Status CheckInputFile(const std::string& path);

// The folder part of a path ("." when there is none).
std::string ParentDirectory(const std::string& path);

// Creates the folder and any missing parents (as mkdir -p); an error names
// the folder that could not be made or is not a folder.
Status EnsureDirectory(const std::string& dir);

// Fails, naming the folder, when files cannot be created in it.
Status CheckWritable(const std::string& dir);

// Writes packed pixels (bands 1, 3 or 4; 4 = CMYK) as the image `out`,
// through a temporary name in the same folder that is renamed at the end.
Status WriteImageAtomically(const std::string& out, const std::vector<uint8_t>& pixels, int width,
                            int height, int bands);

// Writes `bytes` as the file `out` in the same way: whole or not at all.
Status WriteFileAtomically(const std::string& out, const std::vector<uint8_t>& bytes);

// Writes every block of `set` as DIR/color/N.bin and DIR/halftone/N.bin
// (DIR must exist).  All files are written under temporary names first and
// renamed together, so a failure leaves no mix of old and new blocks.
Status WriteResourceDirectory(const ResourceSet& set, const std::string& dir);

}  // namespace vantik::tool
