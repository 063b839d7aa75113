#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "http/ClientRules.h"

namespace vornakle {

// Requests and replies as today's browsers make and read them: HTTP/1.1,
// its connection kept open for the next request to the same place or, as
// the client is made, asked with "Connection: close"; "Host" with a port
// that is not the scheme's, the
// settings' UserAgent, browser "Accept" lines, host names in their IDNA form,
// the target encoded as a browser encodes it, the content codings a
// browser accepts asked for; 300 with a Location, 301, 302, 303, 307 and
// 308 followed for up to kMaxRedirects passes, a loop being a target asked
// before with the same cookies; the cookies of every reply kept until
// ClearCookies; replies read leniently (LenientStatusNumber,
// ParseLenientReplyLine, folded lines), interim replies (1xx) skipped; the
// proxy of each pass chosen by the settings' Proxies, https through it by a
// CONNECT tunnel; user information in a URL ("user:password@host", RFC 3986
// section 3.2.1) split off the host and sent as Basic authorization to that
// URL's origin only, never to another origin a redirection leads to; every
// URL, a redirection's target included, read by the URL Standard (WebUrl),
// and only http and https asked.
class BrowserRules : public ClientRules {
public:
    // Passes of one transaction beyond the first: the bound browsers keep.
    static constexpr int kMaxRedirects = 20;
    // A connection kept open is not used again after this long idle:
    // servers close idle connections after a few seconds (Apache's default
    // is 5), and a request sent as the close is under way would be lost.
    static constexpr int kMaxIdleMilliseconds = 4000;

    using ClientRules::ClientRules;

    int MaxRedirects() const override { return kMaxRedirects; }
    HttpPass SplitUrl(const std::string& url, const HttpPass& previous,
                      UrlSource source) const override;
    std::string RedirectTarget(const HttpPass& pass, const std::string& location) const override;
    bool StartTransaction() override;
    void PreparePass(HttpPass& pass) override;
    TExStringList ComposeRequest(const HttpRequest& request, const HttpPass& pass,
                                 const std::string& cookies) const override;
    ConnectionStart OpenConnection(TTcpSocket& socket, const HttpPass& pass) override;
    void ReleaseConnection(TTcpSocket& socket, const HttpPass& pass, bool reusable) override;
    std::optional<ConnectionOrigin> KeptOrigin() const override;
    ReplyHead ReadReplyHeader(TTcpSocket& socket, std::string statusLine,
                              HttpMethod method) const override;
    bool FollowsRedirect(std::int16_t reply) const override;
    bool KeepsCookies(std::int16_t /*reply*/) const override { return true; }
    bool CookiesTellPassesApart() const override { return true; }
    std::optional<RedirectOutcome> EndOfRedirection(const ReplyHead& reply,
                                                    const Redirection& redirection) const override;

private:
    // What a connection is fit for: the scheme, host and port of the pass
    // and its proxy (the TLS settings are the client's, the same for all).
    struct ConnectionKey {
        std::string Origin;
        std::string Proxy;
        std::int32_t ProxyPort = 0;

        bool operator==(const ConnectionKey&) const = default;
    };
    static ConnectionKey KeyOf(const HttpPass& pass);
    void TakeCredentials(HttpPass& pass);
    void OpenTunnel(TTcpSocket& socket, const HttpPass& pass) const;
    static void ReadHeaderLines(TTcpSocket& socket, ReplyHead& head);
    const std::string& UserAgent() const;

    // The credentials of a URL's user information, for the passes of one
    // transaction to the same origin (scheme, host, port).
    std::string credentialsOrigin_;
    std::string credentials_;

    // The connection the last pass left open: what it is fit for (none:
    // no connection is kept), where it leads and since when it is idle.
    std::optional<ConnectionKey> kept_;
    ConnectionOrigin keptOrigin_;
    std::chrono::steady_clock::time_point idleSince_;
};

}  // namespace vornakle
