#pragma once

#include "net/TlsSessionCache.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

using SSL_CTX = struct ssl_ctx_st;
using SSL = struct ssl_st;

namespace vornakle {

// Whether a connection offers the session of an earlier one to the same
// peer (name and port) rather than making a full handshake.
enum class SessionResumption { Resume, Never };

// How a secure connection checks the server's certificate.
struct TlsSettings {
    // A file of PEM certificates trusted besides the system's store; empty
    // for none.
    std::string CaFile;
    // The certificate is not verified at all; the connection is still
    // encrypted, but anyone on the way can pose as the server.
    bool Insecure = false;
    SessionResumption Resumption = SessionResumption::Resume;

    auto operator<=>(const TlsSettings&) const = default;
};

// The OpenSSL client context of one configuration: TLS 1.2 and 1.3, the
// system's trust store (OpenSSL's default paths, so SSL_CERT_FILE and
// SSL_CERT_DIR apply) and CaFile. Every component using the same settings at
// the same time shares one, on any thread: OpenSSL makes connections from one
// context concurrently, and reading the trust store for every connection
// would cost more than the handshake itself. It keeps the sessions its
// connections were given (TlsSessionCache), so that a connection to a peer
// one of them reached before resumes, whichever thread made either, and it
// counts the handshakes of both kinds.
class TlsContext {
public:
    // The shared context of settings, made when no component holds one.
    // Raises ESockError (SockFailure::TlsSetup) when CaFile cannot be read.
    static std::shared_ptr<TlsContext> For(const TlsSettings& settings);

    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    SSL_CTX* Handle() const { return context_; }
    const TlsSettings& Settings() const { return settings_; }

    // Before the handshake of ssl with peer (the server name and port, as
    // one text that must outlive ssl): offers the session kept for peer,
    // and keeps the sessions the connection is given for it.
    void PrepareResumption(SSL* ssl, const std::string& peer);
    // Counts the handshake ssl has finished, full or resumed.
    void CountHandshake(const SSL* ssl);

    // The handshakes this context's connections have finished.
    struct HandshakeCounts {
        std::int64_t Full = 0;
        std::int64_t Resumed = 0;
        bool operator==(const HandshakeCounts&) const = default;
    };
    HandshakeCounts Handshakes() const;

private:
    explicit TlsContext(TlsSettings settings);
    // OpenSSL's new-session callback.
    static int KeepNewSession(SSL* ssl, SSL_SESSION* session);

    TlsSettings settings_;
    SSL_CTX* context_ = nullptr;
    TlsSessionCache sessions_;
    std::atomic<std::int64_t> fullHandshakes_{0};
    std::atomic<std::int64_t> resumedHandshakes_{0};
};

// Frees what OpenSSL keeps for the calling thread (its random generators,
// its error queue). OpenSSL does so by itself when a thread ends, but only
// after the thread has told its waiters that it finished: a program that
// ends right after waiting for its workers would otherwise lose those to the
// race. Call last on a thread that used TLS; harmless on any other.
void EndTlsOnThisThread();

}  // namespace vornakle
