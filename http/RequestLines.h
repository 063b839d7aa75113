#pragma once

#include <string>
#include <string_view>

#include "http/CmdType.h"

namespace vornakle {

// What the request lines of both rule sets share.

// The request word of a kind ("GET", "HEAD", ...); empty for a kind beyond
// the table, which sends no request line.
std::string_view RequestWord(CmdType kind);

// Kinds whose request carries a body and its "Content-Length". LINK and
// UNLINK (RFC 2068 section 19.6.1.2) carry only their "Link" line: a length
// announced without its body would leave the server waiting for bytes that
// never come.
bool SendsBody(CmdType kind);

// The Base64 text of "userId:password" on one line, for a Basic
// Authorization line.
std::string BasicCredentials(const std::string& userId, const std::string& password);

// Throws EHeaderValueError when a request line holds a line break or a zero
// byte: the rest would pass as header lines of its own.
void ThrowIfLineBreak(const std::string& line);

}  // namespace vornakle
