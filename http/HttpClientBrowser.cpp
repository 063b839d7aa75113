// THttpClient under BrowserRules: the request as today's browsers compose
// it, the proxy and tunnel of each pass, the lenient reading of the header,
// and the pause between retries.

#include "http/HttpClient.h"

#include "http/ReplyHeader.h"
#include "http/UrlReference.h"
#include "http/UrlSplit.h"
#include "net/TransferSupport.h"

#include <QEventLoop>
#include <QTimer>

namespace vornakle {

namespace {

constexpr const char* kRequestWordsOfKind[] = {
    "GET",  "OPTIONS", "HEAD",   "POST", "PUT",    "PATCH",
    "COPY", "MOVE",    "DELETE", "LINK", "UNLINK", "TRACE",
};
constexpr const char* kBrowserAccept =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,"
    "*/*;q=0.8";
constexpr const char* kBrowserAcceptLanguage = "Accept-Language: en-US,en;q=0.9";
// Header lines a proxy may send before the tunnel opens.
constexpr int kMaxTunnelHeaderLines = 100;

bool HasBody(CmdType kind) {
    return kind == cmdPost || kind == cmdPut || kind == cmdPatch || kind == cmdTrace;
}

}  // namespace

bool THttpClient::FollowsRedirect(std::int16_t Reply) const {
    if (!BrowserRules) {
        return Reply <= 302;
    }
    return Reply == 301 || Reply == 302 || Reply == 303 || Reply == 307 || Reply == 308;
}

void THttpClient::ChooseBrowserRoute() {
    Host = AceHostName(Host);
    const std::optional<ProxyAddress> proxy = ProxyFor(Proxies, UseTls, Host, Port);
    Proxy = proxy ? proxy->Host : std::string();
    ProxyPort = proxy ? proxy->Port : 0;
}

void THttpClient::BuildBrowserHeader() {
    if (RequestKind >= std::size(kRequestWordsOfKind)) {
        return;
    }
    const std::int32_t defaultPort = UseTls ? kHttpsPort : kHttpPort;
    const std::string authority = Port == defaultPort ? Host : Host + ':' + std::to_string(Port);
    // A proxy asked in the clear needs the whole URL; through a tunnel the
    // server sees the path as without a proxy.
    const std::string target =
        Proxy.empty() || UseTls ? RequestPath : "http://" + authority + RequestPath;
    RequestHeader.Add(std::string(kRequestWordsOfKind[RequestKind]) + ' ' +
                      BrowserRequestTarget(target) + " HTTP/1.1");
    RequestHeader.Add("Host: " + authority);
    RequestHeader.Add("User-Agent: " + (UserAgent.empty() ? kBrowserUserAgent : UserAgent));
    RequestHeader.Add(kBrowserAccept);
    RequestHeader.Add(kBrowserAcceptLanguage);
    const std::string cookies = CookiesFor(Host);
    const std::string& cookie = cookies.empty() ? HeaderInfo.Cookie : cookies;
    if (!cookie.empty()) {
        RequestHeader.Add("Cookie: " + cookie);
    }
    if (!HeaderInfo.Referer.empty()) {
        RequestHeader.Add("Referer: " + HeaderInfo.Referer);
    }
    if (!PassAuthorization.empty()) {
        RequestHeader.Add("Authorization: Basic " + PassAuthorization);
    }
    if (HasBody(RequestKind) && !OutputFileMode) {
        RequestHeader.Add("Content-Type: application/x-www-form-urlencoded");
        RequestHeader.Add("Content-Length: " + std::to_string(SendData.size()));
    }
    RequestHeader.Add("Connection: close");
}

void THttpClient::OpenTunnel() {
    const std::string authority = Host + ':' + std::to_string(Port);
    if (authority.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw EHeaderValueError("Invalid character in request header");
    }
    SendBytes("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\nUser-Agent: " +
              (UserAgent.empty() ? kBrowserUserAgent : UserAgent) + "\r\n\r\n");
    const std::string statusLine = ReadLn();
    const std::int16_t reply = LenientStatusNumber(statusLine);
    for (int line = 0; line < kMaxTunnelHeaderLines && !statusLine.empty(); ++line) {
        if (IsHeaderEnd(ReadLn())) {
            break;
        }
    }
    if (reply < 200 || reply > 299) {
        throw EProxyError("The proxy " + Proxy + ':' + std::to_string(ProxyPort) +
                          " opened no tunnel to " + authority + " (" +
                          (reply == 0 ? std::string("no reply") : std::to_string(reply)) + ")");
    }
    StartTls(Host);
}

void THttpClient::ReadBrowserHeaderLines(const std::function<void(const std::string&)>& Capture) {
    // A header line may go on over lines that start with a blank; a field
    // is read once its last line is in.
    std::string field;
    std::size_t headerBytes = 0;
    while (headerBytes < kMaxHeaderBytes) {
        const std::string line = ReadLn();
        headerBytes += line.size();
        Capture(line);
        if (IsFoldedLine(line) && !field.empty()) {
            while (!field.empty() && (field.back() == '\n' || field.back() == '\r')) {
                field.pop_back();
            }
            field += ' ' + line.substr(line.find_first_not_of(" \t"));
            continue;
        }
        if (!field.empty()) {
            TakeReplyField(ParseLenientReplyLine(field));
        }
        field = line;
        if (IsHeaderEnd(line)) {
            break;
        }
    }
    if (!IsHeaderEnd(field)) {
        TakeReplyField(ParseLenientReplyLine(field));
    }
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
