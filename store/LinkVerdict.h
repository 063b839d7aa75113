#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace vornakle {

// What a check under current rules found about a link beyond its status,
// kept on the link node for the status column's tooltip while the program
// runs. Never written to a shortcut file: the next start knows only the
// status.
struct LinkVerdict {
    // The status it explains: once the link's status changes (by hand, by a
    // new check) the verdict no longer applies.
    std::int32_t Status = 0;
    // For a status 5: why no usable answer came ("timeout: ...").
    std::string Reason;
    // Where the redirections led, when not to the link's own URL.
    std::string FinalUrl;
    // Reached through permanent redirections only: FinalUrl is the link's
    // new address.
    bool Moved = false;
    // The server said 2xx but the page is probably gone; SuspectReason says
    // which sign gave it away.
    bool Suspect = false;
    std::string SuspectReason;
    // The history of checks' current run of failures of the link's address:
    // when it began and how many checks it has; none while the link is fine.
    std::optional<std::chrono::sys_seconds> FailingSince;
    int Failures = 0;
};

}  // namespace vornakle
