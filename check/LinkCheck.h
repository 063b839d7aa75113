#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "check/CheckResult.h"

namespace vornakle {

class THttpClient;

// Checks one link the way "Verify All &Links" does: one HEAD request, the
// reply number as the status when the reply has one. No usable answer gives
// kStatusUnknown with its reason: a failure (lookup, connection, time-out,
// malformed reply), redirections that lead nowhere (a loop, too many, no
// Location), and URLs refused before anything is sent (none, too long, a
// scheme the client does not speak, also as a redirection's target).
// The client's host and port are cleared first, so that a URL naming no host
// cannot reach the server of the link checked before it: every link's status
// depends on its own URL only, whichever worker checks it. With a deadline
// above 0 the check as a whole, all passes and waits, ends after that many
// milliseconds (the desktop program has its Cancel button instead, and holds
// the client's time-out while the user looks at a window). Runs on the
// client's thread.
CheckResult CheckLink(THttpClient& client, const std::string& url,
                      std::int64_t deadlineMilliseconds = 0);

// The result of a check that ended with the exception Failure.
CheckResult FailedCheck(const std::exception_ptr& failure);

// The class of a status's image, as the report window sorts links: "ok",
// "invalid", "unknown" or "untested".
std::string_view StatusClass(std::int32_t status);

// The class a result is listed under: "moved" and "suspect" for what a
// current check found beyond the status, else its status's class.
std::string_view ResultClass(const CheckResult& result);

}  // namespace vornakle
