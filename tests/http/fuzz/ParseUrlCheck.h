#pragma once

// The properties every split of an outside URL must have, shared by the
// libFuzzer entry point and the corpus test: the split either refuses the
// URL with a vornakle::Exception, or yields a path that starts with "/", a
// port a socket can use, and a URL that is the input or the input with one
// "/" put in.

#include "http/UrlSplit.h"
#include "http/WebUrl.h"

#include <string>

namespace vornakle::testing {

// Empty when the properties hold under Rule, else what went wrong.
inline std::string CheckSplit(const std::string& input, AuthorityRule rule) {
    std::string url = input;
    std::string host = "previous.example";
    std::int32_t port = 0;
    std::string path;
    std::string userInfo;
    try {
        ParseRequestURL(url, host, port, path, SecureScheme::Refused, rule, &userInfo);
    } catch (const Exception&) {
        return std::string();
    }
    // Read by RFC 3986, user information never stays in the host.
    if (rule == AuthorityRule::Rfc3986 && host.find('@') != std::string::npos) {
        return "user information in the host: " + host;
    }
    if (path.empty() || path[0] != '/') {
        return "path does not start with /: " + path;
    }
    if (port < 1 || port > 65535) {
        return "port out of range: " + std::to_string(port);
    }
    // At most one "/" is put in, behind the host.
    if (url != input) {
        std::size_t first = 0;
        while (first < input.size() && url[first] == input[first]) {
            ++first;
        }
        if (url.size() != input.size() + 1 || url[first] != '/' ||
            url.compare(first + 1, std::string::npos, input, first) != 0) {
            return "URL changed beyond a slash: " + url;
        }
    }
    if (host.empty()) {
        return "host emptied";
    }
    return std::string();
}

// Read by the URL Standard, a web address's serialization reads back as
// itself, and neither its host nor its request target holds a blank, a
// control character or a byte above ASCII that could break a request line.
inline std::string CheckWebUrl(const std::string& input) {
    const std::optional<WebUrl> url = ParseWebUrl(input);
    if (!url || !url->IsWebAddress()) {
        return std::string();
    }
    const std::string href = url->Href();
    const std::optional<WebUrl> again = ParseWebUrl(href);
    if (!again || again->Href() != href) {
        return "the serialization reads otherwise: " + href;
    }
    for (const char character : url->Host.value_or("") + url->RequestTarget()) {
        const auto code = static_cast<unsigned char>(character);
        if (code <= 0x20 || code >= 0x7F) {
            return "a raw byte for the request line: " + href;
        }
    }
    return std::string();
}

// Empty when the properties hold under both ways of reading the authority
// and the URL Standard's.
inline std::string CheckParseRequestURL(const std::string& input) {
    for (const std::string& failure :
         {CheckSplit(input, AuthorityRule::Classic), CheckSplit(input, AuthorityRule::Rfc3986),
          CheckWebUrl(input)}) {
        if (!failure.empty()) {
            return failure;
        }
    }
    return std::string();
}

}  // namespace vornakle::testing
