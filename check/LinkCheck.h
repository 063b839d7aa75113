#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "check/CheckResult.h"
#include "check/CheckSettings.h"
#include "store/LinkStatus.h"

namespace vornakle {

class THttpClient;
class FetchedIssuers;
struct HttpReply;

// Checks one link the way "Verify All &Links" does: one HEAD request, the
// reply number as the status when the reply has one. No usable answer gives
// kStatusUnknown with its reason: a failure (lookup, connection, time-out,
// malformed reply), redirections that lead nowhere (a loop, too many, no
// Location), and URLs refused before anything is sent (none, too long, a
// scheme the client does not speak, also as a redirection's target).
// Every transaction starts from the link's own URL, so that a URL naming no
// host cannot reach the server of the link checked before it: every link's
// status depends on its own URL only, whichever worker checks it. With a deadline
// above 0 the check as a whole, all passes and waits, ends after that many
// milliseconds (the desktop program has its Cancel button instead, and holds
// the client's time-out while the user looks at a window). Runs on the
// client's thread. The result's FinalUrl and Hops say which requests were
// sent.
CheckResult CheckLink(THttpClient& client, const std::string& url,
                      std::int64_t deadlineMilliseconds = 0);

// Told that the server asked the check to wait this many milliseconds
// before retrying (429 or 503 with Retry-After): the engine then starts no
// other check of that host meanwhile.
using HostBackOff = std::function<void(std::int64_t milliseconds)>;

// A 429 or 503 with Retry-After is retried this often within the deadline,
// after a wait of at most kMaxRetryWaitMilliseconds each; a longer one is
// not waited for: a server asking for an hour is not going to answer a
// user either.
inline constexpr int kMaxRetries = 2;
inline constexpr std::int64_t kMaxRetryWaitMilliseconds = 30000;

// Checks one link by the rules settings.Rules names, with a client made by
// MakeCheckClient for these settings. Classic is the check above, byte for
// byte. Current checks as today's web is answered: one GET, which also
// brings the page the rot look reads (PageWorthReading; FindRot); a 429 or
// 503 with Retry-After is waited for and asked again (kMaxRetries); a 429
// that stays is status 429 with reason rate-limited. Cookies go to later
// requests of this check only. A link no request can check is decided
// without one (CheckWithoutRequest: a file: link on the file system, other
// schemes not checked). lastReply, when given, receives the last reply of
// a current check (the page the rot look reads).
CheckResult CheckLink(THttpClient& client, const std::string& url, const CheckSettings& settings,
                      std::int64_t deadlineMilliseconds = 0,
                      const HostBackOff& backOff = HostBackOff(), HttpReply* lastReply = nullptr);

// One GET of url for a caller that reads the reply itself (into reply),
// asked as a check under current rules asks: a 429 or 503 with Retry-After
// waited for within the deadline and asked again. The result is the
// failure when no usable reply came, else the reply's status.
CheckResult GetPatiently(THttpClient& client, const std::string& url,
                         std::int64_t deadlineMilliseconds, HttpReply& reply);

// A client for the checks of a run, configured once by its settings: the
// classic client, or under current rules one of the browser rules that
// keeps its connection for the next request (settings.Reuse), keeps the
// first kRotPageBytes of the pages the rot look reads and no other body,
// and speaks https (certificates and session resumption as settings.Tls
// says), with the run's User-Agent and proxies (the environment's when
// settings.Proxies names none). A server's chain that lacks an
// intermediate its certificate names an http address for is completed with
// what that address serves (IssuerFetchOf), each address fetched once
// through issuers, which the clients of a run share (none: the client's
// own).
std::unique_ptr<THttpClient> MakeCheckClient(const CheckSettings& settings,
                                             std::shared_ptr<FetchedIssuers> issuers = nullptr);

// The result of a check that ended with the exception Failure.
CheckResult FailedCheck(const std::exception_ptr& failure);

// How a result stands, the one place that decides it: by its status (fine
// as the status table says, else bad), except that a page behind a sign-in
// is alive (fine), one the site keeps from programs is not known to be gone
// (in doubt), a page that answers but is probably gone is bad, and a link
// no check applies to is not checked, neither fine nor bad. The desktop
// program's report lists what is bad or in doubt.
LinkStanding StandingOfResult(const CheckResult& result);

// A result that counts as bad: the checker's --bad-only and exit status, a
// failure in the history of checks.
inline bool IsBadResult(const CheckResult& result) {
    return StandingOfResult(result) == LinkStanding::Bad;
}

}  // namespace vornakle
