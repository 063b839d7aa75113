#include "net/TlsSession.h"

#include "net/SockErrors.h"

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
                       const std::string& serverName)
    : context_(std::move(context)) {
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
        established_ = true;
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
