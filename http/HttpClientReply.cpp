// THttpClient: reading the reply's body, and the cookies replies hand on.

#include "http/HttpClient.h"

#include "http/ChunkedBody.h"
#include "http/ContentDecoding.h"
#include "net/TransferSupport.h"
#include "platform/TrimBlanks.h"

#include <algorithm>
#include <optional>

namespace vornakle {

namespace {

bool SameHost(const std::string& left, const std::string& right) {
    return TExStringList::CompareNames(left, right) == 0;
}

}  // namespace

bool THttpClient::ReadReplyBody(const HttpRequest& Request, const ReplyHead& Head,
                                HttpReply& Reply) {
    std::string& body = Reply.Body;
    body.clear();
    BytesRecvd = 0;
    bool ended = !ReplyHasBody(Request.Method, Head.Number);
    std::size_t kept = 0;
    if (!ended && (!Request.BodyWanted || Request.BodyWanted(Reply))) {
        kept = Request.BodyLimit > 0 ? std::min(Request.BodyLimit, kMaxBodyBytes) : kMaxBodyBytes;
    }
    // A body is read whole unless the caller wants only its start (or
    // none of it); then what comes beyond that is read and dropped only
    // while it is short and the connection stays open for the next request.
    const bool whole = kept > 0 && Request.BodyLimit == 0;
    const bool chunked = EndsChunked(Head.TransferEncoding);
    // A Transfer-Encoding overrides any Content-Length; one that does not
    // end chunked runs to the close (RFC 9112 section 6.3).
    const std::int64_t length = Head.TransferEncoding.empty() ? Head.ContentLength : -1;
    std::size_t drop = 0;
    if (Head.KeepsOpen && !whole && (chunked || length >= 0)) {
        drop = kMaxDrainBytes;
        if (length >= 0 &&
            static_cast<std::uint64_t>(length) > static_cast<std::uint64_t>(kept) + drop) {
            drop = 0;
        }
    }
    // A coded body is kept decoded, within the bound, and no more of its
    // coded bytes are read than that bound either: a coding that gives
    // nothing for what it takes must not hold the check.
    std::optional<ContentDecoder> decoder;
    std::size_t coded = 0;
    Reply.Coding = BodyCoding::Identity;
    if (kept > 0 && NamesContentCoding(Head.ContentEncoding)) {
        decoder.emplace(Head.ContentEncoding, kept);
    }
    const auto keeping = [&] {
        return decoder ? decoder->Status() == ContentDecoder::State::Decoding && coded < kept
                       : body.size() < kept;
    };
    ChunkedBody chunks;
    std::size_t dropped = 0;
    bool trailing = false;
    bool sampleCut = false;
    // Only a whole body's end is a failure; a sample's is what came of it
    // (the abort may come while the body is received).
    const auto wholeWanted = [this, &Request] { return Request.BodyLimit == 0 || AbortRequested; };
    if (!ended && (kept > 0 || drop > 0)) {
        TReceiveTarget target;
        target.Length = chunked ? -1 : length;
        // A chunked body ends at its last chunk, whatever follows.
        target.WantsMore = [&] {
            return (whole || keeping() || dropped < drop) &&
                   (!chunked || chunks.Status() == ChunkedBody::State::Reading);
        };
        // The time-out limits idle time while the body is kept; what comes
        // beyond the bound is received under one last period.
        const auto take = [&](const char* data, std::size_t size) {
            if (decoder) {
                const std::size_t taken = keeping() ? std::min(kept - coded, size) : 0;
                decoder->Take(std::string_view(data, taken), body);
                coded += taken;
                dropped += size - taken;
                return;
            }
            const std::size_t taken = std::min(kept - body.size(), size);
            body.append(data, taken);
            dropped += size - taken;
        };
        target.Take = [&](int Got) {
            if (!chunked) {
                take(Buffer, static_cast<std::size_t>(Got));
            } else {
                std::string_view input(Buffer, static_cast<std::size_t>(Got));
                while (!input.empty() && chunks.Status() == ChunkedBody::State::Reading) {
                    std::string_view data;
                    input = chunks.Take(input, data);
                    take(data.data(), data.size());
                }
                trailing = trailing || !input.empty();
            }
            return keeping();
        };
        TimerOn();
        ScopeExit timerOff([this] { TimerOff(); });
        try {
            ReceiveStream(target);
        } catch (const ESockError&) {
            if (wholeWanted()) {
                throw;
            }
            sampleCut = true;
        }
        ended = chunked ? chunks.Status() == ChunkedBody::State::Ended
                        : length >= 0 && BytesRecvd == length;
    }
    if (decoder) {
        const bool unreadable = decoder->Status() == ContentDecoder::State::Unreadable;
        Reply.Coding = unreadable ? BodyCoding::Unreadable : BodyCoding::Decoded;
        if (unreadable) {
            body.clear();
        }
    }
    if (Canceled) {
        if (wholeWanted()) {
            RaiseAborted("Socket capture aborted", TimedOut);
        }
        Canceled = false;
        sampleCut = true;
    }
    return Head.KeepsOpen && ended && !trailing && !sampleCut && ReadAheadHeld() == 0;
}

void THttpClient::TakeOverCookies(const std::vector<std::string>& Cookies) {
    for (const std::string& value : Cookies) {
        // Only the name=value pair goes back; the attributes (Path, Expires,
        // ...) are for the client (RFC 6265 sections 4.2 and 5.2).
        const std::string pair = TrimBlanks(value.substr(0, value.find(';')));
        const std::size_t equals = pair.find('=');
        if (equals == std::string::npos || TrimBlanks(pair.substr(0, equals)).empty()) {
            continue;
        }
        const std::string name = TrimBlanks(pair.substr(0, equals));
        bool replaced = false;
        for (TransactionCookie& cookie : TransactionCookies) {
            if (SameHost(cookie.Host, Pass.Host) && cookie.Name == name) {
                cookie.Pair = pair;
                replaced = true;
            }
        }
        if (!replaced) {
            TransactionCookies.push_back({Pass.Host, name, pair});
        }
    }
}

std::string THttpClient::CookiesFor(const std::string& RequestHost) const {
    std::string cookies;
    for (const TransactionCookie& cookie : TransactionCookies) {
        if (SameHost(cookie.Host, RequestHost)) {
            if (!cookies.empty()) {
                cookies += "; ";
            }
            cookies += cookie.Pair;
        }
    }
    return cookies;
}

}  // namespace vornakle
