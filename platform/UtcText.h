#pragma once

#include <chrono>
#include <string>

namespace vornakle {

// A time (whole seconds of UTC) written by a strftime pattern in UTC,
// whatever time zone the environment names: "%Y-%m-%dT%H:%M:%SZ" gives
// ISO 8601, "%Y%m%d%H%M%S" the fourteen digits web archives take.
std::string UtcText(std::chrono::sys_seconds time, const char* pattern);

// The ISO 8601 pattern every time the programs print is written in.
inline constexpr const char* kIsoUtcPattern = "%Y-%m-%dT%H:%M:%SZ";

}  // namespace vornakle
