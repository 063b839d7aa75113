#pragma once

// Rules on URL text beyond the client's own split (UrlSplit.h): resolving a
// reference, the scheme a link names, and the request target as it may
// appear in a request line. Pure functions.

#include <string>
#include <string_view>

#include "http/UrlSplit.h"

namespace vornakle {

// True when the text starts with a scheme and its ":" (RFC 3986 section
// 3.1: a letter, then letters, digits, "+", "-" or "."), which makes it an
// absolute reference.
bool HasScheme(std::string_view reference);

// The target URL of Reference read against the absolute URL Base, by the
// strict algorithm of RFC 3986 section 5.2 (dot segments removed, section
// 5.2.4). A reference with a scheme comes back with only its dot segments
// removed.
std::string ResolveReference(std::string_view base, std::string_view reference);

// The scheme a link names, in lower case; empty when it names none: a path,
// a reference without a scheme, or a host with a port and no scheme
// ("host:8080/x", which the client reads as host and port).
std::string LinkScheme(std::string_view url);

// Whether the client can request a URL of this (lower-case) scheme; "https"
// only where the caller lets it speak TLS.
bool IsRequestableScheme(std::string_view scheme, SecureScheme secure = SecureScheme::Refused);

// Text fit for the request line: blanks, control characters and bytes above
// 127 become "%" and two upper-case hex digits (RFC 3986 section 2.1), so
// that no URL can add words or lines to the request. Everything else, "%XX"
// already there included, stays as it is.
std::string EncodedRequestTarget(std::string_view target);

// The request target as a browser sends it (the WHATWG URL standard's
// percent-encode sets): besides what EncodedRequestTarget encodes, '"', '<',
// '>', '`', '{' and '}' in the path and '"', '<', '>' and '\'' in the query.
// "%XX" already there, and a lone "%", stay as they are.
std::string BrowserRequestTarget(std::string_view target);

}  // namespace vornakle
