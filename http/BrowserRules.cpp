// The browser rules: requests as today's browsers compose them, the proxy
// and tunnel of each pass, the lenient reading of the header and the
// credentials of a URL's user information.

#include "http/BrowserRules.h"

#include <QByteArray>

#include <algorithm>

#include "http/HttpClient.h"
#include "http/ReplyHeader.h"
#include "http/RequestLines.h"
#include "http/UrlReference.h"
#include "http/UrlSplit.h"
#include "http/WebUrl.h"
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

const std::string& UserAgentOf(const THttpClient& client) {
    static const std::string browsers(kBrowserUserAgent);
    return client.UserAgent.empty() ? browsers : client.UserAgent;
}

// The origin of the pass the client prepares, as one key.
std::string PassOrigin(const THttpClient& client) {
    return (client.UseTls ? "https://" : "http://") + AsciiLowerCase(client.Host) + ':' +
           std::to_string(client.Port);
}

// Reads past the interim replies (1xx) before the final reply, whose status
// line StatusLine then holds; false when they went on beyond
// kMaxHeaderBytes. A client must read interim replies it did not ask for,
// such as 100 Continue, 102 Processing or 103 Early Hints with their Link
// lines; the final reply follows them (RFC 9110 section 15.2). Their lines
// together stay within kMaxHeaderBytes, so endless ones cannot hold the
// check.
bool SkipInterimReplies(THttpClient& client, std::string& statusLine) {
    std::size_t interimBytes = 0;
    for (;;) {
        const std::int16_t reply = LenientStatusNumber(statusLine);
        if (reply < kFirstInterim || reply >= kFirstFinal) {
            return true;
        }
        interimBytes += statusLine.size();
        for (std::string line; interimBytes < THttpClient::kMaxHeaderBytes;) {
            line = client.ReadLn();
            interimBytes += line.size();
            if (IsHeaderEnd(line)) {
                break;
            }
        }
        if (interimBytes >= THttpClient::kMaxHeaderBytes) {
            return false;
        }
        statusLine = client.ReadLn();
    }
}

// Whether the client's extra header lines hold one named name (field names
// are case-insensitive, RFC 9110 section 5.1).
bool HasExtraHeader(const THttpClient& client, std::string_view name) {
    const std::string wanted = AsciiLowerCase(name) + ':';
    return std::any_of(
        client.ExtraHeaders.begin(), client.ExtraHeaders.end(),
        [&wanted](const std::string& line) { return StartsWithAsciiLower(line, wanted); });
}

}  // namespace

int BrowserRules::MaxRedirects() const {
    return THttpClient::kMaxBrowserRedirects;
}

void BrowserRules::SplitUrl(const THttpClient& client, std::string& url, std::string& host,
                            std::int32_t& port, std::string& path, std::string* userInfo) const {
    // The transaction's first URL is the caller's; any later one came from
    // a server, and the message says so.
    const bool redirected = !client.Hops.empty();
    const std::optional<WebUrl> parsed = ParseWebUrl(url);
    if (!parsed) {
        throw EConvertError(redirected ? "a redirection to an invalid address '" + url + "'"
                                       : "'" + url + "' is not a valid address");
    }
    if (!parsed->IsWebAddress()) {
        throw ENotWebAddress(redirected ? "a redirection to a non-web address '" + url + "'"
                                        : "'" + url + "' is not a web address");
    }
    if (parsed->Scheme == "https" && !client.AllowHttps) {
        throw ESchemeRefused("HTTP Secure Socket is not supported");
    }
    url = parsed->Href();
    host = parsed->Host.value_or(std::string());
    port = parsed->PortOrDefault();
    path = parsed->RequestTarget();
    if (userInfo != nullptr) {
        *userInfo =
            parsed->Password.empty() ? parsed->Username : parsed->Username + ':' + parsed->Password;
    }
}

std::string BrowserRules::RedirectTarget(const THttpClient& client) const {
    // Read as a browser reads it against the URL the reply answered; what
    // does not resolve stays as it came, and the next pass refuses it.
    const std::optional<WebUrl> target = ResolveWebUrl(client.CurrentURL, client.ReplyLocation);
    return target ? target->Href() : client.ReplyLocation;
}

std::string BrowserRules::RequestHost(const std::string& host) const {
    // The URL Standard's host parser gave the host its ASCII form already.
    return host;
}

void BrowserRules::StartTransaction(THttpClient& /*client*/) {
    credentialsOrigin_.clear();
    credentials_.clear();
}

void BrowserRules::PreparePass(THttpClient& client, const std::string& userInfo) {
    client.Host = RequestHost(client.Host);
    const std::optional<ProxyAddress> proxy =
        ProxyFor(client.Proxies, client.UseTls, client.Host, client.Port);
    client.Proxy = proxy ? proxy->Host : std::string();
    client.ProxyPort = proxy ? proxy->Port : 0;
    TakeCredentials(client, userInfo);
}

