#include "net/TlsSession.h"

#include "net/SockErrors.h"
#include "platform/AsciiCase.h"

// Captured before the system headers that OpenSSL brings in define macros
// of the same names, some with other values.
namespace {
constexpr int kInternet4 = vornakle::winsock::AF_INET;
constexpr int kInternet6 = vornakle::winsock::AF_INET6;
}  // namespace

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>

namespace vornakle {

namespace {

using Transport = TlsSession::Transport;

// What the BIO answers for a WinSock call's result: the count, or -1 with
// "retry" for would-block, or -1 with the socket's error kept.
int BioResult(BIO* bio, int result, int retryFlag) {
    if (result != winsock::SOCKET_ERROR) {
        return result;
    }
    const int error = winsock::WSAGetLastError();
    if (error == winsock::WSAEWOULDBLOCK) {
        BIO_set_flags(bio, retryFlag | BIO_FLAGS_SHOULD_RETRY);
    } else {
        static_cast<Transport*>(BIO_get_data(bio))->LastError = error;
    }
    return -1;
}

int BioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    const auto* transport = static_cast<const Transport*>(BIO_get_data(bio));
    return BioResult(bio, winsock::send(transport->Socket, data, length, 0), BIO_FLAGS_WRITE);
}

int BioRead(BIO* bio, char* data, int length) {
    BIO_clear_retry_flags(bio);
    const auto* transport = static_cast<const Transport*>(BIO_get_data(bio));
    return BioResult(bio, winsock::recv(transport->Socket, data, length, 0), BIO_FLAGS_READ);
}

long BioControl(BIO* /*bio*/, int command, long /*number*/, void* /*pointer*/) {
    // Nothing is buffered on the way to the socket.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

// Made once, used by every session on every thread; OpenSSL only reads it.
BIO_METHOD* WinSockBioMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "WinSock");
        BIO_meth_set_write(made, BioWrite);
        BIO_meth_set_read(made, BioRead);
        BIO_meth_set_ctrl(made, BioControl);
        return made;
    }();
    return method;
}

std::string ReasonText(unsigned long code) {
    const char* reason = ERR_reason_error_string(code);
    return reason != nullptr ? reason : "unknown error";
}

struct StoreContextFree {
    void operator()(X509_STORE_CTX* context) const { X509_STORE_CTX_free(context); }
};
struct CertificatesFree {
    void operator()(STACK_OF(X509) * certificates) const {
        sk_X509_pop_free(certificates, X509_free);
    }
};

// Kept on the stack with a reference of its own.
void PushReference(STACK_OF(X509) * certificates, X509* certificate) {
    X509_up_ref(certificate);
    if (sk_X509_push(certificates, certificate) == 0) {
        X509_free(certificate);
    }
}

bool IsMissingIssuer(long verifyResult) {
    // The last is what OpenSSL reports of a lone certificate once its
    // missing issuer was let pass.
    return verifyResult == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT ||
           verifyResult == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY ||
           verifyResult == X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE;
}

// The handshake's verification where a missing issuer may be fetched: it
// lets a missing issuer pass that the certificate names an address for, so
// that the handshake ends and the chain can be completed before anything is
// sent; every other fault (expiry, the host name) still ends the handshake.
int LeaveIssuerForLater(int preverified, X509_STORE_CTX* store) {
    if (preverified == 1) {
        return 1;
    }
    X509* current = X509_STORE_CTX_get_current_cert(store);
    return IsMissingIssuer(X509_STORE_CTX_get_error(store)) && current != nullptr &&
                   !IssuerAddresses(current).empty()
               ? 1
               : 0;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) {
        joined += (joined.empty() ? "" : ", ") + text;
    }
    return joined;
}

