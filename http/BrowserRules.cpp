// The browser rules: requests as today's browsers compose them, the proxy
// and tunnel of each pass, the lenient reading of the header and the
// credentials of a URL's user information.

#include "http/BrowserRules.h"

#include <QByteArray>

#include <algorithm>

#include "http/HttpErrors.h"
#include "http/ReplyHeader.h"
#include "http/RequestLines.h"
#include "http/UrlReference.h"
#include "http/UrlSplit.h"
#include "http/WebUrl.h"
#include "net/TcpSocket.h"
#include "platform/AsciiCase.h"

namespace vornakle {

namespace {

constexpr const char* kBrowserAccept =
    "text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,*/*;q=0.8";
constexpr const char* kBrowserAcceptLanguage = "en-US,en;q=0.9";
// The codings ContentDecoder undoes. Servers of pre-compressed files send
// them whether asked or not, and some send an error page only so.
constexpr const char* kBrowserAcceptEncoding = "gzip, deflate, br, zstd";
// Header lines a proxy may send before the tunnel opens.
constexpr int kMaxTunnelHeaderLines = 100;
constexpr std::int16_t kFirstInterim = 100;
constexpr std::int16_t kFirstFinal = 200;
constexpr std::int16_t kFirstError = 400;

// The origin of a pass, as one key.
std::string PassOrigin(const HttpPass& pass) {
    std::string origin = pass.Tls ? "https://" : "http://";
    origin += AsciiLowerCase(pass.Host);
    origin += ':';
    origin += std::to_string(pass.Port);
    return origin;
}

// Reads past the interim replies (1xx) before the final reply, whose status
// line StatusLine then holds; false when they went on beyond
// kMaxHeaderBytes. A client must read interim replies it did not ask for,
// such as 100 Continue, 102 Processing or 103 Early Hints with their Link
// lines; the final reply follows them (RFC 9110 section 15.2). Their lines
// together stay within kMaxHeaderBytes, so endless ones cannot hold the
// check.
bool SkipInterimReplies(TTcpSocket& socket, std::string& statusLine) {
    std::size_t interimBytes = 0;
    for (;;) {
        const std::int16_t reply = LenientStatusNumber(statusLine);
        if (reply < kFirstInterim || reply >= kFirstFinal) {
            return true;
        }
        interimBytes += statusLine.size();
        for (std::string line; interimBytes < kMaxReplyHeaderBytes;) {
            line = socket.ReadLn();
            interimBytes += line.size();
            if (IsHeaderEnd(line)) {
                break;
            }
        }
        if (interimBytes >= kMaxReplyHeaderBytes) {
            return false;
        }
        statusLine = socket.ReadLn();
    }
}

// Whether the extra header lines hold one named name (field names are
// case-insensitive, RFC 9110 section 5.1).
bool HasExtraHeader(const std::vector<std::string>& extraHeaders, std::string_view name) {
    const std::string wanted = AsciiLowerCase(name) + ':';
    return std::any_of(
        extraHeaders.begin(), extraHeaders.end(),
        [&wanted](const std::string& line) { return StartsWithAsciiLower(line, wanted); });
}

}  // namespace

HttpPass BrowserRules::SplitUrl(const std::string& url, const HttpPass& /*previous*/,
                                UrlSource source) const {
    // The transaction's first URL is the caller's; any later one came from
    // a server, and the message says so.
    const bool redirected = source == UrlSource::Redirection;
    const std::optional<WebUrl> parsed = ParseWebUrl(url);
    if (!parsed) {
        throw EConvertError(redirected ? "a redirection to an invalid address '" + url + "'"
                                       : "'" + url + "' is not a valid address");
    }
    if (!parsed->IsWebAddress()) {
        throw ENotWebAddress(redirected ? "a redirection to a non-web address '" + url + "'"
                                        : "'" + url + "' is not a web address");
    }
    if (parsed->Scheme == "https" && !settings_.AllowHttps) {
        throw ESchemeRefused("HTTP Secure Socket is not supported");
    }
    HttpPass pass;
    pass.Url = parsed->Href();
    // The URL Standard's host parser gave the host its ASCII form already.
    pass.Host = parsed->Host.value_or(std::string());
    pass.Port = parsed->PortOrDefault();
    pass.Path = parsed->RequestTarget();
    pass.Tls = parsed->Scheme == "https";
    pass.UserInfo =
        parsed->Password.empty() ? parsed->Username : parsed->Username + ':' + parsed->Password;
    return pass;
}

std::string BrowserRules::RedirectTarget(const HttpPass& pass, const std::string& location) const {
    // Read as a browser reads it against the URL the reply answered; what
    // does not resolve stays as it came, and the next pass refuses it.
    const std::optional<WebUrl> target = ResolveWebUrl(pass.Url, location);
    return target ? target->Href() : location;
}

bool BrowserRules::StartTransaction() {
    credentialsOrigin_.clear();
    credentials_.clear();
    // Cookies are kept until the client is told to forget them.
    return false;
}

void BrowserRules::PreparePass(HttpPass& pass) {
    const std::optional<ProxyAddress> proxy =
        ProxyFor(settings_.Proxies, pass.Tls, pass.Host, pass.Port);
    pass.Proxy = proxy ? proxy->Host : std::string();
    pass.ProxyPort = proxy ? proxy->Port : 0;
    TakeCredentials(pass);
}

void BrowserRules::TakeCredentials(HttpPass& pass) {
    const std::string origin = PassOrigin(pass);
    if (!pass.UserInfo.empty()) {
        // "user:password", each percent-encoded where it holds reserved
        // characters (RFC 3986 section 3.2.1); the password may be missing.
        const auto decoded = [](const std::string& text) {
            return QByteArray::fromPercentEncoding(QByteArray::fromStdString(text)).toStdString();
        };
        const std::size_t colon = pass.UserInfo.find(':');
        credentialsOrigin_ = origin;
        credentials_ = BasicCredentials(
            decoded(pass.UserInfo.substr(0, colon)),
            colon == std::string::npos ? std::string() : decoded(pass.UserInfo.substr(colon + 1)));
    }
    // Credentials belong to their origin: a redirection to another host,
    // port or scheme must not hand them on (RFC 9110 section 11.6.2 scopes
    // them to a protection space of one origin).
    pass.Authorization = credentialsOrigin_ == origin ? credentials_ : std::string();
}

const std::string& BrowserRules::UserAgent() const {
    static const std::string browsers(kBrowserUserAgent);
    return settings_.UserAgent.empty() ? browsers : settings_.UserAgent;
}

TExStringList BrowserRules::ComposeRequest(const HttpRequest& request, const HttpPass& pass,
                                           const std::string& cookies) const {
    TExStringList lines;
    const std::int32_t defaultPort = pass.Tls ? kHttpsPort : kHttpPort;
    std::string authority = pass.Host;
    if (pass.Port != defaultPort) {
        authority += ':';
        authority += std::to_string(pass.Port);
    }
    // A proxy asked in the clear needs the whole URL; through a tunnel the
    // server sees the path as without a proxy.
    std::string target;
    if (!pass.Proxy.empty() && !pass.Tls) {
        target = "http://";
        target += authority;
    }
    target += pass.Path;
    lines.Add(std::string(RequestWord(request.Method)) + ' ' + BrowserRequestTarget(target) +
              " HTTP/1.1");
    lines.Add("Host: " + authority);
    // A line of the user's own takes the place of one of ours.
    const std::vector<std::string>& extra = settings_.ExtraHeaders;
    const auto addOwn = [&extra, &lines](std::string_view name, const std::string& value) {
        if (!HasExtraHeader(extra, name)) {
            lines.Add(std::string(name) + ": " + value);
        }
    };
    addOwn("User-Agent", UserAgent());
    addOwn("Accept", kBrowserAccept);
    addOwn("Accept-Encoding", kBrowserAcceptEncoding);
    addOwn("Accept-Language", kBrowserAcceptLanguage);
    const std::string& cookie = cookies.empty() ? request.Info.Cookie : cookies;
    if (!cookie.empty()) {
        addOwn("Cookie", cookie);
    }
    if (!request.Info.Referer.empty()) {
        addOwn("Referer", request.Info.Referer);
    }
    if (!pass.Authorization.empty()) {
        addOwn("Authorization", "Basic " + pass.Authorization);
    }
    if (SendsBody(request.Method)) {
        lines.Add("Content-Type: application/x-www-form-urlencoded");
        lines.Add("Content-Length: " + std::to_string(request.Body.size()));
    }
    for (const std::string& line : extra) {
        lines.Add(line);
    }
    // HTTP/1.1 connections stay open unless a side says otherwise.
    if (settings_.Reuse == ConnectionReuse::CloseEach) {
        lines.Add("Connection: close");
    }
    return lines;
}

BrowserRules::ConnectionKey BrowserRules::KeyOf(const HttpPass& pass) {
    return {PassOrigin(pass), AsciiLowerCase(pass.Proxy), pass.ProxyPort};
}

ConnectionStart BrowserRules::OpenConnection(TTcpSocket& socket, const HttpPass& pass) {
    const bool fresh = std::chrono::steady_clock::now() - idleSince_ <
                       std::chrono::milliseconds(kMaxIdleMilliseconds);
    if (socket.Connected && kept_ == KeyOf(pass) && fresh && socket.StillOpen()) {
        kept_.reset();
        return ConnectionStart::Reused;
    }
    kept_.reset();
    if (socket.Connected) {
        socket.Disconnect();
    }
    ClientRules::OpenConnection(socket, pass);
    if (pass.Tls && !pass.Proxy.empty()) {
        OpenTunnel(socket, pass);
    }
    return ConnectionStart::Fresh;
}

void BrowserRules::ReleaseConnection(TTcpSocket& socket, const HttpPass& pass, bool reusable) {
    if (settings_.Reuse == ConnectionReuse::Keep && reusable && socket.Connected) {
        kept_ = KeyOf(pass);
        keptOrigin_ = {pass.Host, pass.Port};
        idleSince_ = std::chrono::steady_clock::now();
        return;
    }
    ClientRules::ReleaseConnection(socket, pass, reusable);
}

std::optional<ConnectionOrigin> BrowserRules::KeptOrigin() const {
    return kept_ ? std::optional(keptOrigin_) : std::nullopt;
}

void BrowserRules::OpenTunnel(TTcpSocket& socket, const HttpPass& pass) const {
    std::string authority = pass.Host;
    authority += ':';
    authority += std::to_string(pass.Port);
    ThrowIfLineBreak(authority);
    SendBytes(socket, "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority +
                          "\r\nUser-Agent: " + UserAgent() + "\r\n\r\n");
    const std::string statusLine = socket.ReadLn();
    const std::int16_t reply = LenientStatusNumber(statusLine);
    for (int line = 0; line < kMaxTunnelHeaderLines && !statusLine.empty(); ++line) {
        if (IsHeaderEnd(socket.ReadLn())) {
            break;
        }
    }
    if (reply < 200 || reply > 299) {
        throw EProxyError("The proxy " + pass.Proxy + ':' + std::to_string(pass.ProxyPort) +
                          " opened no tunnel to " + authority + " (" +
                          (reply == 0 ? std::string("no reply") : std::to_string(reply)) + ")");
    }
    socket.StartTls(pass.Host);
}

ReplyHead BrowserRules::ReadReplyHeader(TTcpSocket& socket, std::string statusLine,
                                        HttpMethod method) const {
    ReplyHead head;
    const bool finalReply = SkipInterimReplies(socket, statusLine);
    if (statusLine.empty()) {
        // Closed before a status line: there is nothing more to read.
        return head;
    }
    if (!finalReply) {
        // Interim replies without end: no final reply, no reply number.
        head.TakeLine(statusLine);
        return head;
    }
    head.Number = LenientStatusNumber(statusLine);
    head.TakeLine(statusLine);
    ReadHeaderLines(socket, head);
    const std::string& codings = head.TransferEncoding;
    // A length frames the body only where no rule before it does (no body
    // at all, a Transfer-Encoding); there, lengths that differ or are no
    // number leave its end unknown, and a browser shows an error (RFC 9112
    // section 6.3).
    if (head.LengthInvalid && codings.empty() && ReplyHasBody(method, head.Number)) {
        throw EMalformedReply("the reply's Content-Length names no single length");
    }
    // The body's end must be known for the connection to carry another
    // reply: by its length or its chunked coding, never both (RFC 9112
    // section 6.3 makes such a reply one to close after). An error reply
    // closes too: a server that failed may send what no request asked for,
    // and a reply that arrives after the next request went out would pass
    // for that request's answer.
    head.KeepsOpen = settings_.Reuse == ConnectionReuse::Keep && head.Number > 0 &&
                     head.Number < kFirstError && !head.LengthInvalid &&
                     ReplyKeepsConnection(statusLine, head.Connection) &&
                     (codings.empty() || (EndsChunked(codings) && head.ContentLength < 0));
    return head;
}

void BrowserRules::ReadHeaderLines(TTcpSocket& socket, ReplyHead& head) {
    // A header line may go on over lines that start with a blank; a field
    // is read once its last line is in.
    std::string field;
    std::size_t headerBytes = 0;
    while (headerBytes < kMaxReplyHeaderBytes) {
        const std::string line = socket.ReadLn();
        headerBytes += line.size();
        head.TakeLine(line);
        if (IsFoldedLine(line) && !field.empty()) {
            while (!field.empty() && (field.back() == '\n' || field.back() == '\r')) {
                field.pop_back();
            }
            field += ' ' + line.substr(line.find_first_not_of(" \t"));
            continue;
        }
        if (!field.empty()) {
            head.TakeField(ParseLenientReplyLine(field));
        }
        field = line;
        if (IsHeaderEnd(line)) {
            break;
        }
    }
    if (!IsHeaderEnd(field)) {
        head.TakeField(ParseLenientReplyLine(field));
    }
}

bool BrowserRules::FollowsRedirect(std::int16_t reply) const {
    return reply == 300 || reply == 301 || reply == 302 || reply == 303 || reply == 307 ||
           reply == 308;
}

std::optional<RedirectOutcome> BrowserRules::EndOfRedirection(
    const ReplyHead& reply, const Redirection& redirection) const {
    if (!FollowsRedirect(reply.Number)) {
        return RedirectOutcome::None;
    }
    const std::vector<std::string>& asked = *redirection.AskedKeys;
    if (reply.Location.empty()) {
        // A 300 without a Location is a page of choices a person picks
        // from, which a browser shows: an answer, not a broken redirection.
        return reply.Number == 300 ? RedirectOutcome::None : RedirectOutcome::NoLocation;
    }
    if (std::find(asked.begin(), asked.end(), redirection.NextKey) != asked.end()) {
        return RedirectOutcome::Loop;
    }
    if (redirection.Pass < MaxRedirects()) {
        return std::nullopt;
    }
    return RedirectOutcome::TooMany;
}

}  // namespace vornakle
