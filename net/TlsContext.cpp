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
}

TlsContext::~TlsContext() {
    SSL_CTX_free(context_);
}

void EndTlsOnThisThread() {
    OPENSSL_thread_stop();
}

}  // namespace vornakle
