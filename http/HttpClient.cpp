// THttpClient: the request operations, request composition and the
// transaction with its redirections.

#include "http/HttpClient.h"

#include "net/TransferSupport.h"

#include "http/BrowserRules.h"
#include "http/ClassicRules.h"
#include "http/RequestLines.h"
#include "http/UrlCoder.h"
#include "http/UrlReference.h"
#include "http/UrlSplit.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <memory>

namespace vornakle {

namespace {

std::unique_ptr<ClientRules> RulesObject(RequestRules rules, ConnectionReuse reuse) {
    if (rules == RequestRules::Browser) {
        return std::make_unique<BrowserRules>(reuse);
    }
    return std::make_unique<ClassicRules>();
}

// Requests a client may send again when a kept connection turned out to be
// closed: those that change nothing by being repeated (RFC 9110 section
// 9.2.2).
bool IsIdempotent(CmdType kind) {
    return kind == cmdGet || kind == cmdHead || kind == cmdOptions || kind == cmdTrace ||
           kind == cmdPut || kind == cmdDelete;
}

}  // namespace

THttpClient::THttpClient(QObject* Owner) : THttpClient(RequestRules::Classic, Owner) {}

THttpClient::THttpClient(RequestRules Rules, QObject* Owner)
    : THttpClient(Rules, ConnectionReuse::CloseEach, Owner) {}

THttpClient::THttpClient(RequestRules Rules, ConnectionReuse Reuse, QObject* Owner)
    : TTcpSocket(Owner), Policy(RulesObject(Rules, Reuse)) {}

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

void THttpClient::RunOperation(const std::string& URL, CmdType Kind) {
    CurrentURL = URL;
    RequestKind = Kind;
    RunRequest();
}

void THttpClient::Options(const std::string& URL) {
    RunOperation(URL, cmdOptions);
}

void THttpClient::Get(const std::string& URL) {
    RunOperation(URL, cmdGet);
}

void THttpClient::Post(const std::string& URL, const std::string& Data) {
    if (EncodePostData && !OutputFileMode) {
        TUrlCoder coder;
        coder.InputString = Data;
        SendData = coder.EncodedInput();
    } else {
        SendData = Data;
    }
    RunOperation(URL, cmdPost);
}

void THttpClient::Put(const std::string& URL, const std::string& Data) {
    SendData = Data;
    RunOperation(URL, cmdPut);
}

void THttpClient::Head(const std::string& URL) {
    RunOperation(URL, cmdHead);
}

void THttpClient::Patch(const std::string& URL, const std::string& Data) {
    SendData = Data;
    RunOperation(URL, cmdPatch);
}

void THttpClient::Delete(const std::string& URL) {
    RunOperation(URL, cmdDelete);
}

void THttpClient::Trace(const std::string& URL, const std::string& Data) {
    SendData = Data;
    RunOperation(URL, cmdTrace);
}

void THttpClient::Copy(const std::string& URL, const std::string& ToURL) {
    HeaderArgument = ToURL;
    RunOperation(URL, cmdCopy);
}

void THttpClient::Move(const std::string& URL, const std::string& ToURL) {
    HeaderArgument = ToURL;
    RunOperation(URL, cmdMove);
}

void THttpClient::Link(const std::string& URL, const std::string& LinkValue) {
    HeaderArgument = LinkValue;
    SendData = "Send.dat";
    RunOperation(URL, cmdLink);
}

void THttpClient::Unlink(const std::string& URL, const std::string& LinkValue) {
    HeaderArgument = LinkValue;
    SendData = "Send.dat";
    RunOperation(URL, cmdUnlink);
}

void THttpClient::SplitURL(std::string& URL, std::string& SplitHost, std::int32_t& SplitPort,
                           std::string& Path, std::string* UserInfo) const {
    Policy->SplitUrl(*this, URL, SplitHost, SplitPort, Path, UserInfo);
}

void THttpClient::ParseURL() {
    std::string userInfo;
    SplitURL(CurrentURL, Host, Port, RequestPath, &userInfo);
    if (const std::string scheme = UrlScheme(CurrentURL); !scheme.empty()) {
        UseTls = scheme == "https";
    }
    Policy->PreparePass(*this, userInfo);
}

void THttpClient::BuildHeader() {
    RequestHeader.Clear();
    Policy->ComposeRequest(*this);
    // A line break or zero byte inside a value (a hostile Location, a
    // damaged shortcut) would end the line early and let the rest pass as
    // header lines of its own (RFC 7230 section 3.2.4 forbids them in field
    // values); such a request is not sent at all.
    for (std::int32_t index = 0; index < RequestHeader.Count(); ++index) {
        ThrowIfLineBreak(RequestHeader.Strings(index));
    }
}

void THttpClient::SendBytes(const std::string& Bytes) {
    // SendBuffer takes at most 16 bits of length, and a length of 0 would
    // mean "up to the first zero byte"; explicit pieces send every byte.
    constexpr std::size_t kPiece = std::numeric_limits<std::uint16_t>::max();
    for (std::size_t offset = 0; offset < Bytes.size(); offset += kPiece) {
        const std::size_t length = std::min(kPiece, Bytes.size() - offset);
        SendBuffer(Bytes.data() + offset, static_cast<std::uint16_t>(length));
    }
}

void THttpClient::SendRequest() {
    // The header and its closing empty line leave in one piece: a second
    // small send would wait for the acknowledgement of the first (Nagle's
    // rule) while the server waits for the empty line.
    std::string request = RequestHeader.Text() + "\r\n";
    if (SendsBody(RequestKind) && !OutputFileMode) {
        request += SendData;
    }
    SendBytes(request);
    if (SendsBody(RequestKind) && OutputFileMode) {
        SendFile(SendData);
    }
}

std::string THttpClient::PassKey(const std::string& KeyHost, std::int32_t KeyPort,
                                 const std::string& Path) const {
    std::string key = KeyHost + '\n' + std::to_string(KeyPort) + '\n' + Path;
    if (Policy->CookiesTellPassesApart()) {
        // The same URL asked again with new cookies is how sites set a
        // session up; only a repeat with the same cookies is a loop.
        key += '\n' + CookiesFor(KeyHost);
    }
    return key;
}

std::string THttpClient::TargetKey(std::int32_t PassPort) const {
    std::string url = CurrentURL;
    std::string host = Host;
    std::int32_t port = PassPort;
    std::string path;
    try {
        SplitURL(url, host, port, path, nullptr);
        host = Policy->RequestHost(host);
    } catch (const Exception&) {
        // The next pass fails the same way and ends the transaction with
        // that error.
        return std::string();
    }
    return PassKey(host, port, path);
}

void THttpClient::ExchangeHeaders() {
    for (;;) {
        const ConnectionStart start = Policy->OpenConnection(*this);
        // A server closes a kept connection whenever it likes, and the close
        // may cross the request (RFC 9112 section 9.3.1): nothing received
        // at all is no reply, and the request goes once more on a new
        // connection, which is never retried.
        const bool retry = start == ConnectionStart::Reused && IsIdempotent(RequestKind);
        const std::int64_t receivedBefore = ReceivedBytes();
        try {
            SendRequest();
            ReplyNumber = 0;
            ReadReplyHeader();
        } catch (const ESockError& error) {
            const bool lost =
                error.Kind() == SockFailure::SocketError || error.Kind() == SockFailure::StreamLost;
            if (!retry || !lost || ReceivedBytes() > receivedBefore) {
                throw;
            }
        }
        if (!retry || ReceivedBytes() > receivedBefore) {
            return;
        }
        Disconnect();
    }
}

void THttpClient::RunPass() {
    ExchangeHeaders();
    ReadReplyBody();
    const std::int16_t reply = ReplyNumber;
    // A reply without a status line, or with no reply number from 100 to
    // 999 (both 0), is no success: the request failed.
    if (reply >= 1 && reply < 299) {
        if (OnSuccess) {
            OnSuccess(RequestKind);
        }
        ReportStatus(kReportCompletion, "Transaction Completed");
    } else if (reply >= 299 && reply <= 399) {
        // Only a Location of this reply redirects; without one the
        // transaction ends with this reply's number.
        if (Policy->FollowsRedirect(reply) && !ReplyLocation.empty()) {
            CurrentURL = Policy->RedirectTarget(*this);
        }
    } else if (OnFailure) {
        OnFailure(RequestKind);
    }
}

void THttpClient::RunRequest() {
    AbortRequested = false;
    RedirectEnd = RedirectOutcome::None;
    Policy->StartTransaction(*this);
    Hops.clear();
    UseTls = false;
    std::vector<std::string> askedKeys;
    for (int pass = 0;; ++pass) {
        ParseURL();
        BuildHeader();
        if (OnAboutToSend) {
            OnAboutToSend(this);
        }
        ThrowIfAborted();
        ClientRules::Redirection redirection{pass, CurrentURL, PassKey(Host, Port, RequestPath),
                                             Port, &askedKeys};
        askedKeys.push_back(redirection.Key);
        Hops.push_back({CurrentURL, 0});
        try {
            RunPass();
            Hops.back().Status = ReplyNumber;
            Hops.back().IssuersFetched = TlsIssuersFetched;
        } catch (...) {
            try {
                Disconnect();
            } catch (...) {
                // The failure of the pass is what the caller needs to see.
            }
            throw;
        }
        Policy->ReleaseConnection(*this);

        const std::int16_t reply = ReplyNumber;
        const bool redirected = reply >= 300 && reply <= 399;
        if (Policy->KeepsCookies(reply)) {
            TakeOverCookies();
        }
        if (redirected) {
            bool handled = false;
            if (OnRedirect) {
                OnRedirect(handled);
            }
            if (handled) {
                return;
            }
        }
        const bool again = redirected && Policy->FollowRedirection(*this, redirection);
        if (reply == 401 && OnAuthenticationNeeded) {
            OnAuthenticationNeeded(this);
        }
        if (!again) {
            return;
        }
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
