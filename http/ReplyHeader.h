#pragma once

// The reading rules of an HTTP reply header as pure functions: the reply
// number of the status line, and the three header lines the client acts on.
// THttpClient::ReadReplyHeader applies them line by line.

#include <cstdint>
#include <string>

namespace vornakle {

// The second blank-separated field of the status line as a decimal number
// with an optional plus sign; 0 when the field is no such number (the line
// end glued to it, a letter) or the number lies outside 100 to 999.
std::int16_t StatusNumber(const std::string& statusLine);

enum class ReplyField { Other, SetCookie, Location, ContentLength };

struct ReplyLine {
    ReplyField Field = ReplyField::Other;
    // Set-Cookie and Location: the value without the line end; a Location
    // also without blanks and tabs around it.
    std::string Value;
    // Content-Length: the announced length, -1 when no digits follow.
    std::int64_t ContentLength = -1;
};

// What a header line (as ReadLn returns it, line end included) says. A
// field is recognised by its name, its colon and at least one blank, in any
// letter case; its value starts after exactly one blank.
ReplyLine ParseReplyLine(const std::string& line);

// The empty line that ends the header, or the end of the stream (empty).
bool IsHeaderEnd(const std::string& line);

}  // namespace vornakle
