// THttpClient: reading the reply (status line, header lines, body) and the
// cookies a redirection hands on.

#include "http/HttpClient.h"

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
        case ReplyField::ContentLength:
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
    return RequestKind != cmdHead && !HeaderOnly && ReplyNumber != kNoContent &&
           ReplyNumber != kNotModified;
}

void THttpClient::ReadReplyBody() {
    std::optional<OutputFile> bodyFile;
    if (InputFileMode) {
        bodyFile.emplace(Body);
    } else {
        Body.clear();
    }
    BytesRecvd = 0;
    if (ReplyHasBody()) {
        // The body ends at the announced length (RFC 1945 section 7.2.2),
        // else when the server closes; a proxy that keeps the connection
        // open is thus no reason to wait, when the reply has a length.
        TReceiveTarget target;
        target.Length = ReplyContentLength;
        const std::size_t kept =
            BodyReadLimit > 0 ? std::min(BodyReadLimit, kMaxBodyBytes) : kMaxBodyBytes;
        if (BodyReadLimit > 0) {
            target.WantsMore = [&] { return BytesRecvd < static_cast<std::int64_t>(kept); };
        }
        // The time-out limits idle time while the body is kept; what comes
        // beyond the bound is drained under one last period.
        target.Take = [&](int Got) {
            if (bodyFile) {
                bodyFile->Write(Buffer, static_cast<std::size_t>(Got));
                return true;
            }
            const std::size_t room = kept - Body.size();
            Body.append(Buffer, std::min(room, static_cast<std::size_t>(Got)));
            return Body.size() < kept;
        };
        TimerOn();
        ScopeExit timerOff([this] { TimerOff(); });
        ReceiveStream(target);
    }
    if (bodyFile) {
        bodyFile->Close();
    }
    if (Canceled) {
        RaiseAborted(InputFileMode ? "Socket send aborted" : "Socket capture aborted", TimedOut);
    }
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
