#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vornakle {

// Why a check got no usable answer. Each has a stable English token
// (ReasonToken) that the checker's output and scripts reading it rely on.
enum class FailureReason {
    None,                      // "none": the status is the server's answer
    NoUrl,                     // "no-url": the link holds no URL
    UrlTooLong,                // "url-too-long"
    UnsupportedScheme,         // "unsupported-scheme": ftp:, mailto:, ...
    InvalidUrl,                // "invalid-url": a port that is no port, ...
    Dns,                       // "dns": the host name gave no address
    Refused,                   // "refused": nothing listens on the port
    Unreachable,               // "unreachable": no route to the host
    ConnectFailed,             // "connect-failed": any other failed connect
    Timeout,                   // "timeout": a wait, or the check as a whole, ran out
    Reset,                     // "reset": the server broke the connection off
    SocketError,               // "socket-error": any other failure of the socket layer
    MalformedReply,            // "malformed-reply": no status line with a reply number
    RedirectLoop,              // "redirect-loop"
    TooManyRedirects,          // "too-many-redirects"
    NoLocation,                // "no-location": a 300 to 302 reply naming no target
    CertificateUnknownIssuer,  // "certificate-unknown-issuer"
    CertificateSelfSigned,     // "certificate-self-signed"
    CertificateExpired,        // "certificate-expired"
    CertificateNotYetValid,    // "certificate-not-yet-valid"
    CertificateHostMismatch,   // "certificate-host-mismatch": made out to other names
    CertificateInvalid,        // "certificate-invalid": any other certificate fault
    TlsProtocol,               // "tls-protocol": no TLS version or cipher in common
    TlsHandshake,              // "tls-handshake": any other failed handshake
    RateLimited,               // "rate-limited": a 429 that stayed after the retries
    Proxy,                     // "proxy": the proxy opened no tunnel to the server
    Unreadable,                // "unreadable": the shortcut file could not be read
    Aborted,                   // "aborted": the check was stopped
    Error,                     // "error": any other failure
};

std::string_view ReasonToken(FailureReason reason);

// One request of a check: the URL asked and the reply number it got (0
// when none came).
struct CheckHop {
    std::string Url;
    std::int32_t Status = 0;
};

// What a check found beyond the reply number, under current rules only.
enum class RotClass {
    None,     // nothing beyond the status
    Moved,    // alive, reached through permanent redirects only: FinalUrl is the new address
    Suspect,  // the server says 2xx but the page is probably gone: RotReason says why
};

// The outcome of one link's check as both programs file it: the status
// (the reply number, or 5 when no usable answer came) and, for a status 5,
// why, with a detail text for people.
struct CheckResult {
    std::int32_t Status = 0;
    FailureReason Reason = FailureReason::None;
    std::string Detail;
    // The URL whose reply decided the status (the link's own when no
    // redirection was followed); empty when nothing was asked.
    std::string FinalUrl;
    // Every request in the order sent, the last one's reply deciding.
    std::vector<CheckHop> Hops;
    RotClass Rot = RotClass::None;
    // For a suspect result: which signal fired.
    std::string RotReason;

    static CheckResult Answered(std::int32_t status);
    static CheckResult Failed(FailureReason reason, std::string detail = std::string());
};

// "token: detail" (the token alone without detail); for an answer the
// RotReason of a suspect one, else empty.
std::string ReasonText(const CheckResult& result);

}  // namespace vornakle
