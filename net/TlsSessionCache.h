#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

using SSL_SESSION = struct ssl_session_st;

namespace vornakle {

// The TLS sessions one client context has been given, by peer (the name the
// handshake was made for, and the port), for connections that come back to
// the same peer: resuming one skips the certificate's transfer and its
// checks. Bounded, so that a run over a hundred thousand sites keeps what it
// will use again soon rather than everything; thread-safe, as the context
// it belongs to serves every thread.
class TlsSessionCache {
public:
    // A check comes back to a site within a short while (its other links,
    // its redirections), so the peers used longest ago go first.
    static constexpr std::size_t kMaxPeers = 1024;
    // A TLS 1.3 server hands out two sessions after a full handshake and one
    // after each resumption; a few in hand let the connections that a host
    // has open at once all resume.
    static constexpr std::size_t kMaxSessionsPerPeer = 4;

    struct SessionRelease {
        void operator()(SSL_SESSION* session) const;
    };
    using Session = std::unique_ptr<SSL_SESSION, SessionRelease>;

    TlsSessionCache() = default;
    TlsSessionCache(const TlsSessionCache&) = delete;
    TlsSessionCache& operator=(const TlsSessionCache&) = delete;

    // Keeps session for peer, the newest first.
    void Keep(const std::string& peer, Session session);
    // The newest session of peer that can still be resumed, or none. A TLS
    // 1.3 session leaves the cache, since it is meant for one connection
    // only (RFC 8446 appendix C.4: reusing it lets observers link the
    // connections); an older version's stays for the next one too.
    Session Take(const std::string& peer);

private:
    struct Peer {
        std::string Name;
        // Newest first.
        std::vector<Session> Sessions;
    };

    std::mutex mutex_;
    // Most recently used first.
    std::list<Peer> peers_;
    std::unordered_map<std::string, std::list<Peer>::iterator> byName_;
};

}  // namespace vornakle
