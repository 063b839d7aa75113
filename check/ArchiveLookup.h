#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "check/CheckResult.h"
#include "check/CheckSettings.h"

namespace vornakle {

class THttpClient;

// The web archive asked unless the user names another: the Wayback
// Machine, through its availability API.
inline constexpr char kDefaultArchiveService[] = "https://archive.org";
// The availability reply is read whole up to this: it is a few hundred
// bytes, a few dozen kilobytes when the archive adds its own fields, so
// anything longer is no such reply and is refused rather than cut.
inline constexpr std::size_t kMaxArchiveReplyBytes = 1024 * 1024;

// Why a base address cannot serve as the archive service (none: it can):
// it must be an http or https URL with a host and neither query nor
// fragment, since the request's path and query are added to it.
std::optional<std::string> ArchiveServiceProblem(const std::string& service);

// The availability request for url: service, "/wayback/available", the URL
// (without its fragment: an archive keeps pages, not places in them) and
// time (UTC, "YYYYMMDDhhmmss") as the query; the archive answers with the
// snapshot closest to that time.
std::string ArchiveRequestUrl(const std::string& service, const std::string& url,
                              std::chrono::sys_seconds time);

// What the archive said of one address.
struct ArchiveAnswer {
    enum class Outcome {
        // SnapshotUrl holds the archived copy.
        Found,
        // The archive has no copy whose archived reply was 2xx.
        NoSnapshot,
        // The archive could not be asked, or its reply was none of its
        // availability replies: Detail says why.
        Failed,
        // Left unasked, since the archive failed already in this run.
        NotAsked,
    };
    Outcome Result = Outcome::NotAsked;
    std::string SnapshotUrl;
    std::string Detail;
};

// Reads an availability reply to the look-up of url: a JSON object whose
// archived_snapshots holds closest, with available, url, timestamp and
// status (the archived reply's number, a string or a number). A snapshot
// counts when it is available, its status is 2xx and its url an http or
// https address that is all printable ASCII (it becomes a line of a
// shortcut file), on the service's own origin (its host or a host below
// it, such as web.archive.org for archive.org, no user information) and of
// the Wayback form "<service path>/web/<time>[id_]/<original>" whose
// original is url by AddressKey, so that the answer names a copy of that
// page and no other. A copy elsewhere is a failure, one of another page
// no snapshot (Detail says so). An http snapshot of a service asked over https is
// given as https: the service serves its copies securely and only names
// them the old way. The snapshot's fragment is dropped (WithLinkFragment).
ArchiveAnswer ParseArchiveReply(const std::string& body, const std::string& service,
                                const std::string& url);

// The answer for one link: a found copy with the link's own fragment, since
// an archive keeps pages and the link names a place in one.
ArchiveAnswer WithLinkFragment(ArchiveAnswer answer, const std::string& url);

// The answer of a look-up that got no usable reply: its reason token and
// detail.
ArchiveAnswer FailedLookUp(const CheckResult& failed);

// A client for the look-ups of a run: the check's client under current
// rules (TLS as settings.Tls says, the environment's proxies unless
// settings names some, its time-out) that reads the body and names itself
// by userAgent rather than as a browser.
std::unique_ptr<THttpClient> MakeArchiveClient(const CheckSettings& settings,
                                               const std::string& userAgent);

// Asks service for url's snapshot closest to time with client (made by
// MakeArchiveClient), within deadlineMilliseconds as a whole; a 429 or 503
// with Retry-After is waited for within it. A reply longer than
// kMaxArchiveReplyBytes is a failure of its own. Runs on the client's
// thread.
ArchiveAnswer LookUpSnapshot(THttpClient& client, const std::string& service,
                             const std::string& url, std::chrono::sys_seconds time,
                             std::int64_t deadlineMilliseconds);

}  // namespace vornakle
