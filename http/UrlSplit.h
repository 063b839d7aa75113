#pragma once

#include "platform/Exception.h"

#include <cstdint>
#include <string>

namespace vornakle {

// The ports a URL without one of its own means (RFC 9110 sections 4.2.1 and
// 4.2.2).
inline constexpr std::int32_t kHttpPort = 80;
inline constexpr std::int32_t kHttpsPort = 443;

// A text that should be a number is not one (a port after the host).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// The client does not request a URL of this scheme as it stands: https
// while TLS is not allowed, or through a proxy that would see it in the
// clear.
class ESchemeRefused : public Exception {
public:
    using Exception::Exception;
};

// Whether ParseRequestURL serves "https" URLs (on port 443; the caller
// secures the connection) or refuses them.
enum class SecureScheme { Refused, Allowed };

// How ParseRequestURL reads the authority ("//" up to the path). Classic:
// all of it is host and port, so "user:pw@host" reads "pw@host" as a port.
// Rfc3986: user information up to the last "@" is split off (RFC 3986
// section 3.2.1), an empty port means the scheme's (section 3.2.3), and
// an authority without a host (RFC 9110 section 4.2.1 makes such an http
// URL invalid) or with an address whose bracket stays open raises
// EConvertError.
enum class AuthorityRule { Classic, Rfc3986 };

// Splits CurrentURL into the host to connect to, the port and the path of
// the request line, the rule the classic rules split a pass's URL by:
// - an empty URL raises "Empty URL"; Port 0 becomes 80;
// - a scheme (letters before the first ":", which comes before any "/") sets
//   the port: "gopher" 70, "ftp" 21, "https" raises "HTTP Secure Socket is
//   not supported" (443 when Secure allows it), any other 80; letter case
//   does not matter;
// - the host is what follows "//" up to the next "/" or "?"; without "//" it
//   is the text before the first "/" or "?" (none when the URL starts with
//   one of them, which keeps Host and Port); a port written after a ":"
//   behind the host wins, and a port that is no number from 1 to 65535
//   raises EConvertError; an IPv6 address is written in brackets
//   ("[::1]:8080", RFC 3986 section 3.2.2) and stays in them in Host, as the
//   "Host" line needs it;
// - the path runs from the end of the host to the end, without the fragment
//   ("#...", which only the user agent uses, RFC 3986 section 3.5); a path
//   that is empty or starts with the query gets a "/" in front, which is
//   put into CurrentURL behind the host too.
// - "https" refused raises ESchemeRefused.
// UserInfo, when given, receives the user information Authority::Rfc3986
// split off (without its "@"; empty when there was none).
void ParseRequestURL(std::string& CurrentURL, std::string& Host, std::int32_t& Port,
                     std::string& RequestPath, SecureScheme Secure = SecureScheme::Refused,
                     AuthorityRule Authority = AuthorityRule::Classic,
                     std::string* UserInfo = nullptr);

// The scheme of url as ParseRequestURL sees it, in lower case: the text
// before the first ":" when no "/" comes before it; empty when there is none.
std::string UrlScheme(const std::string& url);

// CurrentURL without its fragment: what a proxy is asked for.
std::string WithoutFragment(const std::string& url);

}  // namespace vornakle
