#include "check/LinkCheck.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>
#include <limits>
#include <optional>

#include "check/AccessRules.h"
#include "check/CheckDeadline.h"
#include "check/IssuerFetch.h"
#include "check/NonWebLinks.h"
#include "check/RotCheck.h"
#include "http/HttpClient.h"
#include "http/ReplyHeader.h"
#include "http/UrlReference.h"
#include "http/UrlSplit.h"
#include "http/WebUrl.h"
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
constexpr int kBytesPerKiB = 1024;

// No URL, or one longer than a shortcut may hold.
std::optional<CheckResult> RefusedLength(const std::string& url) {
    if (url.empty()) {
        return CheckResult::Failed(FailureReason::NoUrl);
    }
    if (url.size() > kMaxUrlLength) {
        return CheckResult::Failed(FailureReason::UrlTooLong,
                                   "longer than " + std::to_string(kMaxUrlLength) + " bytes");
    }
    return std::nullopt;
}

std::optional<CheckResult> RefusedUrl(const std::string& url, SecureScheme secure) {
    if (std::optional<CheckResult> refused = RefusedLength(url)) {
        return refused;
    }
    const std::string scheme = LinkScheme(url);
    if (!scheme.empty() && !IsRequestableScheme(scheme, secure)) {
        return CheckResult::Failed(FailureReason::UnsupportedScheme, scheme);
    }
    // A URL that names no host ("/x", "http:///x") or opens an address's
    // bracket without closing it would only ask the resolver for a name
    // that is none (RFC 9110 section 4.2.1 makes such an http URL invalid).
    std::string splitUrl = url;
    std::string host;
    std::int32_t port = 0;
    std::string path;
    try {
        ParseRequestURL(splitUrl, host, port, path, SecureScheme::Allowed, AuthorityRule::Rfc3986);
    } catch (const EConvertError& error) {
        return CheckResult::Failed(FailureReason::InvalidUrl, error.Message());
    }
    if (host.empty()) {
        return CheckResult::Failed(FailureReason::InvalidUrl, "the URL names no host");
    }
    return std::nullopt;
}

// What a browser would not ask: a URL the URL Standard refuses (nothing is
// looked up or sent for it), or one of another scheme than http and https.
std::optional<CheckResult> RefusedWebUrl(const std::string& url) {
    if (std::optional<CheckResult> refused = RefusedLength(url)) {
        return refused;
    }
    const std::optional<WebUrl> parsed = ParseWebUrl(url);
    if (!parsed) {
        // "www.example.com/x" is a relative reference, no URL: a browser
        // fixes up what is typed, never what a link holds.
        static const std::optional<WebUrl> someBase = ParseWebUrl("http://base.invalid/");
        return CheckResult::Failed(FailureReason::InvalidUrl,
                                   ParseWebUrl(url, &*someBase)
                                       ? "no scheme such as \"https:\" before the address"
                                       : "not an address by the URL Standard");
    }
    if (!parsed->IsWebAddress()) {
        return CheckResult::Failed(FailureReason::UnsupportedScheme, parsed->Scheme);
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
        case SockFailure::TlsSetup:
        case SockFailure::Other:
            break;
    }
    return FailureReason::SocketError;
}

// What a failure of the socket layer means for a person; the layer's own
// texts ("Null Remote Address", "Socket readln aborted") name its steps.
std::string SocketDetail(const ESockError& error, FailureReason reason) {
    switch (reason) {
        case FailureReason::Dns:
            return "the name has no address";
        case FailureReason::Refused:
            return "nothing listens on the port";
        case FailureReason::Unreachable:
            return "no route to the host";
        case FailureReason::Timeout:
            return "no answer in time";
        case FailureReason::Reset:
            return "the connection was broken off";
        case FailureReason::Aborted:
            return "the check was stopped";
        case FailureReason::ConnectFailed:
            return error.ErrorNo() != 0 ? "the connection could not be made (error " +
                                              std::to_string(error.ErrorNo()) + ")"
                                        : std::string("the connection could not be made");
        default:
            // The certificate's, the handshake's, TLS setup's and the
            // WinSock table's texts say what went wrong; a socket that could
            // not be made has only its step's name.
            return error.Kind() == SockFailure::Startup ? std::string("no socket could be made")
                                                        : error.Message();
    }
}