void BrowserRules::TakeCredentials(const THttpClient& client, const std::string& userInfo) {
    const std::string origin = PassOrigin(client);
    if (!userInfo.empty()) {
        // "user:password", each percent-encoded where it holds reserved
        // characters (RFC 3986 section 3.2.1); the password may be missing.
        const auto decoded = [](const std::string& text) {
            return QByteArray::fromPercentEncoding(QByteArray::fromStdString(text)).toStdString();
        };
        const std::size_t colon = userInfo.find(':');
        credentialsOrigin_ = origin;
        credentials_ = BasicCredentials(
            decoded(userInfo.substr(0, colon)),
            colon == std::string::npos ? std::string() : decoded(userInfo.substr(colon + 1)));
    }
    // Credentials belong to their origin: a redirection to another host,
    // port or scheme must not hand them on (RFC 9110 section 11.6.2 scopes
    // them to a protection space of one origin).
    passAuthorization_ = credentialsOrigin_ == origin ? credentials_ : std::string();
}

void BrowserRules::ComposeRequest(THttpClient& client) const {
    const std::string_view word = RequestWord(client.RequestKind);
    if (word.empty()) {
        return;
    }
    TExStringList& lines = client.RequestHeader;
    const std::string& host = client.Host;
    const std::int32_t defaultPort = client.UseTls ? kHttpsPort : kHttpPort;
    const std::string authority =
        client.Port == defaultPort ? host : host + ':' + std::to_string(client.Port);
    // A proxy asked in the clear needs the whole URL; through a tunnel the
    // server sees the path as without a proxy.
    const std::string target = client.Proxy.empty() || client.UseTls
                                   ? client.RequestPath
                                   : "http://" + authority + client.RequestPath;
    lines.Add(std::string(word) + ' ' + BrowserRequestTarget(target) + " HTTP/1.1");
    lines.Add("Host: " + authority);
    // A line of the user's own takes the place of one of ours.
    const auto addOwn = [&client, &lines](std::string_view name, const std::string& value) {
        if (!HasExtraHeader(client, name)) {
            lines.Add(std::string(name) + ": " + value);
        }
    };
    addOwn("User-Agent", UserAgentOf(client));
    addOwn("Accept", kBrowserAccept);
    // A body that goes to a file is kept as it comes, so none is asked for.
    if (!client.InputFileMode) {
        addOwn("Accept-Encoding", kBrowserAcceptEncoding);
    }
    addOwn("Accept-Language", kBrowserAcceptLanguage);
    const std::string cookies = client.CookiesFor(host);
    const std::string& cookie = cookies.empty() ? client.HeaderInfo.Cookie : cookies;
    if (!cookie.empty()) {
        addOwn("Cookie", cookie);
    }
    if (!client.HeaderInfo.Referer.empty()) {
        addOwn("Referer", client.HeaderInfo.Referer);
    }
    if (!passAuthorization_.empty()) {
        addOwn("Authorization", "Basic " + passAuthorization_);
    }
    if (SendsBody(client.RequestKind) && !client.OutputFileMode) {
        lines.Add("Content-Type: application/x-www-form-urlencoded");
        lines.Add("Content-Length: " + std::to_string(client.SendData.size()));
    }
    for (const std::string& line : client.ExtraHeaders) {
        lines.Add(line);
    }
    // HTTP/1.1 connections stay open unless a side says otherwise.
    if (reuse_ == ConnectionReuse::CloseEach) {
        lines.Add("Connection: close");
    }
}

BrowserRules::ConnectionKey BrowserRules::KeyOf(const THttpClient& client) {
    return {PassOrigin(client), AsciiLowerCase(client.Proxy), client.ProxyPort,
            TlsSettings{client.TlsCaFile, client.TlsInsecure, client.TlsResumption}};
}

ConnectionStart BrowserRules::OpenConnection(THttpClient& client) {
    const bool fresh = std::chrono::steady_clock::now() - idleSince_ <
                       std::chrono::milliseconds(THttpClient::kMaxIdleMilliseconds);
    if (client.Connected && kept_ == KeyOf(client) && fresh && client.StillOpen()) {
        kept_.reset();
        // A cancel that came between two requests ends nothing, as a new
        // connection's Connect would forget it too.
        client.Canceled = false;
        return ConnectionStart::Reused;
    }
    kept_.reset();
    if (client.Connected) {
        client.Disconnect();
    }
    ClientRules::OpenConnection(client);
    if (client.UseTls && !client.Proxy.empty()) {
        OpenTunnel(client);
    }
    return ConnectionStart::Fresh;
}

void BrowserRules::ReleaseConnection(THttpClient& client) {
    if (reuse_ == ConnectionReuse::Keep && client.ConnectionReusable && client.Connected) {
        kept_ = KeyOf(client);
        keptOrigin_ = {client.Host, client.Port};
        idleSince_ = std::chrono::steady_clock::now();
        return;
    }
    ClientRules::ReleaseConnection(client);
}

