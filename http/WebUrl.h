#pragma once

// URLs as browsers read them: the basic URL parser and the serializer of the
// WHATWG URL Standard. Pure functions; the host rules are in WebHost.h.

#include "platform/Exception.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornakle {

// A URL the Standard reads whose scheme is not http or https
// ("javascript:", "mailto:", "localhost:8080/x"): the web client does not
// ask it.
class ENotWebAddress : public Exception {
public:
    using Exception::Exception;
};

// A URL in the Standard's parts, each as it serializes: percent-encoded
// where the Standard encodes, the host in its ASCII form.
struct WebUrl {
    // In lower case, without its ":".
    std::string Scheme;
    std::string Username;
    std::string Password;
    // None: the URL has no host ("mailto:x"); empty: an empty host
    // ("file:///x"). An IPv6 address is kept in its brackets.
    std::optional<std::string> Host;
    // None: no port, or the scheme's default one.
    std::optional<std::uint16_t> Port;
    // The path's segments; a URL with an opaque path ("javascript:x") keeps
    // it whole in the only segment.
    std::vector<std::string> Path;
    bool OpaquePath = false;
    std::optional<std::string> Query;
    std::optional<std::string> Fragment;

    // The URL as one text, the Standard's serialization.
    std::string Href() const;
    // The path as it serializes, "/a/b" (an opaque path as it is).
    std::string PathText() const;
    // The path and query as a request line carries them.
    std::string RequestTarget() const;
    // http, https, ws, wss, ftp and file, whose URLs the Standard reads by
    // rules of their own.
    bool IsSpecial() const;
    // http or https: an address the web client can ask.
    bool IsWebAddress() const;
    // The port a connection goes to: the URL's own or the scheme's.
    std::uint16_t PortOrDefault() const;
};

// The Standard's default port of a special scheme; none for the others.
std::optional<std::uint16_t> DefaultPortOf(std::string_view scheme);

// Input read as the Standard's basic URL parser reads it, against Base when
// given (a relative reference needs one); none where the Standard gives
// failure.
std::optional<WebUrl> ParseWebUrl(std::string_view input, const WebUrl* base = nullptr);

// Reference read against the absolute URL Base, as a browser resolves a
// Location or a refresh target; none when Base is no URL or the reference
// gives failure.
std::optional<WebUrl> ResolveWebUrl(std::string_view base, std::string_view reference);

}  // namespace vornakle
