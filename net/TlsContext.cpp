#include "net/TlsContext.h"

#include "net/SockErrors.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <map>
#include <mutex>

namespace vornakle {

namespace {

// Contexts alive now, by their settings; one that no component holds any
// more is made anew (and reads the trust store again) when next asked for.
struct ContextTable {
    std::mutex mutex;
    std::map<TlsSettings, std::weak_ptr<TlsContext>> contexts;
};

ContextTable& Contexts() {
    static ContextTable table;
    return table;
}

}  // namespace

std::shared_ptr<TlsContext> TlsContext::For(const TlsSettings& settings) {
    std::lock_guard lock(Contexts().mutex);
    std::weak_ptr<TlsContext>& slot = Contexts().contexts[settings];
    std::shared_ptr<TlsContext> context = slot.lock();
    if (!context) {
        context.reset(new TlsContext(settings));
        slot = context;
    }
    return context;
}

TlsContext::TlsContext(TlsSettings settings) : settings_(std::move(settings)) {
    ERR_clear_error();
    context_ = SSL_CTX_new(TLS_client_method());
    if (context_ == nullptr) {
        throw ESockError("TLS could not be set up", SockFailure::TlsSetup);
    }
    // Older versions have known weaknesses (RFC 8996).
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(context_);
    if (!settings_.CaFile.empty() &&
        SSL_CTX_load_verify_locations(context_, settings_.CaFile.c_str(), nullptr) != 1) {
        SSL_CTX_free(context_);
        ERR_clear_error();
        throw ESockError("TLS CA file cannot be read: " + settings_.CaFile, SockFailure::TlsSetup);
    }
    SSL_CTX_set_verify(context_, settings_.Insecure ? SSL_VERIFY_NONE : SSL_VERIFY_PEER, nullptr);
    // A server that closes without its close_notify alert ends the stream
    // like any HTTP/1.0 server's close: the reply ends with the connection
    // either way, and many servers skip the alert.
    SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // The send loop may hand on a later part of the same bytes after a
    // partial write.
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (settings_.Resumption == SessionResumption::Resume) {
        // Sessions go to our cache only: OpenSSL's own client cache cannot
        // tell which peer a session belongs to.
        SSL_CTX_set_app_data(context_, this);
        SSL_CTX_set_session_cache_mode(context_,
                                       SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        SSL_CTX_sess_set_new_cb(context_, KeepNewSession);
    } else {
        SSL_CTX_set_session_cache_mode(context_, SSL_SESS_CACHE_OFF);
        SSL_CTX_set_options(context_, SSL_OP_NO_TICKET);
    }
}

int TlsContext::KeepNewSession(SSL* ssl, SSL_SESSION* session) {
    auto* context = static_cast<TlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    const auto* peer = static_cast<const std::string*>(SSL_get_app_data(ssl));
    if (context == nullptr || peer == nullptr) {
        return 0;
    }
    // A connection whose chain needed a fetched issuer gives no session: a
    // resumption skips the chain, so its connections would no longer tell
    // that it needs one, and under TLS 1.2 the session comes before the
    // chain is complete.
    if (SSL_get_verify_mode(ssl) != SSL_VERIFY_NONE && SSL_get_verify_result(ssl) != X509_V_OK) {
        return 0;
    }
    // Returning 1 hands OpenSSL's reference on to the cache.
    context->sessions_.Keep(*peer, TlsSessionCache::Session(session));
    return 1;
}

void TlsContext::PrepareResumption(SSL* ssl, const std::string& peer) {
    if (settings_.Resumption != SessionResumption::Resume) {
        return;
    }
    SSL_set_app_data(ssl, const_cast<std::string*>(&peer));
    // The cache is keyed by the name the certificate was checked against:
    // a session never resumes for another name, which the certificate
    // might not cover.
    const TlsSessionCache::Session session = sessions_.Take(peer);
    if (session != nullptr) {
        // Should OpenSSL refuse it, the handshake is simply a full one.
        [[maybe_unused]] const int offered = SSL_set_session(ssl, session.get());
    }
}

void TlsContext::CountHandshake(const SSL* ssl) {
    if (SSL_session_reused(ssl) == 1) {
        ++resumedHandshakes_;
    } else {
        ++fullHandshakes_;
    }
}

TlsContext::HandshakeCounts TlsContext::Handshakes() const {
    return {fullHandshakes_.load(), resumedHandshakes_.load()};
}

TlsContext::~TlsContext() {
    SSL_CTX_free(context_);
}

void EndTlsOnThisThread() {
    OPENSSL_thread_stop();
}

}  // namespace vornakle
