#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vornakle {

// An absolute URL ("scheme://authority/path?query#fragment", RFC 3986
// section 3) in its parts, as the rot rules compare addresses. The parts
// keep their bytes; only Scheme and Host are in lower case, as both are
// compared without letter case (RFC 3986 sections 3.1 and 3.2.2).
struct AddressParts {
    std::string Scheme;
    std::string UserInfo;  // with its "@" when there is one
    std::string Host;
    // The port as written, without a port that the scheme means anyway
    // (":80" for http, ":443" for https) and without an empty one.
    std::string Port;
    std::string Path;   // "/" when the URL has none
    std::string Query;  // with its "?" when there is one
};

// The parts of url; nothing for a URL without "scheme://".
std::optional<AddressParts> SplitAddress(std::string_view url);

// The address a URL names, as one key: scheme and host in lower case, no
// default port, no fragment, an empty path as "/". Two bookmarks whose keys
// are equal point to the same page; a URL that does not split is its own
// key without its fragment.
std::string AddressKey(std::string_view url);

// The origin of url (RFC 6454: scheme, host and port) as one key,
// "https://example.com" or "http://example.com:8080"; empty for a URL that
// does not split.
std::string OriginKey(std::string_view url);

// The site a host belongs to, roughly its registered name: the last two
// labels, three under a two-letter country code whose second level has at
// most three letters ("bbc.co.uk"); an IP address stays whole.
// "shop.example.com" and "www.example.com" are one site.
std::string SiteOf(std::string_view host);

}  // namespace vornakle