ESockError CertificateFailure(long verifyResult) {
    switch (verifyResult) {
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return ESockError("TLS certificate issuer unknown", SockFailure::TlsUnknownIssuer);
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            return ESockError("TLS certificate self-signed", SockFailure::TlsSelfSigned);
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return ESockError("TLS certificate expired", SockFailure::TlsExpired);
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return ESockError("TLS certificate not yet valid", SockFailure::TlsNotYetValid);
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return ESockError("TLS certificate host name mismatch", SockFailure::TlsHostMismatch);
        default:
            return ESockError(std::string("TLS certificate invalid: ") +
                                  X509_verify_cert_error_string(verifyResult),
                              SockFailure::TlsCertificateInvalid);
    }
}

// Failures that mean the two sides share no protocol: no common version or
// cipher, or a peer that speaks no TLS at all.
bool ProtocolMismatch(unsigned long code) {
    if (ERR_GET_LIB(code) != ERR_LIB_SSL) {
        return false;
    }
    switch (ERR_GET_REASON(code)) {
        case SSL_R_UNSUPPORTED_PROTOCOL:
        case SSL_R_NO_PROTOCOLS_AVAILABLE:
        case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
        case SSL_R_WRONG_VERSION_NUMBER:
        case SSL_R_UNKNOWN_PROTOCOL:
        case SSL_R_PACKET_LENGTH_TOO_LONG:
        case SSL_R_RECORD_LENGTH_MISMATCH:
        case SSL_R_NO_SHARED_CIPHER:
        case SSL_R_NO_CIPHERS_AVAILABLE:
        case SSL_R_TLSV1_ALERT_INSUFFICIENT_SECURITY:
            return true;
        default:
            return false;
    }
}

std::string WithoutFinalDot(std::string name) {
    // "example.com." names the same host; certificates and SNI never carry
    // the dot (RFC 6066 section 3).
    if (name.size() > 1 && name.back() == '.') {
        name.pop_back();
    }
    return name;
}

}  // namespace

TlsSession::TlsSession(std::shared_ptr<TlsContext> context, winsock::SOCKET socket,
                       const std::string& serverName, std::int32_t port, IssuerFetching fetching)
    : context_(std::move(context)),
      peer_(AsciiLowerCase(WithoutFinalDot(serverName)) + ':' + std::to_string(port)),
      fetching_(context_->Settings().Insecure ? IssuerFetching::Refused : fetching) {
    transport_.Socket = socket;
    ERR_clear_error();
    ssl_ = SSL_new(context_->Handle());
    BIO* bio = ssl_ != nullptr ? BIO_new(WinSockBioMethod()) : nullptr;
    if (bio == nullptr) {
        SSL_free(ssl_);
        ERR_clear_error();
        throw ESockError("TLS could not be set up", SockFailure::TlsSetup);
    }
    BIO_set_data(bio, &transport_);
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl_, bio, bio);

    const winsock::SOCKADDR_INET numeric = winsock::NumericAddress(serverName);
    X509_VERIFY_PARAM* checks = SSL_get0_param(ssl_);
    if (numeric.si_family == kInternet6) {
        X509_VERIFY_PARAM_set1_ip(checks,
                                  reinterpret_cast<const unsigned char*>(&numeric.Ipv6.sin6_addr),
                                  sizeof numeric.Ipv6.sin6_addr);
    } else if (numeric.si_family == kInternet4) {
        X509_VERIFY_PARAM_set1_ip(checks,
                                  reinterpret_cast<const unsigned char*>(&numeric.Ipv4.sin_addr),
                                  sizeof numeric.Ipv4.sin_addr);
    } else {
        const std::string name = WithoutFinalDot(serverName);
        SSL_set_tlsext_host_name(ssl_, name.c_str());
        SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(ssl_, name.c_str());
    }
    if (fetching_ == IssuerFetching::Allowed) {
        SSL_set_verify(ssl_, SSL_VERIFY_PEER, LeaveIssuerForLater);
    }
    context_->PrepareResumption(ssl_, peer_);
    SSL_set_connect_state(ssl_);
}

TlsSession::~TlsSession() {
    SSL_free(ssl_);
}

