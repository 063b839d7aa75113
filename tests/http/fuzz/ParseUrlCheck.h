#pragma once

// The properties every split of an outside URL must have, shared by the
// libFuzzer entry point and the corpus test: the split either refuses the
// URL with a vornakle::Exception, or yields a path that starts with "/", a
// port a socket can use, and a URL that still starts with the input.

#include "http/UrlSplit.h"

#include <string>

namespace vornakle::testing {

// Empty when the properties hold, else what went wrong.
inline std::string CheckParseRequestURL(const std::string& input) {
    std::string url = input;
    std::string host = "previous.example";
    std::int32_t port = 0;
    std::string path;
    try {
        ParseRequestURL(url, host, port, path);
    } catch (const Exception&) {
        return std::string();
    }
    if (path.empty() || path[0] != '/') {
        return "path does not start with /: " + path;
    }
    if (port < 1 || port > 65535) {
        return "port out of range: " + std::to_string(port);
    }
    const std::string fragmentFree = WithoutFragment(input);
    if (url.compare(0, fragmentFree.size(), fragmentFree) != 0 || url.size() > input.size() + 1) {
        return "URL changed beyond a slash: " + url;
    }
    if (host.empty()) {
        return "host emptied";
    }
    return std::string();
}

}  // namespace vornakle::testing
