#pragma once

// The reading rules of an HTTP reply header as pure functions: the reply
// number of the status line, and the three header lines the client acts on.
// The rule sets' ReadReplyHeader apply them line by line into a ReplyHead.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornakle {

// The second blank-separated field of the status line as a decimal number
// with an optional plus sign; 0 when the field is no such number (the line
// end glued to it, a letter) or the number lies outside 100 to 999.
std::int16_t StatusNumber(const std::string& statusLine);

enum class ReplyField {
    Other,
    SetCookie,
    Location,
    ContentLength,
    RetryAfter,
    Connection,
    TransferEncoding,
    ContentEncoding
};

struct ReplyLine {
    ReplyField Field = ReplyField::Other;
    // Set-Cookie, Location, Retry-After, Connection, Transfer-Encoding and
    // Content-Encoding: the value without the line end; a Location also without blanks and
    // tabs around it.
    std::string Value;
    // Content-Length: the announced length, -1 when no digits follow.
    std::int64_t ContentLength = -1;
    // Content-Length as browsers read it: false unless the value is one
    // length in digits, or a list that repeats one length (RFC 9110 section
    // 8.6); such a value cannot frame a body.
    bool LengthValid = true;
};

// What a header line (as ReadLn returns it, line end included) says. A
// field is recognised by its name, its colon and at least one blank, in any
// letter case; its value starts after exactly one blank.
ReplyLine ParseReplyLine(const std::string& line);

// The reply number as browsers read it: the first run of blanks after the
// version, then three digits that need no blank or reason phrase behind
// them ("HTTP/1.1 200", "HTTP/1.1 200OK"); 0 when there are none, or the
// number lies outside 100 to 999.
std::int16_t LenientStatusNumber(const std::string& statusLine);

// A header line as browsers read it: the name up to the colon in any
// letter case, blanks and tabs on both sides of the value dropped (Retry-
// After, Connection, Transfer-Encoding and Content-Encoding recognised
// too). Folded lines are
// joined before (IsFoldedLine).
ReplyLine ParseLenientReplyLine(const std::string& line);

// A line that continues the header line before it (RFC 7230 section 3.2.4's
// obsolete folding): it starts with a blank or a tab and is not empty.
bool IsFoldedLine(const std::string& line);

// Whether the connection of a reply stays open for the next request, by its
// status line's version and its Connection values (all of them, joined by
// commas): HTTP/1.1 unless a value holds the option "close", HTTP/1.0 only
// with "keep-alive" (RFC 9112 section 9.3). Any other version closes.
bool ReplyKeepsConnection(const std::string& statusLine, const std::string& connection);

// Whether a reply's Transfer-Encoding values (joined by commas) end with
// the chunked coding, which then frames its body (RFC 9112 section 6.3).
bool EndsChunked(const std::string& transferEncoding);

// The wait a Retry-After value asks for, in seconds: a number of seconds, or
// an HTTP date (RFC 9110 section 5.6.7, "Sun, 06 Nov 1994 08:49:37 GMT")
// less NowSeconds (seconds since 1970, UTC), at least 0; none for anything
// else.
std::optional<std::int64_t> RetryAfterSeconds(const std::string& value, std::int64_t nowSeconds);

// The empty line that ends the header, or the end of the stream (empty).
bool IsHeaderEnd(const std::string& line);

// The value of the first line named Name (any letter case) in a whole reply
// header as THttpClient keeps it, status line first; blanks around the
// value dropped. None when no line has that name.
std::optional<std::string> HeaderFieldValue(const std::string& header, const std::string& name);

}  // namespace vornakle

namespace vornakle {

// Reply header bytes read as header. A header that goes on beyond this is
// not read further (the rest counts as body), so endless header lines
// cannot exhaust memory.
inline constexpr std::size_t kMaxReplyHeaderBytes = 64 * 1024;

// What a rule set read of a reply's header, for the client to act on.
struct ReplyHead {
    std::int16_t Number = 0;
    // The header as received, within kMaxReplyHeaderBytes.
    std::string Header;
    std::string Location;
    // Every Set-Cookie value, in order.
    std::vector<std::string> Cookies;
    std::string RetryAfter;
    // The Connection, Transfer-Encoding and Content-Encoding values, each
    // joined by commas (read under browser rules only).
    std::string Connection;
    std::string TransferEncoding;
    std::string ContentEncoding;
    // The body length announced (RFC 1945 section 7.2.2); -1 for none, and
    // the body ends with the connection.
    std::int64_t ContentLength = -1;
    // The Content-Length lines name no single length: one is no number, or
    // two differ.
    bool LengthInvalid = false;
    // The connection may carry the next request once the body is read to
    // its end (set by the rules).
    bool KeepsOpen = false;

    // A line into Header while it is within kMaxReplyHeaderBytes.
    void TakeLine(const std::string& line);
    // A field the client acts on.
    void TakeField(const ReplyLine& field);
    // Header holds kMaxReplyHeaderBytes or more.
    bool Full() const { return Header.size() >= kMaxReplyHeaderBytes; }
};

}  // namespace vornakle
