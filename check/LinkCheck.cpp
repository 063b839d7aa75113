#include "check/LinkCheck.h"

#include <QTimer>

#include <algorithm>
#include <limits>
#include <optional>

#include "http/HttpClient.h"
#include "http/UrlReference.h"
#include "http/UrlSplit.h"
#include "net/SockErrors.h"
#include "net/TransferSupport.h"
#include "platform/WinSock.h"
#include "store/LinkStatus.h"
#include "store/Shortcut.h"

namespace vornakle {

namespace {

// A redirection led to a URL whose scheme the client does not speak.
class EUnsupportedScheme : public Exception {
public:
    using Exception::Exception;
};

constexpr int kMillisecondsPerSecond = 1000;

std::optional<CheckResult> RefusedUrl(const std::string& url) {
    if (url.empty()) {
        return CheckResult::Failed(FailureReason::NoUrl);
    }
    if (url.size() > kMaxUrlLength) {
        return CheckResult::Failed(FailureReason::UrlTooLong,
                                   "longer than " + std::to_string(kMaxUrlLength) + " bytes");
    }
    const std::string scheme = LinkScheme(url);
    if (!scheme.empty() && !IsRequestableScheme(scheme)) {
        return CheckResult::Failed(FailureReason::UnsupportedScheme, scheme);
    }
    return std::nullopt;
}

FailureReason ConnectReason(std::int32_t errorNo) {
    switch (errorNo) {
        case winsock::WSAECONNREFUSED:
            return FailureReason::Refused;
        case winsock::WSAEHOSTUNREACH:
        case winsock::WSAENETUNREACH:
            return FailureReason::Unreachable;
        case winsock::WSAETIMEDOUT:
            return FailureReason::Timeout;
        case winsock::WSAECONNRESET:
            return FailureReason::Reset;
        default:
            return FailureReason::ConnectFailed;
    }
}

FailureReason SocketReason(const ESockError& error) {
    switch (error.Kind()) {
        case SockFailure::LookupFailed:
            return FailureReason::Dns;
        case SockFailure::TimedOut:
            return FailureReason::Timeout;
        case SockFailure::Canceled:
            return FailureReason::Aborted;
        case SockFailure::ConnectFailed:
            return ConnectReason(error.ErrorNo());
        case SockFailure::StreamLost:
            return FailureReason::Reset;
        case SockFailure::SocketError: {
            const FailureReason reason = ConnectReason(error.ErrorNo());
            return reason == FailureReason::ConnectFailed ? FailureReason::SocketError : reason;
        }
        case SockFailure::TlsUnknownIssuer:
            return FailureReason::CertificateUnknownIssuer;
        case SockFailure::TlsSelfSigned:
            return FailureReason::CertificateSelfSigned;
        case SockFailure::TlsExpired:
            return FailureReason::CertificateExpired;
        case SockFailure::TlsNotYetValid:
            return FailureReason::CertificateNotYetValid;
        case SockFailure::TlsHostMismatch:
            return FailureReason::CertificateHostMismatch;
        case SockFailure::TlsCertificateInvalid:
            return FailureReason::CertificateInvalid;
        case SockFailure::TlsProtocol:
            return FailureReason::TlsProtocol;
        case SockFailure::TlsHandshake:
            return FailureReason::TlsHandshake;
        case SockFailure::Startup:
        case SockFailure::Other:
            break;
    }
    return FailureReason::SocketError;
}

// The first line of a reply header, for a person to see why it was no
// answer.
std::string StatusLineOf(const std::string& header) {
    constexpr std::size_t kShownLength = 200;
    const std::string line = header.substr(0, header.find_first_of("\r\n"));
    return line.substr(0, kShownLength);
}

}  // namespace

CheckResult FailedCheck(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const ESockError& error) {
        return CheckResult::Failed(SocketReason(error), error.Message());
    } catch (const EUnsupportedScheme& error) {
        return CheckResult::Failed(FailureReason::UnsupportedScheme, error.Message());
    } catch (const EConvertError& error) {
        return CheckResult::Failed(FailureReason::InvalidUrl, error.Message());
    } catch (const Exception& error) {
        return CheckResult::Failed(FailureReason::Error, error.Message());
    } catch (const std::exception& error) {
        return CheckResult::Failed(FailureReason::Error, error.what());
    } catch (...) {
        return CheckResult::Failed(FailureReason::Error);
    }
}

