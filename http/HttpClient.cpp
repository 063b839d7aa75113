// THttpClient: the request operations and the transaction with its
// redirections.

#include "http/HttpClient.h"

#include "net/TransferSupport.h"

#include "http/BrowserRules.h"
#include "http/ClassicRules.h"
#include "http/RequestLines.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <memory>

namespace vornakle {

namespace {

std::unique_ptr<ClientRules> RulesObject(const HttpClientSettings& settings) {
    if (settings.Rules == RequestRules::Browser) {
        return std::make_unique<BrowserRules>(settings);
    }
    return std::make_unique<ClassicRules>(settings);
}

// Requests a client may send again when a kept connection turned out to be
// closed: those that change nothing by being repeated (RFC 9110 section
// 9.2.2).
bool IsIdempotent(HttpMethod method) {
    return method != HttpMethod::Post && method != HttpMethod::Patch;
}

}  // namespace

THttpClient::THttpClient(HttpClientSettings Settings, QObject* Owner)
    : TTcpSocket(Owner), ClientSettings(std::move(Settings)), Policy(RulesObject(ClientSettings)) {
    TimeOut = ClientSettings.TimeOut;
    TlsCaFile = ClientSettings.Tls.CaFile;
    TlsInsecure = ClientSettings.Tls.Insecure;
    TlsResumption = ClientSettings.Tls.Resumption;
    TlsFetchIssuer = ClientSettings.FetchIssuer;
}

THttpClient::~THttpClient() = default;

void THttpClient::Abort() {
    // Without the "Abort" status of the socket layer's version.
    AsyncDone = true;
    // The time-out ends only the wait it bounds (a connect goes on to the
    // host's next address); a user's Abort ends the whole request.
    if (!TimeOutAborting) {
        AbortRequested = true;
    }
    if (WaitLoop != nullptr) {
        WaitLoop->quit();
    }
    Cancel();
}

void THttpClient::ThrowIfAborted() const {
    if (AbortRequested) {
        throw EAbortError("Request aborted", SockFailure::Canceled);
    }
}

HttpReply THttpClient::Get(const std::string& URL) {
    return Send({.Method = HttpMethod::Get, .Url = URL});
}

HttpReply THttpClient::Head(const std::string& URL) {
    return Send({.Method = HttpMethod::Head, .Url = URL});
}

HttpReply THttpClient::Options(const std::string& URL) {
    return Send({.Method = HttpMethod::Options, .Url = URL});
}

HttpReply THttpClient::Delete(const std::string& URL) {
    return Send({.Method = HttpMethod::Delete, .Url = URL});
}

HttpReply THttpClient::Post(const std::string& URL, const std::string& Data) {
    return Send({.Method = HttpMethod::Post, .Url = URL, .Body = FormEncoded(Data)});
}

HttpReply THttpClient::Put(const std::string& URL, const std::string& Data) {
    return Send({.Method = HttpMethod::Put, .Url = URL, .Body = Data});
}

HttpReply THttpClient::Patch(const std::string& URL, const std::string& Data) {
    return Send({.Method = HttpMethod::Patch, .Url = URL, .Body = Data});
}

HttpReply THttpClient::Send(const HttpRequest& Request) {
    HttpReply reply = Exchange(Request);
    if (reply.Failure) {
        std::rethrow_exception(reply.Failure);
    }
    return reply;
}

HttpReply THttpClient::Exchange(const HttpRequest& Request) {
    HttpReply reply;
    try {
        RunTransaction(Request, reply);
    } catch (...) {
        reply.Failure = std::current_exception();
    }
    reply.Host = Pass.Host;
    reply.Port = Pass.Port;
    reply.Proxy = Pass.Proxy;
    reply.ProxyPort = Pass.ProxyPort;
    return reply;
}

void THttpClient::StartPass(const HttpRequest& Request, const std::string& URL, UrlSource Source) {
    Pass = Policy->SplitUrl(URL, Pass, Source);
    Policy->PreparePass(Pass);
    Host = Pass.Host;
    Port = Pass.Port;
    UseTls = Pass.Tls;
    Proxy = Pass.Proxy;
    ProxyPort = Pass.ProxyPort;
    Pass.RequestHeader = Policy->ComposeRequest(Request, Pass, CookiesFor(Pass.Host));
    // A line break or zero byte inside a value (a hostile Location, a
    // damaged shortcut) would end the line early and let the rest pass as
    // header lines of its own (RFC 7230 section 3.2.4 forbids them in field
    // values); such a request is not sent at all.
    for (std::int32_t index = 0; index < Pass.RequestHeader.Count(); ++index) {
        ThrowIfLineBreak(Pass.RequestHeader.Strings(index));
    }
}

std::string THttpClient::PassKey(const HttpPass& Target) const {
    std::string key = Target.Host + '\n' + std::to_string(Target.Port) + '\n' + Target.Path;
    if (Policy->CookiesTellPassesApart()) {
        // The same URL asked again with new cookies is how sites set a
        // session up; only a repeat with the same cookies is a loop.
        key += '\n' + CookiesFor(Target.Host);
    }
    return key;
}

std::string THttpClient::TargetKey(const std::string& URL) const {
    try {
        return PassKey(Policy->SplitUrl(URL, Pass, UrlSource::Redirection));
    } catch (const Exception&) {
        // The next pass fails the same way and ends the transaction with
        // that error.
        return std::string();
    }
}

ReplyHead THttpClient::ExchangeHeaders(const HttpRequest& Request) {
    // The header and its closing empty line leave in one piece: a second
    // small send would wait for the acknowledgement of the first (Nagle's
    // rule) while the server waits for the empty line.
    std::string request = Pass.RequestHeader.Text() + "\r\n";
    if (SendsBody(Request.Method)) {
        request += Request.Body;
    }
    for (;;) {
        const ConnectionStart start = Policy->OpenConnection(*this, Pass);
        if (start == ConnectionStart::Reused) {
            // A cancel that came between two requests ends nothing, as a
            // new connection's Connect would forget it too.
            Canceled = false;
        }
        // A server closes a kept connection whenever it likes, and the close
        // may cross the request (RFC 9112 section 9.3.1): nothing received
        // at all is no reply, and the request goes once more on a new
        // connection, which is never retried.
        const bool retry = start == ConnectionStart::Reused && IsIdempotent(Request.Method);
        const std::int64_t receivedBefore = ReceivedBytes();
        ReplyHead head;
        try {
            SendBytes(*this, request);
            BytesTotal = 0;
            head = Policy->ReadReplyHeader(*this, ReadLn(), Request.Method);
        } catch (const ESockError& error) {
            const bool lost =
                error.Kind() == SockFailure::SocketError || error.Kind() == SockFailure::StreamLost;
            if (!retry || !lost || ReceivedBytes() > receivedBefore) {
                throw;
            }
        }
        if (!retry || ReceivedBytes() > receivedBefore) {
            return head;
        }
        Disconnect();
    }
}

ReplyHead THttpClient::RunPass(const HttpRequest& Request, HttpReply& Reply) {
    ReplyHead head = ExchangeHeaders(Request);
    BytesTotal = static_cast<std::int32_t>(std::min<std::int64_t>(
        std::max<std::int64_t>(head.ContentLength, 0), std::numeric_limits<std::int32_t>::max()));
    Reply.Number = head.Number;
    Reply.Header = std::move(head.Header);
    Reply.Location = head.Location;
    Reply.Cookie = head.Cookies.empty() ? std::string() : head.Cookies.back();
    Reply.RetryAfter = head.RetryAfter;
    const bool reusable = ReadReplyBody(Request, head, Reply);
    const std::int16_t reply = head.Number;
    // A reply without a status line, or with no reply number from 100 to
    // 999 (both 0), is no success: the request failed.
    if (reply >= 1 && reply < 299) {
        if (OnSuccess) {
            OnSuccess(Request.Method);
        }
        ReportStatus(kReportCompletion, "Transaction Completed");
    } else if ((reply < 299 || reply > 399) && OnFailure) {
        OnFailure(Request.Method);
    }
    Policy->ReleaseConnection(*this, Pass, reusable);
    return head;
}

void THttpClient::RunTransaction(const HttpRequest& Request, HttpReply& Reply) {
    AbortRequested = false;
    if (Policy->StartTransaction()) {
        // The cookies of one transaction's redirections are for its own
        // later passes only.
        TransactionCookies.clear();
    }
    Pass = HttpPass();
    std::vector<std::string> askedKeys;
    std::string url = Request.Url;
    for (int pass = 0;; ++pass) {
        StartPass(Request, url, pass == 0 ? UrlSource::Caller : UrlSource::Redirection);
        if (OnAboutToSend) {
            OnAboutToSend(this);
        }
        ThrowIfAborted();
        ClientRules::Redirection redirection{pass, Pass.Url, PassKey(Pass), {}, {}, &askedKeys};
        askedKeys.push_back(redirection.Key);
        Reply.Hops.push_back({Pass.Url, 0});
        ReplyHead head;
        try {
            head = RunPass(Request, Reply);
            Reply.Hops.back().Status = head.Number;
            Reply.Hops.back().IssuersFetched = TlsIssuersFetched;
        } catch (...) {
            try {
                Disconnect();
            } catch (...) {
                // The failure of the pass is what the caller needs to see.
            }
            throw;
        }

        const std::int16_t reply = head.Number;
        if (Policy->KeepsCookies(reply)) {
            TakeOverCookies(head.Cookies);
        }
        if (reply == 401 && OnAuthenticationNeeded) {
            OnAuthenticationNeeded(this);
        }
        if (reply < 300 || reply > 399) {
            return;
        }
        bool handled = false;
        if (OnRedirect) {
            OnRedirect(handled);
        }
        if (handled) {
            return;
        }
        // Only a Location of this reply redirects; without one the
        // transaction ends with this reply's number.
        redirection.NextURL = Policy->FollowsRedirect(reply) && !head.Location.empty()
                                  ? Policy->RedirectTarget(Pass, head.Location)
                                  : Pass.Url;
        redirection.NextKey = TargetKey(redirection.NextURL);
        if (const std::optional<RedirectOutcome> end =
                Policy->EndOfRedirection(head, redirection)) {
            Reply.RedirectEnd = *end;
            Reply.RedirectTarget = redirection.NextURL;
            return;
        }
        url = redirection.NextURL;
        ThrowIfAborted();
    }
}

std::optional<ConnectionOrigin> THttpClient::KeptConnection() const {
    return Connected ? Policy->KeptOrigin() : std::nullopt;
}

void THttpClient::ClearCookies() {
    TransactionCookies.clear();
}

void THttpClient::Wait(std::int32_t Milliseconds) {
    AbortRequested = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    WaitLoop = &loop;
    ScopeExit forget([this] { WaitLoop = nullptr; });
    timer.start(Milliseconds);
    loop.exec();
    ThrowIfAborted();
}

}  // namespace vornakle
