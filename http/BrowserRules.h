#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "http/ClientRules.h"
#include "net/TlsContext.h"

namespace vornakle {

// Requests and replies as today's browsers make and read them: HTTP/1.1,
// its connection kept open for the next request to the same place or, as
// the client is made, asked with "Connection: close"; "Host" with a port
// that is not the scheme's, the
// client's UserAgent, browser "Accept" lines, host names in their IDNA form,
// the target encoded as a browser encodes it, the content codings a
// browser accepts asked for; 300 with a Location, 301, 302, 303, 307 and
// 308 followed for up to THttpClient::kMaxBrowserRedirects passes, a loop being a target asked
// before with the same cookies; the cookies of every reply kept until
// ClearCookies; replies read leniently (LenientStatusNumber,
// ParseLenientReplyLine, folded lines), interim replies (1xx) skipped; the
// proxy of each pass chosen by the client's Proxies, https through it by a
// CONNECT tunnel; user information in a URL ("user:password@host", RFC 3986
// section 3.2.1) split off the host and sent as Basic authorization to that
// URL's origin only, never to another origin a redirection leads to; every
// URL, a redirection's target included, read by the URL Standard (WebUrl),
// and only http and https asked.
class BrowserRules : public ClientRules {
public:
    explicit BrowserRules(ConnectionReuse reuse) : reuse_(reuse) {}

    int MaxRedirects() const override;
    void SplitUrl(const THttpClient& client, std::string& url, std::string& host,
                  std::int32_t& port, std::string& path, std::string* userInfo) const override;
    std::string RedirectTarget(const THttpClient& client) const override;
    std::string RequestHost(const std::string& host) const override;
    void StartTransaction(THttpClient& client) override;
    void PreparePass(THttpClient& client, const std::string& userInfo) override;
    void ComposeRequest(THttpClient& client) const override;
    ConnectionStart OpenConnection(THttpClient& client) override;
    void ReleaseConnection(THttpClient& client) override;
    std::optional<ConnectionOrigin> KeptOrigin() const override;
    void ReadReplyHeader(THttpClient& client, std::string statusLine) override;
    bool FollowsRedirect(std::int16_t reply) const override;
    bool KeepsCookies(std::int16_t /*reply*/) const override { return true; }
    bool CookiesTellPassesApart() const override { return true; }
    bool FollowRedirection(THttpClient& client, const Redirection& redirection) const override;

private:
    // What a connection is fit for: the scheme, host and port of the pass,
    // its proxy, and the settings of its TLS.
    struct ConnectionKey {
        std::string Origin;
        std::string Proxy;
        std::int32_t ProxyPort = 0;
        TlsSettings Tls;

        bool operator==(const ConnectionKey&) const = default;
    };
    static ConnectionKey KeyOf(const THttpClient& client);
    void TakeCredentials(const THttpClient& client, const std::string& userInfo);
    void OpenTunnel(THttpClient& client) const;
    void ReadHeaderLines(THttpClient& client) const;

    // The credentials of a URL's user information, for the passes of one
    // transaction to the same origin (scheme, host, port).
    std::string credentialsOrigin_;
    std::string credentials_;
    // The Authorization value of the pass being prepared; empty: none.
    std::string passAuthorization_;

    const ConnectionReuse reuse_;
    // The connection the last pass left open: what it is fit for (none:
    // no connection is kept), where it leads and since when it is idle.
    std::optional<ConnectionKey> kept_;
    ConnectionOrigin keptOrigin_;
    std::chrono::steady_clock::time_point idleSince_;
};

}  // namespace vornakle
