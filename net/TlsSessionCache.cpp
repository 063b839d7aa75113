#include "net/TlsSessionCache.h"

#include <openssl/ssl.h>

#include <ctime>

namespace vornakle {

namespace {

// A session past its lifetime would only be refused by the server, after a
// round trip spent on offering it.
bool Resumable(const SSL_SESSION* session) {
    const long age = static_cast<long>(std::time(nullptr)) - SSL_SESSION_get_time(session);
    return SSL_SESSION_is_resumable(session) == 1 && age < SSL_SESSION_get_timeout(session);
}

}  // namespace

void TlsSessionCache::SessionRelease::operator()(SSL_SESSION* session) const {
    SSL_SESSION_free(session);
}

void TlsSessionCache::Keep(const std::string& peer, Session session) {
    std::lock_guard lock(mutex_);
    auto found = byName_.find(peer);
    if (found == byName_.end()) {
        if (peers_.size() >= kMaxPeers) {
            byName_.erase(peers_.back().Name);
            peers_.pop_back();
        }
        peers_.push_front(Peer{peer, {}});
        found = byName_.emplace(peer, peers_.begin()).first;
    } else {
        peers_.splice(peers_.begin(), peers_, found->second);
    }
    std::vector<Session>& sessions = found->second->Sessions;
    sessions.insert(sessions.begin(), std::move(session));
    if (sessions.size() > kMaxSessionsPerPeer) {
        sessions.pop_back();
    }
}

TlsSessionCache::Session TlsSessionCache::Take(const std::string& peer) {
    std::lock_guard lock(mutex_);
    const auto found = byName_.find(peer);
    if (found == byName_.end()) {
        return nullptr;
    }
    peers_.splice(peers_.begin(), peers_, found->second);
    std::vector<Session>& sessions = found->second->Sessions;
    while (!sessions.empty()) {
        Session session = std::move(sessions.front());
        sessions.erase(sessions.begin());
        if (!Resumable(session.get())) {
            continue;
        }
        if (SSL_SESSION_get_protocol_version(session.get()) < TLS1_3_VERSION) {
            SSL_SESSION_up_ref(session.get());
            sessions.insert(sessions.begin(), Session(session.get()));
        }
        return session;
    }
    return nullptr;
}

}  // namespace vornakle
