#pragma once

#include <memory>
#include <string>

using SSL_CTX = struct ssl_ctx_st;

namespace vornakle {

// How a secure connection checks the server's certificate.
struct TlsSettings {
    // A file of PEM certificates trusted besides the system's store; empty
    // for none.
    std::string CaFile;
    // The certificate is not verified at all; the connection is still
    // encrypted, but anyone on the way can pose as the server.
    bool Insecure = false;

    auto operator<=>(const TlsSettings&) const = default;
};

// The OpenSSL client context of one configuration: TLS 1.2 and 1.3, the
// system's trust store (OpenSSL's default paths, so SSL_CERT_FILE and
// SSL_CERT_DIR apply) and CaFile. Every component using the same settings at
// the same time shares one, on any thread: OpenSSL makes connections from one
// context concurrently, and reading the trust store for every connection
// would cost more than the handshake itself.
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

private:
    explicit TlsContext(TlsSettings settings);

    TlsSettings settings_;
    SSL_CTX* context_ = nullptr;
};

// Frees what OpenSSL keeps for the calling thread (its random generators,
// its error queue). OpenSSL does so by itself when a thread ends, but only
// after the thread has told its waiters that it finished: a program that
// ends right after waiting for its workers would otherwise lose those to the
// race. Call last on a thread that used TLS; harmless on any other.
void EndTlsOnThisThread();

}  // namespace vornakle
