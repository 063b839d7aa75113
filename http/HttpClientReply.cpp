// THttpClient: reading the reply (status line, header lines, body) and the
// cookies a redirection hands on.

#include "http/HttpClient.h"

#include "http/ChunkedBody.h"
#include "http/ContentDecoding.h"
#include "http/ReplyHeader.h"
#include "net/TransferSupport.h"
#include "platform/TrimBlanks.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace vornakle {

namespace {

// Status codes whose replies carry no body (RFC 1945 sections 9.2 and 9.3).
constexpr std::int16_t kNoContent = 204;
constexpr std::int16_t kNotModified = 304;

bool SameHost(const std::string& left, const std::string& right) {
    return TExStringList::CompareNames(left, right) == 0;
}

}  // namespace

void THttpClient::ReadReplyHeader() {
    BytesTotal = 0;
    ReplyCookie.clear();
    ReplyCookies.clear();
    // A Location of an earlier reply must never redirect this one.
    ReplyLocation.clear();
    ReplyRetryAfter.clear();
    ReplyContentLength = -1;
    ReplyLengthInvalid = false;
    ReplyConnection.clear();
    ReplyTransferEncoding.clear();
    ReplyContentEncoding.clear();
    ReplyKeepsOpen = false;
    ConnectionReusable = false;

    std::optional<OutputFile> headerFile;
    if (OutputFileMode) {
        headerFile.emplace(Header);
    } else {
        Header.clear();
    }
    HeaderFile = headerFile ? &*headerFile : nullptr;
    HeaderBytes = 0;
    ScopeExit forget([this] { HeaderFile = nullptr; });
    Policy->ReadReplyHeader(*this, ReadLn());
    if (headerFile) {
        headerFile->Close();
    }
}

void THttpClient::TakeHeaderLine(const std::string& Line) {
    if (HeaderBytes >= kMaxHeaderBytes) {
        return;
    }
    HeaderBytes += Line.size();
    if (HeaderFile != nullptr) {
        HeaderFile->Write(Line.data(), Line.size());
    } else {
        Header += Line;
    }
}

void THttpClient::TakeReplyField(const ReplyLine& Field) {
    switch (Field.Field) {
        case ReplyField::SetCookie:
            ReplyCookie = Field.Value;
            ReplyCookies.push_back(ReplyCookie);
            break;
        case ReplyField::Location:
            ReplyLocation = Field.Value;
            break;
        case ReplyField::RetryAfter:
            ReplyRetryAfter = Field.Value;
            break;
        case ReplyField::Connection:
            ReplyConnection += ',' + Field.Value;
            break;
        case ReplyField::TransferEncoding:
            ReplyTransferEncoding += ',' + Field.Value;
            break;
        case ReplyField::ContentEncoding:
            ReplyContentEncoding += ',' + Field.Value;
            break;
        case ReplyField::ContentLength:
            ReplyLengthInvalid =
                ReplyLengthInvalid || !Field.LengthValid ||
                (ReplyContentLength >= 0 && Field.ContentLength != ReplyContentLength);
            ReplyContentLength = Field.ContentLength;
            BytesTotal = static_cast<std::int32_t>(
                std::min<std::int64_t>(std::max<std::int64_t>(ReplyContentLength, 0),
                                       std::numeric_limits<std::int32_t>::max()));
            break;
        case ReplyField::Other:
            break;
    }
}

bool THttpClient::ReplyHasBody() const {
    // A HEAD reply never has a body (RFC 1945 section 8.2), whatever its
    // header announces, so nothing is waited for after its empty line. The
    // link check needs no more than the status line.
    return RequestKind != cmdHead && ReplyNumber != kNoContent && ReplyNumber != kNotModified;
}

std::size_t THttpClient::KeptBodyBytes() const {
    if (InputFileMode) {
        return std::numeric_limits<std::size_t>::max();
    }
    if (HeaderOnly || (BodyWanted && !BodyWanted(*this))) {
        return 0;
    }
    return BodyReadLimit > 0 ? std::min(BodyReadLimit, kMaxBodyBytes) : kMaxBodyBytes;
}

void THttpClient::ReadReplyBody() {
    std::optional<OutputFile> bodyFile;
    if (InputFileMode) {
        bodyFile.emplace(Body);
    } else {
        Body.clear();
    }
    BytesRecvd = 0;
    bool ended = !ReplyHasBody();
    const std::size_t kept = ended ? 0 : KeptBodyBytes();
    // A body is read whole unless the caller wants only its start (or
    // none of it); then what comes beyond that is read and dropped only
    // while it is short and the connection stays open for the next request.
    const bool whole = kept > 0 && BodyReadLimit == 0;
    const bool chunked = EndsChunked(ReplyTransferEncoding);
    // A Transfer-Encoding overrides any Content-Length; one that does not
    // end chunked runs to the close (RFC 9112 section 6.3).
    const std::int64_t length = ReplyTransferEncoding.empty() ? ReplyContentLength : -1;
    std::size_t drop = 0;
    if (ReplyKeepsOpen && !whole && (chunked || length >= 0)) {
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
    BodyDecoding = BodyCoding::Identity;
    if (!bodyFile && kept > 0 && NamesContentCoding(ReplyContentEncoding)) {
        decoder.emplace(ReplyContentEncoding, kept);
    }
    const auto keeping = [&] {
        return decoder ? decoder->Status() == ContentDecoder::State::Decoding && coded < kept
                       : Body.size() < kept;
    };
    ChunkedBody chunks;
    std::size_t dropped = 0;
    bool trailing = false;
    bool sampleCut = false;
    // Only a whole body's end is a failure; a sample's is what came of it
    // (the abort may come while the body is received).
    const auto wholeWanted = [this] { return BodyReadLimit == 0 || AbortRequested; };
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
            if (bodyFile) {
                bodyFile->Write(data, size);
                return;
            }
            if (decoder) {
                const std::size_t taken = keeping() ? std::min(kept - coded, size) : 0;
                decoder->Take(std::string_view(data, taken), Body);
                coded += taken;
                dropped += size - taken;
                return;
            }
            const std::size_t taken = std::min(kept - Body.size(), size);
            Body.append(data, taken);
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
            return bodyFile || keeping();
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
    if (bodyFile) {
        bodyFile->Close();
    }
    if (decoder) {
        const bool unreadable = decoder->Status() == ContentDecoder::State::Unreadable;
        BodyDecoding = unreadable ? BodyCoding::Unreadable : BodyCoding::Decoded;
        if (unreadable) {
            Body.clear();
        }
    }
    if (Canceled) {
        if (wholeWanted()) {
            RaiseAborted(InputFileMode ? "Socket send aborted" : "Socket capture aborted",
                         TimedOut);
        }
        Canceled = false;
        sampleCut = true;
    }
    ConnectionReusable = ReplyKeepsOpen && ended && !trailing && !sampleCut && ReadAheadHeld() == 0;
}

void THttpClient::TakeOverCookies() {
    for (const std::string& value : ReplyCookies) {
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
            if (SameHost(cookie.Host, Host) && cookie.Name == name) {
                cookie.Pair = pair;
                replaced = true;
            }
        }
        if (!replaced) {
            TransactionCookies.push_back({Host, name, pair});
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
