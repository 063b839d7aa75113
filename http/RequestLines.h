#pragma once

#include <string>

namespace vornakle {

// What the request lines of both rule sets share.

// The Base64 text of "userId:password" on one line, for a Basic
// Authorization line (RFC 7617).
std::string BasicCredentials(const std::string& userId, const std::string& password);

// Throws EHeaderValueError when a request line holds a line break or a zero
// byte: the rest would pass as header lines of its own.
void ThrowIfLineBreak(const std::string& line);

}  // namespace vornakle
