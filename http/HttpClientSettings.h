#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "http/ProxyRules.h"
#include "net/TlsContext.h"
#include "net/TlsIssuers.h"

namespace vornakle {

// The rules a client asks and reads by: its own (classic) or today's
// browsers' (browser; see BrowserRules).
enum class RequestRules { Classic, Browser };

// Whether a client keeps a connection open after a request for its next
// request to the same place (HTTP/1.1 persistent connections, RFC 9112
// section 9.3) or asks each on a connection of its own.
enum class ConnectionReuse { Keep, CloseEach };

// The User-Agent line under browser rules when none is set: a current
// mainstream desktop browser's, since many sites answer 403 to anything
// that does not look like one.
inline constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36";

// How a client asks, fixed when it is made: every request it sends goes by
// these.
struct HttpClientSettings {
    RequestRules Rules = RequestRules::Classic;
    // Under browser rules a connection is asked for each request unless
    // this says Keep; the classic rules always do so.
    ConnectionReuse Reuse = ConnectionReuse::CloseEach;
    // "https" URLs are requested over TLS, on port 443 unless the URL names
    // one, the certificate checked as Tls says; off, they are refused with
    // "HTTP Secure Socket is not supported".
    bool AllowHttps = false;
    TlsSettings Tls;
    // Set: a server's chain that lacks an intermediate is completed from
    // the address its certificate names (TTcpSocket::TlsFetchIssuer).
    IssuerFetch FetchIssuer;
    // How long a wait for the network may last, in milliseconds; 0: no
    // bound.
    std::int32_t TimeOut = 0;
    // The classic rules' proxy, for every request; empty Proxy: none.
    std::string Proxy;
    std::int32_t ProxyPort = 0;
    // Where each pass under browser rules goes through a proxy.
    ProxyRules Proxies;
    // The User-Agent line under browser rules; empty: kBrowserUserAgent.
    std::string UserAgent;
    // Header lines ("Name: value") each request under browser rules sends
    // as well; one whose name the rules' own request has takes its place.
    std::vector<std::string> ExtraHeaders;
};

}  // namespace vornakle
