#pragma once

// What a client is asked and what it answers, as values that know nothing
// of the wire: a rule set turns a request into request lines and reads the
// reply's lines into a reply, so a second wire (another HTTP version) would
// give and take the same values.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "http/HeaderInfo.h"
#include "http/RequestHop.h"

namespace vornakle {

// The requests a client sends.
enum class HttpMethod : std::uint8_t { Get, Options, Head, Post, Put, Patch, Delete };

struct HttpReply;

// One request: what to ask and of what, and how much of the answer to
// keep. Every member has its default, so a request names only what it
// sets ({.Url = url}). The client's settings (HttpClientSettings) say how it is asked.
struct HttpRequest {
    HttpMethod Method = HttpMethod::Get;
    std::string Url = {};
    // Sent as it is, with its length, by the methods that carry a body
    // (SendsBody); FormEncoded makes it from a form's text.
    std::string Body = {};
    // Optional header values; each empty one sends no line.
    THeaderInfo Info = {};
    // Above 0: the reply body is read no further than this many bytes
    // (within THttpClient::kMaxBodyBytes), for a caller that needs only the
    // start of a page; the rest is left unread as the connection closes, or
    // read and dropped where that keeps it for the next request. A body read
    // so is a sample: should it end early (a time-out, a reset, a broken
    // coding), the reply stands with what came. 0: the whole body.
    std::size_t BodyLimit = 0;
    // Asked once a reply's header is in (the reply holds its number and
    // header then): whether its body is kept at all; unset, every body is.
    std::function<bool(const HttpReply& reply)> BodyWanted = {};
};

// How the reply's body reads. A body in a content coding
// (Content-Encoding) is kept decoded under the browser rules, within the
// same bound as any other (ContentDecoder); one whose coding is unknown or
// broken is Unreadable and Body then empty, since a browser would show an
// error instead of its page.
enum class BodyCoding { Identity, Decoded, Unreadable };

// How a transaction's redirections ended when they led nowhere: the last
// reply (a 3xx) is then no answer about the URL asked for.
enum class RedirectOutcome {
    // No redirection was left unfollowed.
    None,
    // The next target was one this transaction had asked already.
    Loop,
    // The rules' bound of passes was reached and the chain went on.
    TooMany,
    // A redirection named no Location.
    NoLocation,
};

// The answer to one request, redirections followed: the last reply, and
// the way there.
struct HttpReply {
    // The last reply's number; 0 when none came or its status line had none.
    std::int16_t Number = 0;
    // The reply header as received (status line, header lines and the empty
    // line, each with its line end), within THttpClient::kMaxHeaderBytes.
    std::string Header;
    std::string Body;
    BodyCoding Coding = BodyCoding::Identity;
    // The last reply's Location, last Set-Cookie and (browser rules)
    // Retry-After values; empty when it had none.
    std::string Location;
    std::string Cookie;
    std::string RetryAfter;
    // Every pass in order, the failed one included; the last one's URL is
    // where the answer came from.
    std::vector<RequestHop> Hops;
    RedirectOutcome RedirectEnd = RedirectOutcome::None;
    // Where the last reply redirected to when the redirections ended there
    // (RedirectEnd Loop or TooMany): the URL that would have been asked.
    std::string RedirectTarget;
    // Where the last pass went: its host and port, and its proxy (empty for
    // none).
    std::string Host;
    std::int32_t Port = 0;
    std::string Proxy;
    std::int32_t ProxyPort = 0;
    // Set when the transaction ended in an error (THttpClient::Exchange);
    // the fields above then hold what came before it.
    std::exception_ptr Failure;
};

// The kinds whose request carries a body and its "Content-Length".
bool SendsBody(HttpMethod method);

// The request word of a method ("GET", "HEAD", ...).
std::string_view RequestWord(HttpMethod method);

// A form's text as a request body: URL-encoded (TUrlCoder).
std::string FormEncoded(const std::string& text);

}  // namespace vornakle
