#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "check/CheckResult.h"

namespace vornakle {

// The desktop program's words for what a check found: one table of German
// texts for the reason tokens and the signals, and the lines of the status
// column's tooltip built from it.

// The German text of a reason token or a signal's token ("dns",
// "soft-404-title"); empty for a token the table does not hold.
std::string_view GermanText(std::string_view token);

// What the status column's tooltip says of a result below its status, in
// German, a line per finding: why no usable answer came, where the
// redirections led or the link moved, and what a current check found beyond
// the status. Each line names its token too, so it can be looked up in
// vornakle-check's manual. URL is the link's own; empty when the result
// tells no more than its status. Valid UTF-8 whatever bytes the URLs hold.
std::string GermanVerdict(const CheckResult& result, const std::string& url);

// The tooltip's line for a run of failures that the history of checks
// knows: "Fehlgeschlagen seit 2025-03-01 06:00 (2 Pr\u00fcfungen in Folge)",
// the start in local time (seconds since the epoch).
std::string GermanFailingRun(std::int64_t sinceSeconds, int failures);

}  // namespace vornakle