std::optional<ConnectionOrigin> BrowserRules::KeptOrigin() const {
    return kept_ ? std::optional(keptOrigin_) : std::nullopt;
}

void BrowserRules::OpenTunnel(THttpClient& client) const {
    const std::string authority = client.Host + ':' + std::to_string(client.Port);
    ThrowIfLineBreak(authority);
    client.SendBytes("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority +
                     "\r\nUser-Agent: " + UserAgentOf(client) + "\r\n\r\n");
    const std::string statusLine = client.ReadLn();
    const std::int16_t reply = LenientStatusNumber(statusLine);
    for (int line = 0; line < kMaxTunnelHeaderLines && !statusLine.empty(); ++line) {
        if (IsHeaderEnd(client.ReadLn())) {
            break;
        }
    }
    if (reply < 200 || reply > 299) {
        throw EProxyError("The proxy " + client.Proxy + ':' + std::to_string(client.ProxyPort) +
                          " opened no tunnel to " + authority + " (" +
                          (reply == 0 ? std::string("no reply") : std::to_string(reply)) + ")");
    }
    client.StartTls(client.Host);
}

void BrowserRules::ReadReplyHeader(THttpClient& client, std::string statusLine) {
    const bool finalReply = SkipInterimReplies(client, statusLine);
    if (statusLine.empty()) {
        // Closed before a status line: there is nothing more to read.
        return;
    }
    if (!finalReply) {
        // Interim replies without end: no final reply, no reply number.
        client.TakeHeaderLine(statusLine);
        return;
    }
    client.ReplyNumber = LenientStatusNumber(statusLine);
    client.TakeHeaderLine(statusLine);
    ReadHeaderLines(client);
    const std::string& codings = client.ReplyTransferEncoding;
    // A length frames the body only where no rule before it does (no body
    // at all, a Transfer-Encoding); there, lengths that differ or are no
    // number leave its end unknown, and a browser shows an error (RFC 9112
    // section 6.3).
    if (client.ReplyLengthInvalid && codings.empty() && client.ReplyHasBody()) {
        throw EMalformedReply("the reply's Content-Length names no single length");
    }
    // The body's end must be known for the connection to carry another
    // reply: by its length or its chunked coding, never both (RFC 9112
    // section 6.3 makes such a reply one to close after). An error reply
    // closes too: a server that failed may send what no request asked for,
    // and a reply that arrives after the next request went out would pass
    // for that request's answer.
    client.ReplyKeepsOpen =
        reuse_ == ConnectionReuse::Keep && client.ReplyNumber > 0 &&
        client.ReplyNumber < kFirstError && !client.ReplyLengthInvalid &&
        ReplyKeepsConnection(statusLine, client.ReplyConnection) &&
        (codings.empty() || (EndsChunked(codings) && client.ReplyContentLength < 0));
}

void BrowserRules::ReadHeaderLines(THttpClient& client) const {
    // A header line may go on over lines that start with a blank; a field
    // is read once its last line is in.
    std::string field;
    std::size_t headerBytes = 0;
    while (headerBytes < THttpClient::kMaxHeaderBytes) {
        const std::string line = client.ReadLn();
        headerBytes += line.size();
        client.TakeHeaderLine(line);
        if (IsFoldedLine(line) && !field.empty()) {
            while (!field.empty() && (field.back() == '\n' || field.back() == '\r')) {
                field.pop_back();
            }
            field += ' ' + line.substr(line.find_first_not_of(" \t"));
            continue;
        }
        if (!field.empty()) {
            client.TakeReplyField(ParseLenientReplyLine(field));
        }
        field = line;
        if (IsHeaderEnd(line)) {
            break;
        }
    }
    if (!IsHeaderEnd(field)) {
        client.TakeReplyField(ParseLenientReplyLine(field));
    }
}

bool BrowserRules::FollowsRedirect(std::int16_t reply) const {
    return reply == 300 || reply == 301 || reply == 302 || reply == 303 || reply == 307 ||
           reply == 308;
}

bool BrowserRules::FollowRedirection(THttpClient& client, const Redirection& redirection) const {
    if (!FollowsRedirect(client.ReplyNumber)) {
        return false;
    }
    const std::string nextKey = client.TargetKey(redirection.Port);
    const std::vector<std::string>& asked = *redirection.AskedKeys;
    if (client.ReplyLocation.empty()) {
        // A 300 without a Location is a page of choices a person picks
        // from, which a browser shows: an answer, not a broken redirection.
        if (client.ReplyNumber != 300) {
            client.RedirectEnd = THttpClient::RedirectOutcome::NoLocation;
        }
    } else if (std::find(asked.begin(), asked.end(), nextKey) != asked.end()) {
        client.RedirectEnd = THttpClient::RedirectOutcome::Loop;
    } else if (redirection.Pass < MaxRedirects()) {
        return true;
    } else {
        client.RedirectEnd = THttpClient::RedirectOutcome::TooMany;
    }
    return false;
}

}  // namespace vornakle
