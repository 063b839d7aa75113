#pragma once

#include "platform/Exception.h"

#include <cstdint>
#include <string>

namespace vornakle {

// Why a socket operation failed, so that callers decide by the kind and
// never by the message text.
enum class SockFailure : std::uint8_t {
    // A fixed failure with no finer kind ("Already connected", ...).
    Other,
    // WinSock could not be started or gave no socket.
    Startup,
    // TLS could not be set up for the connection: the trust store or the
    // extra CA file could not be read.
    TlsSetup,
    // The host name gave no address.
    LookupFailed,
    // The time-out, or a peer that took no data for the send stall limit,
    // ended the wait.
    TimedOut,
    // A cancel ended the wait.
    Canceled,
    // The connection could not be made (refused, unreachable).
    ConnectFailed,
    // A WinSock error; the error carries its number.
    SocketError,
    // Bytes seen waiting in the socket were gone when read: the connection
    // was reset in between.
    StreamLost,
    // The TLS handshake, or a secure connection later, failed. The
    // certificate kinds come from its verification against the trust store
    // (RFC 5280 section 6) and the host name check (RFC 6125).
    // No trusted certificate issued the server's certificate.
    TlsUnknownIssuer,
    // The server's certificate signs itself and is not trusted as it is.
    TlsSelfSigned,
    // The certificate's validity ended before now.
    TlsExpired,
    // The certificate's validity begins after now.
    TlsNotYetValid,
    // The certificate names neither the host name nor the address asked
    // for.
    TlsHostMismatch,
    // Any other fault of the certificate (signature, purpose, revocation).
    TlsCertificateInvalid,
    // No protocol version or cipher both sides speak, or bytes that are no
    // TLS at all.
    TlsProtocol,
    // Any other failure of the handshake, the peer's alert or its close
    // during the handshake included.
    TlsHandshake,
};

// A failure of the socket layer: a WinSock error turned into its text, or one
// of the component's fixed messages ("Connection Failed", ...).
class ESockError : public Exception {
public:
    explicit ESockError(const std::string& message, SockFailure kind = SockFailure::Other,
                        std::int32_t errorNo = 0)
        : Exception(message), kind_(kind), errorNo_(errorNo) {}

    SockFailure Kind() const { return kind_; }
    // The WinSock error number of a SocketError, and of a ConnectFailed when
    // the failed connect reported one (refused, unreachable); else 0.
    std::int32_t ErrorNo() const { return errorNo_; }

private:
    SockFailure kind_;
    std::int32_t errorNo_;
};

// A transfer ended by a cancel request or the time-out.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// A count or number outside the range its field can hold (a line longer than
// the transfer buffer, a reply number beyond 16 bits, a negative time-out).
class ERangeError : public Exception {
public:
    ERangeError() : Exception("Range check error") {}
};

// ReadLn met no line end within the transfer buffer: a line longer than
// kBufferSize bytes, which a caller reading a protocol's lines can tell from
// other range errors.
class ELineTooLong : public ERangeError {};

}  // namespace vornakle
