// The classic rules: HTTP/1.0 as the component has always asked and read.

#include "http/ClassicRules.h"

#include <algorithm>

#include "http/RequestLines.h"
#include "http/UrlReference.h"
#include "http/UrlSplit.h"
#include "net/TcpSocket.h"

namespace vornakle {

namespace {

constexpr const char* kHttpVersion = " HTTP/1.0";
constexpr const char* kFirstAccept =
    "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff";
constexpr const char* kSecondAccept =
    "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript";
constexpr const char* kContentType = "Content-type: application/x-www-form-urlencoded";
// The last reply number that goes on at its Location.
constexpr std::int16_t kLastFollowedRedirect = 302;

}  // namespace

HttpPass ClassicRules::SplitUrl(const std::string& url, const HttpPass& previous,
                                UrlSource /*source*/) const {
    HttpPass pass;
    pass.Url = url;
    pass.Host = previous.Host;
    pass.Port = previous.Port;
    ParseRequestURL(pass.Url, pass.Host, pass.Port, pass.Path,
                    settings_.AllowHttps ? SecureScheme::Allowed : SecureScheme::Refused,
                    AuthorityRule::Classic);
    // A URL without a scheme (a redirection to a path) goes as the pass
    // before it did.
    const std::string scheme = UrlScheme(pass.Url);
    pass.Tls = scheme.empty() ? previous.Tls : scheme == "https";
    return pass;
}

std::string ClassicRules::RedirectTarget(const HttpPass& pass, const std::string& location) const {
    // A Location with a scheme is taken as it is; a relative one means a
    // place relative to the URL this reply answered (RFC 3986 section 5.2):
    // this pass's scheme, host and port.
    if (HasScheme(location)) {
        return location;
    }
    std::string base = pass.Tls ? "https://" : "http://";
    base += pass.Host;
    if (pass.Port != (pass.Tls ? kHttpsPort : kHttpPort)) {
        base += ':';
        base += std::to_string(pass.Port);
    }
    base += pass.Path;
    return ResolveReference(base, location);
}

void ClassicRules::PreparePass(HttpPass& pass) {
    pass.Proxy = settings_.Proxy;
    pass.ProxyPort = settings_.ProxyPort;
    if (pass.Tls && !pass.Proxy.empty()) {
        // A proxy's tunnel (CONNECT) is not made under these rules; sending
        // the request to the proxy in the clear would defeat the scheme.
        throw ESchemeRefused("HTTP Secure Socket is not supported through a proxy");
    }
}

TExStringList ClassicRules::ComposeRequest(const HttpRequest& request, const HttpPass& pass,
                                           const std::string& cookies) const {
    TExStringList lines;
    const std::string& host = pass.Host;
    const std::string target =
        EncodedRequestTarget(pass.Proxy.empty() ? pass.Path : WithoutFragment(pass.Url));
    lines.Add(std::string(RequestWord(request.Method)) + ' ' + target + kHttpVersion);
    if (!pass.Proxy.empty()) {
        lines.Add("Proxy-Connection: Keep-Alive");
        lines.Add("Host: " + host);
    }
    lines.SetFieldValue("Host", host);
    lines.Add(kFirstAccept);
    lines.Add(kSecondAccept);
    const THeaderInfo& info = request.Info;
    if (!info.LocalMailAddress.empty()) {
        lines.SetFieldValue("User-Agent", info.LocalMailAddress);
    }
    if (!info.LocalProgram.empty()) {
        lines.SetFieldValue("From", info.LocalProgram);
    }
    // Cookies a redirection of this transaction set for this host take the
    // place of the caller's own.
    const std::string& cookie = cookies.empty() ? info.Cookie : cookies;
    if (!cookie.empty()) {
        lines.SetFieldValue("Cookie", cookie);
    }
    if (!info.Referer.empty()) {
        lines.SetFieldValue("Referer", info.Referer);
    }
    if (!info.UserId.empty() && !info.Password.empty()) {
        lines.SetFieldValue("Authorization",
                            "Basic " + BasicCredentials(info.UserId, info.Password));
    }
    lines.Add(kContentType);
    if (SendsBody(request.Method)) {
        lines.Add("Content-Length: " + std::to_string(request.Body.size()));
    }
    return lines;
}

ReplyHead ClassicRules::ReadReplyHeader(TTcpSocket& socket, std::string statusLine,
                                        HttpMethod /*method*/) const {
    ReplyHead head;
    if (statusLine.empty()) {
        // Closed before a status line: there is nothing more to read.
        return head;
    }
    head.Number = StatusNumber(statusLine);
    head.TakeLine(statusLine);
    while (!head.Full()) {
        const std::string line = socket.ReadLn();
        head.TakeField(ParseReplyLine(line));
        head.TakeLine(line);
        if (IsHeaderEnd(line)) {
            break;
        }
    }
    return head;
}

bool ClassicRules::FollowsRedirect(std::int16_t reply) const {
    return reply <= kLastFollowedRedirect;
}

bool ClassicRules::KeepsCookies(std::int16_t reply) const {
    return reply >= 300 && reply <= 399;
}

std::optional<RedirectOutcome> ClassicRules::EndOfRedirection(
    const ReplyHead& reply, const Redirection& redirection) const {
    const bool followed = reply.Number <= kLastFollowedRedirect;
    if (followed && reply.Location.empty()) {
        return RedirectOutcome::NoLocation;
    }
    if (redirection.NextURL == redirection.URL) {
        return followed ? RedirectOutcome::Loop : RedirectOutcome::None;
    }
    // A redirection to where this pass went would only repeat the same
    // reply; the bound ends cycles of several URLs.
    if (redirection.NextKey == redirection.Key) {
        return RedirectOutcome::Loop;
    }
    if (redirection.Pass < MaxRedirects()) {
        return std::nullopt;
    }
    const std::vector<std::string>& asked = *redirection.AskedKeys;
    return std::find(asked.begin(), asked.end(), redirection.NextKey) != asked.end()
               ? RedirectOutcome::Loop
               : RedirectOutcome::TooMany;
}

}  // namespace vornakle