// Which addresses completed a server's chain, for a person to see that the
// server leaves out an intermediate; empty when none did.
std::string FetchedIssuersText(const std::vector<RequestHop>& hops) {
    std::vector<std::string> addresses;
    for (const RequestHop& hop : hops) {
        for (const std::string& address : hop.IssuersFetched) {
            if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
                addresses.push_back(address);
            }
        }
    }
    std::string text;
    for (const std::string& address : addresses) {
        text += text.empty() ? "intermediate certificate fetched from " : ", ";
        text += address;
    }
    return text;
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
        const FailureReason reason = SocketReason(error);
        return CheckResult::Failed(reason, SocketDetail(error, reason));
    } catch (const ELineTooLong&) {
        return CheckResult::Failed(FailureReason::MalformedReply,
                                   "a line of the reply is longer than " +
                                       std::to_string(TTcpSocket::kBufferSize / kBytesPerKiB) +
                                       " KiB");
    } catch (const ENotWebAddress& error) {
        return CheckResult::Failed(FailureReason::UnsupportedScheme, error.Message());
    } catch (const EMalformedReply& error) {
        return CheckResult::Failed(FailureReason::MalformedReply, error.Message());
    } catch (const EUnsupportedScheme& error) {
        return CheckResult::Failed(FailureReason::UnsupportedScheme, error.Message());
    } catch (const ESchemeRefused&) {
        return CheckResult::Failed(FailureReason::UnsupportedScheme, "https");
    } catch (const EProxyError& error) {
        return CheckResult::Failed(FailureReason::Proxy, error.Message());
    } catch (const EConvertError& error) {
        return CheckResult::Failed(FailureReason::InvalidUrl, error.Message());
    } catch (const EHeaderValueError&) {
        return CheckResult::Failed(FailureReason::InvalidUrl,
                                   "a line break or zero byte in the address");
    } catch (const Exception& error) {
        return CheckResult::Failed(FailureReason::Error, error.Message());
    } catch (const std::exception& error) {
        return CheckResult::Failed(FailureReason::Error, error.what());
    } catch (...) {
        return CheckResult::Failed(FailureReason::Error);
    }
}

namespace {

// What one check shares over its requests: the guard against targets the
// client must not ask, the deadline of the whole check, the hops, and the
// last reply.
class CheckRun {
public:
    CheckRun(THttpClient& client, std::int64_t deadlineMilliseconds, SecureScheme secure)
        : client_(client),
          deadlineMilliseconds_(deadlineMilliseconds),
          callersHandler_(client.OnAboutToSend),
          deadline_(client, deadlineMilliseconds) {
        // A redirection's target is refused the same way before its pass
        // connects; an https target the client refuses itself.
        client.OnAboutToSend = [this, secure](QObject* sender) {
            if (callersHandler_) {
                callersHandler_(sender);
            }
            const std::string scheme = LinkScheme(client_.CurrentPass().Url);
            if (!scheme.empty() && !IsRequestableScheme(scheme, secure)) {
                throw EUnsupportedScheme(scheme + " (a redirection's target)");
            }
        };
        elapsed_.start();
    }
    ~CheckRun() { client_.OnAboutToSend = callersHandler_; }

    CheckRun(const CheckRun&) = delete;
    CheckRun& operator=(const CheckRun&) = delete;

    // Runs one transaction; the result when it ended without a reply, else
    // none and Reply() holds the reply.
    std::optional<CheckResult> Transaction(const HttpRequest& request) {
        reply_ = client_.Exchange(request);
        hops_.insert(hops_.end(), reply_.Hops.begin(), reply_.Hops.end());
        if (reply_.Failure) {
            return Failure(reply_.Failure);
        }
        return std::nullopt;
    }

    // Waits before a retry; the result when the wait was ended.
    std::optional<CheckResult> Pause(std::int64_t milliseconds) {
        try {
            client_.Wait(static_cast<std::int32_t>(milliseconds));
        } catch (...) {
            return Failure(std::current_exception());
        }
        return std::nullopt;
    }

    const HttpReply& Reply() const { return reply_; }
    HttpReply TakeReply() { return std::move(reply_); }

    // What the last transaction's reply says.
    CheckResult Answer() const {
        switch (reply_.RedirectEnd) {
            case RedirectOutcome::Loop:
                return CheckResult::Failed(FailureReason::RedirectLoop, reply_.RedirectTarget);
            case RedirectOutcome::TooMany:
                return CheckResult::Failed(FailureReason::TooManyRedirects,
                                           "more than " + std::to_string(client_.MaxRedirects()));
            case RedirectOutcome::NoLocation:
                return CheckResult::Failed(FailureReason::NoLocation,
                                           std::to_string(reply_.Number));
            case RedirectOutcome::None:
                break;
        }
        if (reply_.Number > 0) {
            return CheckResult::Answered(StatusOfReply(reply_.Number));
        }
        return CheckResult::Failed(
            FailureReason::MalformedReply,
            reply_.Header.empty() ? "closed without a status line" : StatusLineOf(reply_.Header));
    }

