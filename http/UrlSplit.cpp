#include "http/UrlSplit.h"

#include "net/SockStrings.h"
#include "platform/AsciiCase.h"

#include <algorithm>

namespace vornakle {

namespace {

constexpr std::int32_t kFtpPort = 21;
constexpr std::int32_t kGopherPort = 70;
constexpr std::int32_t kLowestPort = 1;
constexpr std::int32_t kHighestPort = 65535;
// What is cut from the host at the colon of its port: the colon and the
// port text behind it.
constexpr std::size_t kPortTextLength = 255;

// A decimal number with an optional sign, nothing else.
std::int32_t PortNumber(const std::string& text) {
    std::size_t index = 0;
    bool negative = false;
    if (index < text.size() && (text[index] == '+' || text[index] == '-')) {
        negative = text[index] == '-';
        ++index;
    }
    if (index == text.size()) {
        throw EConvertError("'" + text + "' is not a valid integer value");
    }
    long long value = 0;
    for (; index < text.size(); ++index) {
        if (text[index] < '0' || text[index] > '9') {
            throw EConvertError("'" + text + "' is not a valid integer value");
        }
        // Beyond the highest port every further digit only confirms the
        // verdict; stop growing so the value cannot overflow.
        if (value <= kHighestPort) {
            value = value * 10 + (text[index] - '0');
        }
    }
    if (negative) {
        value = -value;
    }
    // Only the low 16 bits of a port reach the socket: a larger number would
    // silently connect somewhere else.
    if (value < kLowestPort || value > kHighestPort) {
        throw EConvertError("'" + text + "' is not a valid port number");
    }
    return static_cast<std::int32_t>(value);
}

// The ":" that ends the scheme of url, npos when it names none: the first
// ":" when no "/" comes before it (RFC 3986 section 3.1); a ":" inside a
// path is no scheme.
std::size_t SchemeEnd(const std::string& url) {
    const std::size_t colon = url.find(':');
    return colon != std::string::npos && url.find('/') > colon ? colon : std::string::npos;
}

}  // namespace

std::string UrlScheme(const std::string& url) {
    const std::size_t colon = SchemeEnd(url);
    return colon == std::string::npos ? std::string() : AsciiLowerCase(url.substr(0, colon));
}

std::string WithoutFragment(const std::string& url) {
    return url.substr(0, url.find('#'));
}

void ParseRequestURL(std::string& CurrentURL, std::string& Host, std::int32_t& Port,
                     std::string& RequestPath, SecureScheme Secure, AuthorityRule Authority,
                     std::string* UserInfo) {
    if (CurrentURL.empty()) {
        throw Exception("Empty URL");
    }
    if (Port == 0) {
        Port = kHttpPort;
    }
    const std::string url = WithoutFragment(CurrentURL);
    const std::size_t firstSlash = url.find('/');
    // An authority ("//" and a host) is present only when the first "/" of
    // the URL opens it; a "//" further on belongs to the path, and a path
    // like "/a//b" (a redirection's Location) names no host.
    const bool hasAuthority = firstSlash != std::string::npos && firstSlash + 1 < url.size() &&
                              url[firstSlash + 1] == '/';

    // The host ends at the first "/" or "?" behind it (RFC 3986 section 3.2;
    // the fragment is gone already); the path runs from there.
    const std::size_t hostStart = hasAuthority ? firstSlash + 2 : 0;
    const std::size_t hostEnd = std::min(url.find_first_of("/?", hostStart), url.size());
    RequestPath = url.substr(hostEnd);

    // A URL without a scheme keeps the port of the previous pass.
    if (SchemeEnd(url) != std::string::npos) {
        const std::string scheme = UrlScheme(url);
        if (scheme == "https") {
            if (Secure == SecureScheme::Refused) {
                throw ESchemeRefused("HTTP Secure Socket is not supported");
            }
            Port = kHttpsPort;
        } else if (scheme == "gopher") {
            Port = kGopherPort;
        } else if (scheme == "ftp") {
            Port = kFtpPort;
        } else {
            Port = kHttpPort;
        }
    }

    std::string host = url.substr(hostStart, hostEnd - hostStart);
    if (UserInfo != nullptr) {
        UserInfo->clear();
    }
    const bool rfc3986 = Authority == AuthorityRule::Rfc3986;
    if (const std::size_t at = host.rfind('@'); rfc3986 && at != std::string::npos) {
        if (UserInfo != nullptr) {
            *UserInfo = host.substr(0, at);
        }
        host.erase(0, at + 1);
    }
    // The colons of an IPv6 address in brackets are no port's.
    const std::size_t portColon =
        host.find(':', host.starts_with('[') ? host.find(']') : std::size_t{0});
    if (rfc3986 && host.starts_with('[') && host.find(']') == std::string::npos) {
        throw EConvertError("'" + host + "' opens an address bracket it does not close");
    }
    if (portColon != std::string::npos) {
        const std::string portText = NthWord(host.substr(portColon), ':', 2);
        if (!rfc3986 || !portText.empty() || portColon + 1 != host.size()) {
            Port = PortNumber(portText);
        }
        host.erase(portColon, kPortTextLength);
    }
    if (rfc3986 && hasAuthority && host.empty()) {
        throw EConvertError("the URL names no host");
    }
    if (!host.empty()) {
        Host = host;
    }

    if (RequestPath.empty() || RequestPath[0] != '/') {
        RequestPath.insert(0, 1, '/');
        // Behind the host, in front of a query or a fragment.
        CurrentURL.insert(hostEnd, 1, '/');
    }
}

}  // namespace vornakle
