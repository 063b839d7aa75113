#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "check/CheckResult.h"

namespace vornakle {

// What a reply says of the way to its page rather than of the page, as pure
// functions: a page behind a sign-in, and a site that keeps programs out.

// What a reply's number and header tell before any page is read: a 401 or
// a 407 asks for a sign-in (Login, auth-required or proxy-auth-required,
// the challenge the server names as detail); a header that names a
// challenge for robots ("cf-mitigated: challenge") or a reply number from
// 600 to 999, which no HTTP server sends a person (LinkedIn's 999), keep
// programs out (Blocked, challenge-header or bot-status). None otherwise.
std::optional<std::pair<Finding, Clue>> AccessOfReply(std::int32_t status,
                                                      const std::string& header);

// Whether a reply of this number may carry a robot challenge's page: 403,
// 429 and 503, what challenge services answer with.
bool MayBeChallenge(std::int32_t status);

// The clue of a page that is a robot challenge: its title ("Just a
// moment...") or its markup (a captcha form) says so. An ordinary error page
// ("403 Forbidden") is none.
std::optional<Clue> ChallengeOfPage(std::string_view title, std::string_view html);

}  // namespace vornakle