    // Milliseconds left before the deadline; the largest value without one.
    std::int64_t Remaining() const {
        return deadlineMilliseconds_ > 0 ? deadlineMilliseconds_ - elapsed_.elapsed()
                                         : std::numeric_limits<std::int64_t>::max();
    }

    // The hops and final URL go into the result, and for an answer the
    // issuers fetched on the way.
    CheckResult Finished(CheckResult result) const {
        result.Hops = hops_;
        if (!hops_.empty()) {
            result.FinalUrl = hops_.back().Url;
        }
        if (result.Reason == FailureReason::None && result.Detail.empty()) {
            result.Detail = FetchedIssuersText(hops_);
        }
        return result;
    }

private:
    CheckResult Failure(const std::exception_ptr& failure) const {
        if (deadline_.Expired()) {
            return CheckResult::Failed(
                FailureReason::Timeout,
                "the check took longer than " +
                    std::to_string(deadlineMilliseconds_ / kMillisecondsPerSecond) + " s");
        }
        CheckResult failed = FailedCheck(failure);
        if (failed.Reason != FailureReason::Error && failed.Reason != FailureReason::InvalidUrl &&
            failed.Reason != FailureReason::UnsupportedScheme && !reply_.Host.empty()) {
            // Which server of a chain of redirections failed.
            failed.Detail += " (" + reply_.Host + ":" + std::to_string(reply_.Port) + ")";
        }
        return failed;
    }

    THttpClient& client_;
    std::int64_t deadlineMilliseconds_;
    THttpClient::TNotifyEvent callersHandler_;
    CheckDeadline deadline_;
    QElapsedTimer elapsed_;
    std::vector<RequestHop> hops_;
    HttpReply reply_;
};

constexpr std::int16_t kTooManyRequests = 429;
constexpr std::int16_t kProxyAuthenticationRequired = 407;
constexpr std::int16_t kServiceUnavailable = 503;

// A request, asked again while the server asks for patience (429 or 503
// with Retry-After) and the deadline leaves room for the wait; the result
// when no reply came, else none and the run holds the reply.
std::optional<CheckResult> AskPatiently(CheckRun& run, const HttpRequest& request,
                                        const HostBackOff& backOff) {
    for (int retriesLeft = kMaxRetries;; --retriesLeft) {
        std::optional<CheckResult> failed = run.Transaction(request);
        const std::int16_t reply = run.Reply().Number;
        if (failed || retriesLeft == 0 ||
            (reply != kTooManyRequests && reply != kServiceUnavailable)) {
            return failed;
        }
        const std::optional<std::int64_t> seconds =
            RetryAfterSeconds(run.Reply().RetryAfter, QDateTime::currentSecsSinceEpoch());
        // A server asking for longer than a user would wait is not waited
        // for at all: the answer after a shorter wait would be the same.
        if (!seconds || *seconds > kMaxRetryWaitMilliseconds / kMillisecondsPerSecond) {
            return failed;
        }
        const std::int64_t wait = *seconds * kMillisecondsPerSecond;
        if (wait >= run.Remaining()) {
            return failed;
        }
        if (backOff) {
            backOff(wait);
        }
        if (std::optional<CheckResult> ended = run.Pause(wait)) {
            return ended;
        }
    }
}

CheckResult CheckByCurrentRules(THttpClient& client, const std::string& url,
                                std::int64_t deadlineMilliseconds, const HostBackOff& backOff,
                                HttpReply* lastReply) {
    // Cookies are this check's own: none of another check reaches it, and
    // none of it reaches the requests after it.
    client.ClearCookies();
    ScopeExit forgetCookies([&client] { client.ClearCookies(); });
    if (std::optional<CheckResult> local = CheckWithoutRequest(url)) {
        return *local;
    }
    if (std::optional<CheckResult> refused = RefusedWebUrl(url)) {
        return *refused;
    }

    CheckRun run(client, deadlineMilliseconds, SecureScheme::Allowed);
    // A GET from the start: one request tells whether the link answers and
    // brings the page the rot look reads (its start, and no other body),
    // where a HEAD would need a GET after it, and servers that refuse HEAD
    // or let it hang are no trouble.
    const HttpRequest request{
        .Url = url, .BodyLimit = kRotPageBytes, .BodyWanted = PageWorthReading};
    std::optional<CheckResult> failed = AskPatiently(run, request, backOff);
    CheckResult result = failed ? *failed : run.Answer();
    const HttpReply& reply = run.Reply();
    if (result.Status == LinkStatus::Reply(kTooManyRequests)) {
        result.Reason = FailureReason::RateLimited;
        result.Detail = reply.RetryAfter.empty() ? std::string("no Retry-After")
                                                 : "Retry-After: " + reply.RetryAfter;
    } else if (result.Status == LinkStatus::Reply(kProxyAuthenticationRequired) &&
               !reply.Proxy.empty()) {
        // The user's own proxy wants a sign-in: that says nothing of the
        // page.
        result = CheckResult::Failed(FailureReason::Proxy, "the proxy " + reply.Proxy + ':' +
                                                               std::to_string(reply.ProxyPort) +
                                                               " asks for a sign-in (407)");
    } else if (result.Reason == FailureReason::None) {
        if (auto access = AccessOfReply(result.Status.ReplyNumber(), reply.Header)) {
            result.Found = access->first;
            result.FoundBy = std::move(access->second);
        }
    }
    result = run.Finished(std::move(result));
    if (lastReply != nullptr) {
        *lastReply = run.TakeReply();
    }
    return result;
}

}  // namespace