TlsSession::Step TlsSession::Handshake() {
    ERR_clear_error();
    transport_.LastError = 0;
    const int result = SSL_do_handshake(ssl_);
    if (result == 1) {
        if (fetching_ == IssuerFetching::Allowed && SSL_get_verify_result(ssl_) != X509_V_OK) {
            // Only a missing issuer passes the handshake's verification
            // unfinished; this finds which certificate lacks it.
            const long verifyResult = Verify();
            if (!IsMissingIssuer(verifyResult)) {
                throw CertificateFailure(verifyResult);
            }
            return Step::IssuerMissing;
        }
        Establish();
        return Step::Done;
    }
    const int error = SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_WANT_READ) {
        return Step::WantRead;
    }
    if (error == SSL_ERROR_WANT_WRITE) {
        return Step::WantWrite;
    }
    if (transport_.LastError != 0) {
        ERR_clear_error();
        winsock::WSASetLastError(transport_.LastError);
        return Step::SocketError;
    }
    const long verifyResult = SSL_get_verify_result(ssl_);
    const unsigned long code = ERR_peek_error();
    ERR_clear_error();
    if (verifyResult != X509_V_OK) {
        throw CertificateFailure(verifyResult);
    }
    if (code == 0 || (ERR_GET_LIB(code) == ERR_LIB_SSL &&
                      ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING)) {
        throw ESockError("TLS handshake failure: connection closed", SockFailure::TlsHandshake);
    }
    if (ProtocolMismatch(code)) {
        throw ESockError("TLS protocol failure: " + ReasonText(code), SockFailure::TlsProtocol);
    }
    throw ESockError("TLS handshake failure: " + ReasonText(code), SockFailure::TlsHandshake);
}

void TlsSession::Establish() {
    established_ = true;
    context_->CountHandshake(ssl_);
}

long TlsSession::Verify() {
    X509* leaf = SSL_get0_peer_certificate(ssl_);
    const std::unique_ptr<STACK_OF(X509), CertificatesFree> untrusted(sk_X509_new_null());
    const std::unique_ptr<X509_STORE_CTX, StoreContextFree> verification(X509_STORE_CTX_new());
    if (leaf == nullptr || untrusted == nullptr || verification == nullptr) {
        throw ESockError("TLS could not be set up", SockFailure::TlsSetup);
    }
    // The server's certificates and those fetched are material to build the
    // chain from; only the context's store (the system's and the CA file's)
    // holds anchors.
    const STACK_OF(X509)* sent = SSL_get_peer_cert_chain(ssl_);
    for (int index = 0; index < sk_X509_num(sent); ++index) {
        PushReference(untrusted.get(), sk_X509_value(sent, index));
    }
    for (const FetchedIssuer& fetched : issuers_) {
        PushReference(untrusted.get(), fetched.Issuer.get());
    }
    if (X509_STORE_CTX_init(verification.get(), SSL_CTX_get_cert_store(context_->Handle()), leaf,
                            untrusted.get()) != 1) {
        ERR_clear_error();
        throw ESockError("TLS could not be set up", SockFailure::TlsSetup);
    }
    // As OpenSSL verifies a server's chain in the handshake: the server
    // purpose, the security level, and the connection's own checks (the
    // host name or address).
    X509_STORE_CTX_set_default(verification.get(), "ssl_server");
    X509_VERIFY_PARAM* checks = X509_STORE_CTX_get0_param(verification.get());
    X509_VERIFY_PARAM_set_auth_level(checks, SSL_get_security_level(ssl_));
    X509_VERIFY_PARAM_set1(checks, SSL_get0_param(ssl_));
    const bool verified = X509_verify_cert(verification.get()) == 1;
    ERR_clear_error();
    if (verified) {
        fetchedFrom_.clear();
        const STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(verification.get());
        for (int index = 0; index < sk_X509_num(chain); ++index) {
            const X509* link = sk_X509_value(chain, index);
            for (const FetchedIssuer& fetched : issuers_) {
                if (X509_cmp(link, fetched.Issuer.get()) == 0 &&
                    std::find(fetchedFrom_.begin(), fetchedFrom_.end(), fetched.Url) ==
                        fetchedFrom_.end()) {
                    fetchedFrom_.push_back(fetched.Url);
                }
            }
        }
        return X509_V_OK;
    }
    X509* current = X509_STORE_CTX_get_current_cert(verification.get());
    if (current != nullptr) {
        X509_up_ref(current);
    }
    lacking_.reset(current);
    return X509_STORE_CTX_get_error(verification.get());
}

