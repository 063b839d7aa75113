#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "check/CheckSettings.h"
#include "check/FetchedOnce.h"
#include "net/TlsIssuers.h"

namespace vornakle {

// An issuer's address serves one certificate of a kilobyte or two, or a
// small bundle; a larger body is taken for none.
inline constexpr std::size_t kMaxIssuerBytes = 64 * 1024;

// What the issuers' addresses served in one run, by address: each asked by
// the first check that needs it, its body (or that it gave none) kept for
// every later connection of the run on any worker thread. A check that
// needs an address while another fetches it waits for that answer.
class FetchedIssuers {
public:
    using TFetch = std::function<std::optional<std::string>()>;

    std::optional<std::string> BodyOf(const std::string& url, const TFetch& fetch);

private:
    FetchedOnce<std::string> bodies_;
};

// The fetch of a check client's handshakes (TTcpSocket::TlsFetchIssuer),
// through issuers: by a client of its own, made on the calling thread when
// first needed and like the check's (browser rules, the run's proxies and
// User-Agent, its time-out also bounding the fetch as a whole), for plain
// http only; the body of a 200 reply up to kMaxIssuerBytes.
IssuerFetch IssuerFetchOf(const CheckSettings& settings, std::shared_ptr<FetchedIssuers> issuers);

}  // namespace vornakle
