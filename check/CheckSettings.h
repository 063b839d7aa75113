#pragma once

#include "http/HttpClientSettings.h"
#include "http/ProxyRules.h"
#include "net/TlsContext.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornakle {

// The defaults of a run of checks, which the command line's help text, the
// desktop program and the engine all read from here.
// A check waits this long for a host lookup, a connect or the next data: a
// server that says nothing for 20 s is not going to answer a user either.
inline constexpr std::int32_t kDefaultTimeOutMilliseconds = 20000;
// A check as a whole (every lookup, connect and read of all its passes) ends
// after this many time-outs: a server trickling one header line at a time
// restarts each wait, but must not hold a check for hours.
inline constexpr int kDeadlineTimeOuts = 3;
// Checks under way at once: enough to hide the waiting on slow servers,
// few enough that a collection's checks do not look like an attack.
inline constexpr int kDefaultJobs = 8;
// Checks under way at once to one host, the courtesy browsers keep as well.
inline constexpr int kDefaultPerHost = 2;
// Bounds the programs' options set: a thread per job, and more would only be
// refused by servers.
inline constexpr int kMaxJobs = 256;
inline constexpr int kMaxPerHost = kMaxJobs;

// Which rules a check follows: the program's own ("classic": HTTP/1.0
// HEAD, three redirect kinds, no https) or those of today's web
// ("current"). Both are policies of the one check of check/LinkCheck.h.
enum class CheckRules { Classic, Current };

// "classic" and "current", as the options --rules of both programs take them.
std::string_view CheckRulesToken(CheckRules rules);
std::optional<CheckRules> ParseCheckRules(std::string_view token);

// Reply numbers from First to Last, both included.
struct StatusRange {
    std::int32_t First = 0;
    std::int32_t Last = 0;

    bool operator==(const StatusRange&) const = default;
};

// How a run of checks goes.
struct CheckSettings {
    // The program's own rules unless a program asks for today's.
    CheckRules Rules = CheckRules::Classic;
    // The User-Agent line under current rules; empty: a current mainstream
    // desktop browser's.
    std::string UserAgent;
    // Most checks under way at once, each on a worker thread of its own.
    int Jobs = kDefaultJobs;
    // Most checks under way at once whose URLs name one host (HostKeyOf).
    int PerHost = kDefaultPerHost;
    // Bound of each lookup, connect and idle read, in milliseconds.
    std::int32_t TimeOutMilliseconds = kDefaultTimeOutMilliseconds;
    // How https links' certificates are checked: an extra CA file, or not at
    // all; and whether their TLS sessions resume.
    TlsSettings Tls;
    // Under current rules: whether a worker keeps its connection open for
    // the next request to the same place. CloseEach (with Tls.Resumption
    // Never) asks every request on a connection of its own, for comparison.
    ConnectionReuse Reuse = ConnectionReuse::Keep;
    // The proxies of checks under current rules; none given: those of the
    // environment (http_proxy, https_proxy, no_proxy), which the engine
    // reads once at its start.
    std::optional<ProxyRules> Proxies;
    // Under current rules: header lines ("Name: value") sent with every
    // request, in place of a line of the same name the client would send.
    std::vector<std::string> ExtraHeaders;
    // Under current rules: reply numbers that count as fine besides those
    // the status table calls fine (a site known to answer checkers 403).
    std::vector<StatusRange> Accepted;

    // Whether status is one of Accepted.
    bool Accepts(std::int32_t status) const;

    // Bound of one link's check as a whole.
    std::int64_t DeadlineMilliseconds() const {
        return std::int64_t{kDeadlineTimeOuts} * TimeOutMilliseconds;
    }
};

}  // namespace vornakle
