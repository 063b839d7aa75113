#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "http/RequestHop.h"
#include "store/LinkStatus.h"

namespace vornakle {

// Why a check got no usable answer. Each has a stable English token
// (ReasonToken) that the checker's output and scripts reading it rely on.
enum class FailureReason {
    None,                      // "none": the status is the server's answer
    NoUrl,                     // "no-url": the link holds no URL
    UrlTooLong,                // "url-too-long"
    UnsupportedScheme,         // "unsupported-scheme": ftp:, mailto:, ...
    NotWeb,                    // "not-web": a scheme no check applies to (current rules)
    OtherSystem,               // "other-system": a file: link to another computer's file
    FileMissing,               // "file-missing": a file: link to a path this system lacks
    FileUnreadable,            // "file-unreadable": ... to a file this user may not read
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
    PatternUndecided,          // "pattern-undecided": a filter pattern could not be matched
    Aborted,                   // "aborted": the check was stopped
    Error,                     // "error": any other failure
};

std::string_view ReasonToken(FailureReason reason);

// What a check found beyond the reply number, under current rules only.
enum class Finding {
    None,      // nothing beyond the status
    Moved,     // alive, reached through permanent redirects only: FinalUrl is the new address
    Suspect,   // the server says 2xx but the page is probably gone
    Login,     // the page is there behind a sign-in: alive
    Blocked,   // the site answers programs otherwise than people: cannot tell from here
    Accepted,  // a reply number the run accepts as fine (CheckSettings::Accepted)
    // Nothing to check: a link no check applies to (a bookmarklet, a mail
    // address, another computer's file); its reason says which. Never bad.
    NotChecked,
};

// Why a result is Suspect, Login or Blocked. Each has a stable token
// (SignalToken) that the checker's output and scripts reading it rely on.
enum class Signal {
    None,
    FrontPageRedirect,      // "front-page-redirect": a deep link ends on its site's front page
    SignInRedirect,         // "sign-in-redirect": ... or on its sign-in page
    MovedAway,              // "moved-away": ... or on the front page of another site
    ErrorPageRedirect,      // "error-page-redirect": ... or at an address named for an error
    ParkedDomain,           // "parked-domain": the page offers its domain for sale
    ErrorTitle,             // "soft-404-title": the page's title says it is not found
    ErrorHeading,           // "soft-404-heading": ... its first heading says so
    SameAsMadeUp,           // "same-as-made-up-address": the site's page for any address
    AuthRequired,           // "auth-required": 401, a sign-in is needed
    ProxyAuthRequired,      // "proxy-auth-required": 407 from a proxy the user did not set
    ChallengeHeader,        // "challenge-header": the reply names a challenge for robots
    ChallengePage,          // "challenge-page": the page is such a challenge
    BotStatus,              // "bot-status": a reply number outside HTTP's, sent to programs
    SignInReturn,           // "sign-in-return": a sign-in page that leads back to the link
    EmptyPage,              // "empty-page": an empty 200 where made-up addresses get a 404
    SearchRedirect,         // "search-redirect": a deep link ends on its site's search
    AccessDeniedReference,  // "access-denied-reference": a CDN's refusal with a reference
    IncidentId,             // "incident-id": a bot manager's refusal with an incident id
    CaptchaDelivery,        // "captcha-delivery": a bot manager's captcha page
    PressAndHold,           // "press-and-hold": a press-and-hold challenge
    FirewallBlock,          // "firewall-block": a website firewall's refusal page
};

std::string_view SignalToken(Signal signal);

// A signal and what it saw: the final URL, a title, a header line.
struct Clue {
    Signal Kind = Signal::None;
    std::string Detail;

    bool operator==(const Clue&) const = default;
};

// "token: detail" (the token alone without detail); empty for no signal.
std::string ClueText(const Clue& clue);

// The outcome of one link's check as both programs file it: the status
// (the reply number, or kStatusUnknown when no usable answer came) and, for
// kStatusUnknown, why, with a detail text for people; an answer's detail is a note, such as
// the intermediate certificate its server left out and the check fetched.
struct CheckResult {
    LinkStatus Status;
    FailureReason Reason = FailureReason::None;
    std::string Detail;
    // The URL whose reply decided the status (the link's own when no
    // redirection was followed); empty when nothing was asked.
    std::string FinalUrl;
    // Every request in the order sent, the last one's reply deciding.
    std::vector<RequestHop> Hops;
    Finding Found = Finding::None;
    // For Suspect, Login and Blocked: the signal that told it.
    Clue FoundBy;

    static CheckResult Answered(LinkStatus status);
    static CheckResult Failed(FailureReason reason, std::string detail = std::string());
};

// "token: detail" (the token alone without detail); for an answer the
// signal of what was found and the detail (empty when neither is there).
std::string ReasonText(const CheckResult& result);

}  // namespace vornakle