CheckResult CheckLink(THttpClient& client, const std::string& url,
                      std::int64_t deadlineMilliseconds) {
    if (std::optional<CheckResult> refused = RefusedUrl(url, SecureScheme::Refused)) {
        return *refused;
    }
    CheckRun run(client, deadlineMilliseconds, SecureScheme::Refused);
    std::optional<CheckResult> failed = run.Transaction({.Method = HttpMethod::Head, .Url = url});
    return run.Finished(failed ? *failed : run.Answer());
}

CheckResult GetPatiently(THttpClient& client, const std::string& url,
                         std::int64_t deadlineMilliseconds, HttpReply& reply) {
    CheckRun run(client, deadlineMilliseconds, SecureScheme::Allowed);
    std::optional<CheckResult> failed = AskPatiently(run, {.Url = url}, HostBackOff());
    CheckResult result = failed ? *failed : run.Answer();
    reply = run.TakeReply();
    return result;
}

CheckResult CheckLink(THttpClient& client, const std::string& url, const CheckSettings& settings,
                      std::int64_t deadlineMilliseconds, const HostBackOff& backOff,
                      HttpReply* lastReply) {
    if (settings.Rules == CheckRules::Current) {
        CheckResult result =
            CheckByCurrentRules(client, url, deadlineMilliseconds, backOff, lastReply);
        // The user's word on a reply number outweighs what the reply seemed
        // to say of the site (a bot status, a challenge).
        if (!IsLinkFine(result.Status) && settings.Accepts(result.Status.ReplyNumber())) {
            result.Found = Finding::Accepted;
            result.FoundBy = Clue();
        }
        return result;
    }
    return CheckLink(client, url, deadlineMilliseconds);
}

std::unique_ptr<THttpClient> MakeCheckClient(const CheckSettings& settings,
                                             std::shared_ptr<FetchedIssuers> issuers) {
    HttpClientSettings client;
    client.TimeOut = settings.TimeOutMilliseconds;
    if (settings.Rules == CheckRules::Current) {
        client.Rules = RequestRules::Browser;
        client.Reuse = settings.Reuse;
        client.AllowHttps = true;
        client.UserAgent = settings.UserAgent;
        client.Tls = settings.Tls;
        client.Proxies = settings.Proxies ? *settings.Proxies : ProxyRulesFromEnvironment();
        client.ExtraHeaders = settings.ExtraHeaders;
        client.FetchIssuer = IssuerFetchOf(
            settings, issuers != nullptr ? std::move(issuers) : std::make_shared<FetchedIssuers>());
    }
    return std::make_unique<THttpClient>(std::move(client));
}

LinkStanding StandingOfResult(const CheckResult& result) {
    switch (result.Found) {
        case Finding::Login:
        case Finding::Accepted:
            return LinkStanding::Fine;
        case Finding::Blocked:
            return LinkStanding::Doubtful;
        case Finding::Suspect:
            return LinkStanding::Bad;
        case Finding::NotChecked:
            return LinkStanding::NotChecked;
        case Finding::Moved:
        case Finding::None:
            break;
    }
    return StandingOfStatus(result.Status);
}

}  // namespace vornakle
