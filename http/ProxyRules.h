#pragma once

// Which proxy a request goes through, by the environment variables that
// command-line tools on Linux read: http_proxy for http, https_proxy for
// https (a tunnel made by CONNECT), no_proxy for the hosts asked directly.

#include <cstdint>
#include <optional>
#include <string>

namespace vornakle {

struct ProxyRules {
    // "host:port" or "http://host:port/"; empty: no proxy for that scheme.
    std::string HttpProxy;
    std::string HttpsProxy;
    // Host names (a leading "." optional), each with an optional ":port",
    // separated by commas or blanks; a name covers its subdomains; "*"
    // covers every host.
    std::string NoProxy;

    auto operator<=>(const ProxyRules&) const = default;
};

struct ProxyAddress {
    std::string Host;
    std::int32_t Port = 0;

    auto operator<=>(const ProxyAddress&) const = default;
};

// http_proxy, https_proxy (or HTTPS_PROXY) and no_proxy (or NO_PROXY).
// HTTP_PROXY is not read: a CGI program finds the client's "Proxy" header
// under that name.
ProxyRules ProxyRulesFromEnvironment();

// The proxy for a request to Host and Port, over TLS when Secure; none when
// the scheme has no proxy, the host is excluded, or the proxy setting names
// no host. A proxy without a port listens on 80; a scheme in front
// ("http://") and a path behind it are ignored, user credentials too.
std::optional<ProxyAddress> ProxyFor(const ProxyRules& rules, bool secure, const std::string& host,
                                     std::int32_t port);

}  // namespace vornakle
