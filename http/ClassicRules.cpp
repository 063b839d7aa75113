// The classic rules: HTTP/1.0 as the component has always asked and read.

#include "http/ClassicRules.h"

#include <cstdio>

#include "http/HttpClient.h"
#include "http/RequestLines.h"
#include "http/UrlReference.h"
#include "net/TransferSupport.h"

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

std::int64_t FileSize(const std::string& fileName) {
    FileHandle file(std::fopen(fileName.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        throw FileFailure(FileStep::Open, fileName);
    }
    const long size = std::ftell(file.get());
    if (size < 0) {
        throw FileFailure(FileStep::Open, fileName);
    }
    return size;
}

}  // namespace

int ClassicRules::MaxRedirects() const {
    return THttpClient::kMaxRedirects;
}

void ClassicRules::SplitUrl(const THttpClient& client, std::string& url, std::string& host,
                            std::int32_t& port, std::string& path, std::string* userInfo) const {
    ParseRequestURL(url, host, port, path,
                    client.AllowHttps ? SecureScheme::Allowed : SecureScheme::Refused,
                    AuthorityRule::Classic, userInfo);
}

std::string ClassicRules::RedirectTarget(const THttpClient& client) const {
    // A Location with a scheme is taken as it is; a relative one means a
    // place relative to the URL this reply answered (RFC 3986 section 5.2):
    // this pass's scheme, host and port.
    const std::string& location = client.ReplyLocation;
    if (HasScheme(location)) {
        return location;
    }
    std::string base = (client.UseTls ? "https://" : "http://") + client.Host;
    if (client.Port != (client.UseTls ? kHttpsPort : kHttpPort)) {
        base += ':' + std::to_string(client.Port);
    }
    return ResolveReference(base + client.RequestPath, location);
}

void ClassicRules::StartTransaction(THttpClient& client) {
    // The cookies of one transaction's redirections are for its own later
    // passes only.
    client.TransactionCookies.clear();
}

void ClassicRules::PreparePass(THttpClient& client, const std::string& /*userInfo*/) {
    if (client.UseTls && !client.Proxy.empty()) {
        // A proxy's tunnel (CONNECT) is not made under these rules; sending
        // the request to the proxy in the clear would defeat the scheme.
        throw ESchemeRefused("HTTP Secure Socket is not supported through a proxy");
    }
}

void ClassicRules::ComposeRequest(THttpClient& client) const {
    TExStringList& lines = client.RequestHeader;
    const CmdType kind = client.RequestKind;
    const std::string& host = client.Host;
    if (const std::string_view word = RequestWord(kind); !word.empty()) {
        const std::string target = EncodedRequestTarget(
            client.Proxy.empty() ? client.RequestPath : WithoutFragment(client.CurrentURL));
        lines.Add(std::string(word) + ' ' + target + kHttpVersion);
    }
    if (!client.Proxy.empty()) {
        lines.Add("Proxy-Connection: Keep-Alive");
        lines.Add("Host: " + host);
    }
    lines.SetFieldValue("Host", host);
    lines.Add(kFirstAccept);
    lines.Add(kSecondAccept);
    const THeaderInfo& info = client.HeaderInfo;
    if (!info.LocalMailAddress.empty()) {
        lines.SetFieldValue("User-Agent", info.LocalMailAddress);
    }
    if (!info.LocalProgram.empty()) {
        lines.SetFieldValue("From", info.LocalProgram);
    }
    // Cookies a redirection of this transaction set for this host take the
    // place of the caller's own.
    const std::string redirectionCookies = client.CookiesFor(host);
    const std::string& cookie = redirectionCookies.empty() ? info.Cookie : redirectionCookies;
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
    if (kind == cmdCopy || kind == cmdMove) {
        lines.Add("URI-header: " + client.HeaderArgument);
    } else if (kind == cmdLink || kind == cmdUnlink) {
        lines.Add("Link: " + client.HeaderArgument);
    }
    if (SendsBody(kind)) {
        const std::int64_t length = client.OutputFileMode
                                        ? FileSize(client.SendData)
                                        : static_cast<std::int64_t>(client.SendData.size());
        lines.Add("Content-Length: " + std::to_string(length));
    }
}

void ClassicRules::ReadReplyHeader(THttpClient& client, std::string statusLine) {
    if (statusLine.empty()) {
        // Closed before a status line: there is nothing more to read.
        return;
    }
    client.ReplyNumber = StatusNumber(statusLine);
    client.TakeHeaderLine(statusLine);
    while (client.HeaderBytes < THttpClient::kMaxHeaderBytes) {
        const std::string line = client.ReadLn();
        client.TakeReplyField(ParseReplyLine(line));
        client.TakeHeaderLine(line);
        if (IsHeaderEnd(line)) {
            break;
        }
    }
}

bool ClassicRules::FollowsRedirect(std::int16_t reply) const {
    return reply <= kLastFollowedRedirect;
}

bool ClassicRules::KeepsCookies(std::int16_t reply) const {
    return reply >= 300 && reply <= 399;
}

bool ClassicRules::FollowRedirection(THttpClient& client, const Redirection& redirection) const {
    const std::int16_t reply = client.ReplyNumber;
    if (reply <= kLastFollowedRedirect && client.ReplyLocation.empty()) {
        client.RedirectEnd = THttpClient::RedirectOutcome::NoLocation;
        return false;
    }
    if (client.CurrentURL == redirection.URL) {
        if (reply <= kLastFollowedRedirect) {
            client.RedirectEnd = THttpClient::RedirectOutcome::Loop;
        }
        return false;
    }
    // A redirection to where this pass went would only repeat the same
    // reply; the bound ends cycles of several URLs.
    const std::string nextKey = client.TargetKey(redirection.Port);
    if (nextKey == redirection.Key) {
        client.RedirectEnd = THttpClient::RedirectOutcome::Loop;
        return false;
    }
    if (redirection.Pass < MaxRedirects()) {
        return true;
    }
    const std::vector<std::string>& asked = *redirection.AskedKeys;
    client.RedirectEnd = std::find(asked.begin(), asked.end(), nextKey) != asked.end()
                             ? THttpClient::RedirectOutcome::Loop
                             : THttpClient::RedirectOutcome::TooMany;
    return false;
}

}  // namespace vornakle
