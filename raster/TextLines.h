#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Longer lines are cut to this length, so a binary file read as text cannot
// make one line exhaust memory.
inline constexpr size_t kMaxTextLineLength = 65536;

// Reads one line of a text file without its line end; a CR before the LF is
// dropped as text mode would. False at the end of the file.
bool ReadTextLine(std::FILE* file, std::string& line);

// Splits at space characters; runs of spaces count as one separator and
// tabs are no separators.
std::vector<std::string> SplitAtSpaces(const std::string& line);