std::vector<std::string> TlsSession::IssuerAddressesToFetch() {
    std::vector<std::string> addresses;
    if (lacking_ == nullptr || rounds_ >= kMaxIssuerRounds) {
        return addresses;
    }
    ++rounds_;
    for (std::string& address : IssuerAddresses(lacking_.get())) {
        if (std::find(asked_.begin(), asked_.end(), address) == asked_.end()) {
            asked_.push_back(address);
            addresses.push_back(std::move(address));
        }
    }
    return addresses;
}

void TlsSession::TakeIssuers(const std::string& url, const std::optional<std::string>& body) {
    std::vector<Certificate> certificates =
        body ? CertificatesOfBody(*body) : std::vector<Certificate>();
    if (certificates.empty()) {
        unanswered_.push_back(url);
    }
    for (Certificate& certificate : certificates) {
        issuers_.push_back({url, std::move(certificate)});
    }
}

bool TlsSession::VerifyAgain() {
    const long verifyResult = Verify();
    if (verifyResult == X509_V_OK) {
        Establish();
        return true;
    }
    if (!IsMissingIssuer(verifyResult)) {
        throw CertificateFailure(verifyResult);
    }
    return false;
}

void TlsSession::RefuseChain() const {
    if (unanswered_.empty()) {
        throw CertificateFailure(X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY);
    }
    throw ESockError("TLS certificate issuer unknown; no certificate from " + Joined(unanswered_),
                     SockFailure::TlsUnknownIssuer);
}

int TlsSession::Failure(int result) {
    const int error = SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_ZERO_RETURN) {
        return 0;
    }
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        winsock::WSASetLastError(winsock::WSAEWOULDBLOCK);
        return winsock::SOCKET_ERROR;
    }
    if (transport_.LastError != 0) {
        ERR_clear_error();
        winsock::WSASetLastError(transport_.LastError);
        return winsock::SOCKET_ERROR;
    }
    const unsigned long code = ERR_peek_error();
    ERR_clear_error();
    if (code == 0) {
        // The peer closed without a word of TLS: the end of the stream.
        return 0;
    }
    throw ESockError("TLS protocol failure: " + ReasonText(code), SockFailure::TlsProtocol);
}

int TlsSession::Receive(char* data, int length, bool peek) {
    if (length <= 0) {
        return 0;
    }
    ERR_clear_error();
    transport_.LastError = 0;
    const int result = peek ? SSL_peek(ssl_, data, length) : SSL_read(ssl_, data, length);
    return result > 0 ? result : Failure(result);
}

int TlsSession::Send(const char* data, int length) {
    if (length <= 0) {
        return 0;
    }
    ERR_clear_error();
    transport_.LastError = 0;
    const int result = SSL_write(ssl_, data, length);
    if (result > 0) {
        return result;
    }
    if (SSL_get_error(ssl_, result) == SSL_ERROR_ZERO_RETURN) {
        // The peer has closed its side for good.
        winsock::WSASetLastError(winsock::WSAESHUTDOWN);
        return winsock::SOCKET_ERROR;
    }
    return Failure(result);
}

bool TlsSession::DataWaiting() {
    if (!established_) {
        return false;
    }
    if (SSL_pending(ssl_) > 0) {
        return true;
    }
    ERR_clear_error();
    transport_.LastError = 0;
    char byte = 0;
    const bool waiting = SSL_peek(ssl_, &byte, 1) > 0;
    ERR_clear_error();
    return waiting;
}

void TlsSession::Shutdown() {
    if (established_) {
        ERR_clear_error();
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }
}

}  // namespace vornakle
