#include "check/CheckResult.h"

#include <utility>

#include "store/LinkStatus.h"

namespace vornakle {

std::string_view ReasonToken(FailureReason reason) {
    switch (reason) {
        case FailureReason::None:
            return "none";
        case FailureReason::NoUrl:
            return "no-url";
        case FailureReason::UrlTooLong:
            return "url-too-long";
        case FailureReason::UnsupportedScheme:
            return "unsupported-scheme";
        case FailureReason::NotWeb:
            return "not-web";
        case FailureReason::OtherSystem:
            return "other-system";
        case FailureReason::FileMissing:
            return "file-missing";
        case FailureReason::FileUnreadable:
            return "file-unreadable";
        case FailureReason::InvalidUrl:
            return "invalid-url";
        case FailureReason::Dns:
            return "dns";
        case FailureReason::Refused:
            return "refused";
        case FailureReason::Unreachable:
            return "unreachable";
        case FailureReason::ConnectFailed:
            return "connect-failed";
        case FailureReason::Timeout:
            return "timeout";
        case FailureReason::Reset:
            return "reset";
        case FailureReason::SocketError:
            return "socket-error";
        case FailureReason::MalformedReply:
            return "malformed-reply";
        case FailureReason::RedirectLoop:
            return "redirect-loop";
        case FailureReason::TooManyRedirects:
            return "too-many-redirects";
        case FailureReason::NoLocation:
            return "no-location";
        case FailureReason::CertificateUnknownIssuer:
            return "certificate-unknown-issuer";
        case FailureReason::CertificateSelfSigned:
            return "certificate-self-signed";
        case FailureReason::CertificateExpired:
            return "certificate-expired";
        case FailureReason::CertificateNotYetValid:
            return "certificate-not-yet-valid";
        case FailureReason::CertificateHostMismatch:
            return "certificate-host-mismatch";
        case FailureReason::CertificateInvalid:
            return "certificate-invalid";
        case FailureReason::TlsProtocol:
            return "tls-protocol";
        case FailureReason::TlsHandshake:
            return "tls-handshake";
        case FailureReason::RateLimited:
            return "rate-limited";
        case FailureReason::Proxy:
            return "proxy";
        case FailureReason::Unreadable:
            return "unreadable";
        case FailureReason::PatternUndecided:
            return "pattern-undecided";
        case FailureReason::Aborted:
            return "aborted";
        case FailureReason::Error:
            break;
    }
    return "error";
}

std::string_view SignalToken(Signal signal) {
    switch (signal) {
        case Signal::None:
            break;
        case Signal::FrontPageRedirect:
            return "front-page-redirect";
        case Signal::SignInRedirect:
            return "sign-in-redirect";
        case Signal::MovedAway:
            return "moved-away";
        case Signal::ErrorPageRedirect:
            return "error-page-redirect";
        case Signal::ParkedDomain:
            return "parked-domain";
        case Signal::ErrorTitle:
            return "soft-404-title";
        case Signal::ErrorHeading:
            return "soft-404-heading";
        case Signal::SameAsMadeUp:
            return "same-as-made-up-address";
        case Signal::AuthRequired:
            return "auth-required";
        case Signal::ProxyAuthRequired:
            return "proxy-auth-required";
        case Signal::ChallengeHeader:
            return "challenge-header";
        case Signal::ChallengePage:
            return "challenge-page";
        case Signal::BotStatus:
            return "bot-status";
        case Signal::SignInReturn:
            return "sign-in-return";
        case Signal::EmptyPage:
            return "empty-page";
        case Signal::SearchRedirect:
            return "search-redirect";
        case Signal::AccessDeniedReference:
            return "access-denied-reference";
        case Signal::IncidentId:
            return "incident-id";
        case Signal::CaptchaDelivery:
            return "captcha-delivery";
        case Signal::PressAndHold:
            return "press-and-hold";
        case Signal::FirewallBlock:
            return "firewall-block";
    }
    return std::string_view();
}

std::string ClueText(const Clue& clue) {
    std::string text(SignalToken(clue.Kind));
    if (!text.empty() && !clue.Detail.empty()) {
        text += ": " + clue.Detail;
    }
    return text;
}

CheckResult CheckResult::Answered(LinkStatus status) {
    CheckResult result;
    result.Status = status;
    return result;
}

CheckResult CheckResult::Failed(FailureReason reason, std::string detail) {
    CheckResult result;
    result.Status = kStatusUnknown;
    result.Reason = reason;
    result.Detail = std::move(detail);
    return result;
}

std::string ReasonText(const CheckResult& result) {
    if (result.Reason == FailureReason::None) {
        // An answer's detail is a note beside the signal (an issuer
        // fetched).
        std::string text = ClueText(result.FoundBy);
        if (!result.Detail.empty()) {
            text += text.empty() ? "" : "; ";
            text += result.Detail;
        }
        return text;
    }
    std::string text(ReasonToken(result.Reason));
    if (!result.Detail.empty()) {
        text += ": ";
        text += result.Detail;
    }
    return text;
}

}  // namespace vornakle
