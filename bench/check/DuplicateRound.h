#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "DelayServer.h"

namespace vornakle::bench {

// A collection of links of which kDuplicateShare repeat the address of an
// earlier one (in another spelling: host letter case, default port or a
// fragment), checked by vornakle-check under current rules, then the same
// collection without the repeats. Prints requests_per_distinct_address (the
// server's requests over the distinct addresses: 1.0 when every address is
// asked once) and both times.
void MeasureDuplicates(const DelayServer& server, const std::string& program, int links, int jobs,
                       const std::filesystem::path& work, std::ostream& out);

}  // namespace vornakle::bench
