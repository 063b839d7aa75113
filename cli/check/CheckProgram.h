#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "history/AddressHistory.h"

namespace vornakle {

// Exit codes of the checker.
inline constexpr int kExitAllFine = 0;
inline constexpr int kExitSomeBad = 1;
inline constexpr int kExitUsageOrScanError = 2;
// 128 plus the signal's number, as shells report a program a signal ended.
inline constexpr int kExitSignalBase = 128;

// The whole program: reads the arguments (after the program name), scans,
// checks, prints the results to Output and messages and progress to Errors,
// and returns the exit code. Needs a QCoreApplication. SIGINT and SIGTERM
// stop the checks at once (requests under way aborted, workers joined) and
// end with 128 plus the signal's number; results printed by then stay, and
// so do the results added to the history. The history dates its checks by
// clock.
int RunCheckProgram(const std::vector<std::string>& arguments, std::FILE* output, std::FILE* errors,
                    const HistoryClock& clock = SystemClock());

}  // namespace vornakle
