#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vornakle {

// Exit codes of the converter.
inline constexpr int kExitConverted = 0;
inline constexpr int kExitNotConverted = 2;

// The whole program: reads the arguments (after the program name), converts
// SOURCE into TARGET, reports to Output and Errors, and returns the exit
// code. A browser's bookmarks become a new Favorites directory; a Favorites
// directory becomes a new HTML bookmark file. On any failure nothing is
// written.
int RunConvertProgram(const std::vector<std::string>& arguments, std::FILE* output,
                      std::FILE* errors);

// The --help text.
std::string ConvertUsageText();

}  // namespace vornakle
