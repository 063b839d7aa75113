#pragma once

#include <filesystem>

namespace vornakle::bench {

// linkinator, the peer the current rules are compared with; the version
// every benchmark runs.
inline constexpr char kLinkinatorVersion[] = "6.1.4";

// Where the benchmarks keep it: the node_modules of bench/check (git
// ignores it).
std::filesystem::path LinkinatorProgram();

// Installs it from npm where it is missing (and npm from Debian's archive
// first, where that is missing), so that the test command never needs it;
// false when it still cannot be run.
bool EnsureLinkinator();

}  // namespace vornakle::bench