CheckResult CheckLink(THttpClient& client, const std::string& url,
                      std::int64_t deadlineMilliseconds) {
    client.Host.clear();
    client.Port = 0;
    if (std::optional<CheckResult> refused = RefusedUrl(url)) {
        return *refused;
    }

    // A redirection's target is refused the same way before its pass
    // connects; an https target the client refuses itself.
    const THttpClient::TNotifyEvent callersHandler = client.OnAboutToSend;
    client.OnAboutToSend = [&client, &callersHandler](QObject* sender) {
        if (callersHandler) {
            callersHandler(sender);
        }
        const std::string scheme = LinkScheme(client.CurrentURL);
        if (!scheme.empty() && !IsRequestableScheme(scheme)) {
            throw EUnsupportedScheme(scheme + " (a redirection's target)");
        }
    };
    ScopeExit restoreHandler([&client, &callersHandler] { client.OnAboutToSend = callersHandler; });

    // Abort runs on this thread, inside a wait of the request, as the
    // client requires.
    QTimer deadline;
    deadline.setSingleShot(true);
    bool expired = false;
    QObject::connect(&deadline, &QTimer::timeout, &client, [&client, &expired] {
        expired = true;
        client.Abort();
    });
    if (deadlineMilliseconds > 0) {
        deadline.start(static_cast<int>(
            std::min<std::int64_t>(deadlineMilliseconds, std::numeric_limits<int>::max())));
    }

    try {
        client.Head(url);
    } catch (...) {
        if (expired) {
            return CheckResult::Failed(
                FailureReason::Timeout,
                "the check took longer than " +
                    std::to_string(deadlineMilliseconds / kMillisecondsPerSecond) + " s");
        }
        CheckResult failed = FailedCheck(std::current_exception());
        if (failed.Reason != FailureReason::Error && failed.Reason != FailureReason::InvalidUrl &&
            failed.Reason != FailureReason::UnsupportedScheme && !client.Host.empty()) {
            // Which server of a chain of redirections failed.
            failed.Detail += " (" + client.Host + ":" + std::to_string(client.Port) + ")";
        }
        return failed;
    }
    switch (client.RedirectEnd) {
        case THttpClient::RedirectOutcome::Loop:
            return CheckResult::Failed(FailureReason::RedirectLoop, client.CurrentURL);
        case THttpClient::RedirectOutcome::TooMany:
            return CheckResult::Failed(FailureReason::TooManyRedirects,
                                       "more than " + std::to_string(THttpClient::kMaxRedirects));
        case THttpClient::RedirectOutcome::NoLocation:
            return CheckResult::Failed(FailureReason::NoLocation,
                                       std::to_string(client.ReplyNumber));
        case THttpClient::RedirectOutcome::None:
            break;
    }
    if (client.ReplyNumber > 0) {
        return CheckResult::Answered(StatusOfReply(client.ReplyNumber));
    }
    return CheckResult::Failed(FailureReason::MalformedReply, client.Header.empty()
                                                                  ? "closed without a status line"
                                                                  : StatusLineOf(client.Header));
}

std::string_view StatusClass(std::int32_t status) {
    switch (StatusImageIndex(status)) {
        case kImageOk:
            return "ok";
        case kImageInvalid:
            return "invalid";
        case kImageNotTested:
            return "untested";
        default:
            return "unknown";
    }
}

std::string_view ResultClass(const CheckResult& result) {
    switch (result.Rot) {
        case RotClass::Moved:
            return "moved";
        case RotClass::Suspect:
            return "suspect";
        case RotClass::None:
            break;
    }
    return StatusClass(result.Status);
}

}  // namespace vornakle
