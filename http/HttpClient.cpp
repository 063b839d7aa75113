// THttpClient: the request operations, request composition and the
// transaction with its redirections.

#include "http/HttpClient.h"

#include "net/TransferSupport.h"

#include "http/UUProcessor.h"
#include "http/UrlCoder.h"
#include "http/UrlReference.h"
#include "http/UrlSplit.h"
#include "platform/AsciiCase.h"

#include <QBuffer>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

namespace vornakle {

namespace {

// The request word of each kind, with its trailing blank; kinds beyond the
// table send no request line.
constexpr const char* kRequestWords[] = {
    "GET ",  "OPTIONS ", "HEAD ",   "POST ", "PUT ",    "PATCH ",
    "COPY ", "MOVE ",    "DELETE ", "LINK ", "UNLINK ", "TRACE ",
};

constexpr const char* kHttpVersion = " HTTP/1.0";
constexpr const char* kFirstAccept =
    "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff";
constexpr const char* kSecondAccept =
    "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript";
constexpr const char* kContentType = "Content-type: application/x-www-form-urlencoded";

// Kinds whose request carries a body and its "Content-Length". LINK and
// UNLINK (RFC 2068 section 19.6.1.2) carry only their "Link" line: a length
// announced without its body would leave the server waiting for bytes that
// never come.
bool SendsBody(CmdType kind) {
    return kind == cmdPost || kind == cmdPut || kind == cmdPatch || kind == cmdTrace;
}

std::int64_t FileSize(const std::string& fileName) {
    FileHandle file(std::fopen(fileName.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        throw FileFailure(FileStep::Open, fileName);
    }
    const long size = std::ftell(file.get());
    if (size < 0) {
        throw FileFailure(FileStep::Open, fileName);
    }
    return size;
}

// The Base64 text of credentials on one line: the encoder ends every line
// of 60 characters with CR LF, and a header value must not hold them.
std::string BasicCredentials(const std::string& userId, const std::string& password) {
    QByteArray plain = QByteArray::fromStdString(userId + ":" + password);
    QByteArray encoded;
    QBuffer input(&plain);
    QBuffer output(&encoded);
    input.open(QIODevice::ReadOnly);
    output.open(QIODevice::ReadWrite);
    TUUProcessor processor;
    processor.Method = uuMime;
    processor.InputStream = &input;
    processor.OutputStream = &output;
    processor.Encode();
    std::string text;
    for (const char character : encoded) {
        if (character != '\r' && character != '\n') {
            text += character;
        }
    }
    return text;
}

}  // namespace

THttpClient::THttpClient(QObject* Owner) : TTcpSocket(Owner) {}

THttpClient::~THttpClient() = default;

void THttpClient::Abort() {
    // Without the "Abort" status of the socket layer's version.
    AsyncDone = true;
    // The time-out ends only the wait it bounds (a connect goes on to the
    // host's next address); a user's Abort ends the whole request.
    if (!TimeOutAborting) {
        AbortRequested = true;
    }
    if (WaitLoop != nullptr) {
        WaitLoop->quit();
    }
    Cancel();
}

void THttpClient::ThrowIfAborted() const {
    if (AbortRequested) {
        throw EAbortError("Request aborted", SockFailure::Canceled);
    }
}

void THttpClient::RunOperation(const std::string& URL, CmdType Kind) {
    CurrentURL = URL;
    RequestKind = Kind;
    RunRequest();
}

void THttpClient::Options(const std::string& URL) {
    RunOperation(URL, cmdOptions);
}

void THttpClient::Get(const std::string& URL) {
    RunOperation(URL, cmdGet);
}

void THttpClient::Post(const std::string& URL, const std::string& Data) {
    if (EncodePostData && !OutputFileMode) {
        TUrlCoder coder;
        coder.InputString = Data;
        SendData = coder.EncodedInput();
    } else {
        SendData = Data;
    }
    RunOperation(URL, cmdPost);
}

void THttpClient::Put(const std::string& URL, const std::string& Data) {
    SendData = Data;
    RunOperation(URL, cmdPut);
}

void THttpClient::Head(const std::string& URL) {
    RunOperation(URL, cmdHead);
}

void THttpClient::Patch(const std::string& URL, const std::string& Data) {
    SendData = Data;
    RunOperation(URL, cmdPatch);
}

void THttpClient::Delete(const std::string& URL) {
    RunOperation(URL, cmdDelete);
}

void THttpClient::Trace(const std::string& URL, const std::string& Data) {
    SendData = Data;
    RunOperation(URL, cmdTrace);
}

void THttpClient::Copy(const std::string& URL, const std::string& ToURL) {
    HeaderArgument = ToURL;
    RunOperation(URL, cmdCopy);
}

void THttpClient::Move(const std::string& URL, const std::string& ToURL) {
    HeaderArgument = ToURL;
    RunOperation(URL, cmdMove);
}

void THttpClient::Link(const std::string& URL, const std::string& LinkValue) {
    HeaderArgument = LinkValue;
    SendData = "Send.dat";
    RunOperation(URL, cmdLink);
}

void THttpClient::Unlink(const std::string& URL, const std::string& LinkValue) {
    HeaderArgument = LinkValue;
    SendData = "Send.dat";
    RunOperation(URL, cmdUnlink);
}

void THttpClient::SplitURL(std::string& URL, std::string& SplitHost, std::int32_t& SplitPort,
                           std::string& Path, std::string* UserInfo) const {
    ParseRequestURL(URL, SplitHost, SplitPort, Path,
                    AllowHttps ? SecureScheme::Allowed : SecureScheme::Refused,
                    BrowserRules ? AuthorityRule::Rfc3986 : AuthorityRule::Classic, UserInfo);
}

void THttpClient::ParseURL() {
    std::string userInfo;
    SplitURL(CurrentURL, Host, Port, RequestPath, &userInfo);
    if (const std::string scheme = UrlScheme(CurrentURL); !scheme.empty()) {
        UseTls = scheme == "https";
    }
    if (BrowserRules) {
        ChooseBrowserRoute();
        TakeCredentials(userInfo);
        return;
    }
    if (UseTls && !Proxy.empty()) {
        // A proxy's tunnel (CONNECT) is not made yet; sending the request to
        // the proxy in the clear would defeat the scheme.
        throw ESchemeRefused("HTTP Secure Socket is not supported through a proxy");
    }
}

std::string THttpClient::PassOrigin() const {
    return (UseTls ? "https://" : "http://") + AsciiLowerCase(Host) + ':' + std::to_string(Port);
}

void THttpClient::TakeCredentials(const std::string& UserInfo) {
    const std::string origin = PassOrigin();
    if (!UserInfo.empty()) {
        // "user:password", each percent-encoded where it holds reserved
        // characters (RFC 3986 section 3.2.1); the password may be missing.
        const auto decoded = [](const std::string& text) {
            return QByteArray::fromPercentEncoding(QByteArray::fromStdString(text)).toStdString();
        };
        const std::size_t colon = UserInfo.find(':');
        Credentials = {origin, BasicCredentials(decoded(UserInfo.substr(0, colon)),
                                                colon == std::string::npos
                                                    ? std::string()
                                                    : decoded(UserInfo.substr(colon + 1)))};
    }
    // Credentials belong to their origin: a redirection to another host,
    // port or scheme must not hand them on (RFC 9110 section 11.6.2 scopes
    // them to a protection space of one origin).
    PassAuthorization = Credentials.Origin == origin ? Credentials.Basic : std::string();
}

void THttpClient::BuildClassicHeader() {
    if (RequestKind < std::size(kRequestWords)) {
        const std::string target =
            EncodedRequestTarget(Proxy.empty() ? RequestPath : WithoutFragment(CurrentURL));
        RequestHeader.Add(kRequestWords[RequestKind] + target + kHttpVersion);
    }
    if (!Proxy.empty()) {
        RequestHeader.Add("Proxy-Connection: Keep-Alive");
        RequestHeader.Add("Host: " + Host);
    }
    RequestHeader.SetFieldValue("Host", Host);
    RequestHeader.Add(kFirstAccept);
    RequestHeader.Add(kSecondAccept);
    if (!HeaderInfo.LocalMailAddress.empty()) {
        RequestHeader.SetFieldValue("User-Agent", HeaderInfo.LocalMailAddress);
    }
    if (!HeaderInfo.LocalProgram.empty()) {
        RequestHeader.SetFieldValue("From", HeaderInfo.LocalProgram);
    }
    // Cookies a redirection of this transaction set for this host take the
    // place of the caller's own.
    const std::string redirectionCookies = CookiesFor(Host);
    const std::string& cookie = redirectionCookies.empty() ? HeaderInfo.Cookie : redirectionCookies;
    if (!cookie.empty()) {
        RequestHeader.SetFieldValue("Cookie", cookie);
    }
    if (!HeaderInfo.Referer.empty()) {
        RequestHeader.SetFieldValue("Referer", HeaderInfo.Referer);
    }
    if (!HeaderInfo.UserId.empty() && !HeaderInfo.Password.empty()) {
        RequestHeader.SetFieldValue(
            "Authorization", "Basic " + BasicCredentials(HeaderInfo.UserId, HeaderInfo.Password));
    }
    RequestHeader.Add(kContentType);
    if (RequestKind == cmdCopy || RequestKind == cmdMove) {
        RequestHeader.Add("URI-header: " + HeaderArgument);
    } else if (RequestKind == cmdLink || RequestKind == cmdUnlink) {
        RequestHeader.Add("Link: " + HeaderArgument);
    }
    if (SendsBody(RequestKind)) {
        const std::int64_t length =
            OutputFileMode ? FileSize(SendData) : static_cast<std::int64_t>(SendData.size());
        RequestHeader.Add("Content-Length: " + std::to_string(length));
    }
}

void THttpClient::BuildHeader() {
    RequestHeader.Clear();
    if (BrowserRules) {
        BuildBrowserHeader();
    } else {
        BuildClassicHeader();
    }
    // A line break or zero byte inside a value (a hostile Location, a
    // damaged shortcut) would end the line early and let the rest pass as
    // header lines of its own (RFC 7230 section 3.2.4 forbids them in field
    // values); such a request is not sent at all.
    for (std::int32_t index = 0; index < RequestHeader.Count(); ++index) {
        const std::string& line = RequestHeader.Strings(index);
        if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
            throw EHeaderValueError("Invalid character in request header");
        }
    }
}

void THttpClient::SendBytes(const std::string& Bytes) {
    // SendBuffer takes at most 16 bits of length, and a length of 0 would
    // mean "up to the first zero byte"; explicit pieces send every byte.
    constexpr std::size_t kPiece = std::numeric_limits<std::uint16_t>::max();
    for (std::size_t offset = 0; offset < Bytes.size(); offset += kPiece) {
        const std::size_t length = std::min(kPiece, Bytes.size() - offset);
        SendBuffer(Bytes.data() + offset, static_cast<std::uint16_t>(length));
    }
}

void THttpClient::SendRequest() {
    // The header and its closing empty line leave in one piece: a second
    // small send would wait for the acknowledgement of the first (Nagle's
    // rule) while the server waits for the empty line.
    std::string request = RequestHeader.Text() + "\r\n";
    if (SendsBody(RequestKind) && !OutputFileMode) {
        request += SendData;
    }
    SendBytes(request);
    if (SendsBody(RequestKind) && OutputFileMode) {
        SendFile(SendData);
    }
}

std::string THttpClient::TargetKey(std::int32_t PassPort) const {
    std::string url = CurrentURL;
    std::string host = Host;
    std::int32_t port = PassPort;
    std::string path;
    try {
        SplitURL(url, host, port, path, nullptr);
        if (BrowserRules) {
            host = AceHostName(host);
        }
    } catch (const Exception&) {
        // The next pass fails the same way and ends the transaction with
        // that error.
        return std::string();
    }
    std::string key = host + '\n' + std::to_string(port) + '\n' + path;
    if (BrowserRules) {
        // The same URL asked again with new cookies is how sites set a
        // session up; only a repeat with the same cookies is a loop.
        key += '\n' + CookiesFor(host);
    }
    return key;
}

void THttpClient::RunPass() {
    Connect();
    if (BrowserRules && UseTls && !Proxy.empty()) {
        OpenTunnel();
    }
    SendRequest();
    ReplyNumber = 0;
    ReadReplyHeader();
    ReadReplyBody();
    const std::int16_t reply = ReplyNumber;
    // A reply without a status line, or with no reply number from 100 to
    // 999 (both 0), is no success: the request failed.
    if (reply >= 1 && reply < 299) {
        if (OnSuccess) {
            OnSuccess(RequestKind);
        }
        ReportStatus(kReportCompletion, "Transaction Completed");
    } else if (reply >= 299 && reply <= 399) {
        // Only a Location of this reply redirects; without one the
        // transaction ends with this reply's number. A relative one means a
        // place relative to the URL this reply answered (RFC 3986 section
        // 5.2): this pass's scheme, host and port.
        if (FollowsRedirect(reply) && !ReplyLocation.empty()) {
            if (HasScheme(ReplyLocation)) {
                CurrentURL = ReplyLocation;
            } else {
                std::string base = (UseTls ? "https://" : "http://") + Host;
                if (Port != (UseTls ? kHttpsPort : kHttpPort)) {
                    base += ':' + std::to_string(Port);
                }
                CurrentURL = ResolveReference(base + RequestPath, ReplyLocation);
            }
        }
    } else if (OnFailure) {
        OnFailure(RequestKind);
    }
}

void THttpClient::RunRequest() {
    AbortRequested = false;
    RedirectEnd = RedirectOutcome::None;
    if (!BrowserRules) {
        TransactionCookies.clear();
    }
    Passes.clear();
    Credentials = TransactionCredentials();
    UseTls = false;
    std::vector<std::string> askedTargets;
    for (int pass = 0;; ++pass) {
        ParseURL();
        BuildHeader();
        if (OnAboutToSend) {
            OnAboutToSend(this);
        }
        ThrowIfAborted();
        const std::int32_t passPort = Port;
        std::string passKey = Host + '\n' + std::to_string(Port) + '\n' + RequestPath;
        if (BrowserRules) {
            passKey += '\n' + CookiesFor(Host);
        }
        const std::string passURL = CurrentURL;
        askedTargets.push_back(passKey);
        Passes.push_back({passURL, 0});
        try {
            RunPass();
            Passes.back().ReplyNumber = ReplyNumber;
        } catch (...) {
            try {
                Disconnect();
            } catch (...) {
                // The failure of the pass is what the caller needs to see.
            }
            throw;
        }
        Disconnect();

        const std::int16_t reply = ReplyNumber;
        const bool redirection = reply >= 300 && reply <= 399;
        bool again = false;
        if (BrowserRules || redirection) {
            TakeOverCookies();
        }
        if (redirection) {
            bool handled = false;
            if (OnRedirect) {
                OnRedirect(handled);
            }
            if (handled) {
                return;
            }
        }
        if (redirection && BrowserRules) {
            if (FollowsRedirect(reply)) {
                const std::string nextKey = TargetKey(passPort);
                if (ReplyLocation.empty()) {
                    RedirectEnd = RedirectOutcome::NoLocation;
                } else if (std::find(askedTargets.begin(), askedTargets.end(), nextKey) !=
                           askedTargets.end()) {
                    RedirectEnd = RedirectOutcome::Loop;
                } else if (pass < kMaxBrowserRedirects) {
                    again = true;
                } else {
                    RedirectEnd = RedirectOutcome::TooMany;
                }
            }
        } else if (redirection) {
            if (reply <= 302 && ReplyLocation.empty()) {
                RedirectEnd = RedirectOutcome::NoLocation;
            } else if (CurrentURL != passURL) {
                // A redirection to where this pass went would only repeat
                // the same reply; the bound ends cycles of several URLs.
                const std::string nextKey = TargetKey(passPort);
                if (nextKey == passKey) {
                    RedirectEnd = RedirectOutcome::Loop;
                } else if (pass < kMaxRedirects) {
                    again = true;
                } else {
                    RedirectEnd = std::find(askedTargets.begin(), askedTargets.end(), nextKey) !=
                                          askedTargets.end()
                                      ? RedirectOutcome::Loop
                                      : RedirectOutcome::TooMany;
                }
            } else if (reply <= 302) {
                RedirectEnd = RedirectOutcome::Loop;
            }
        }
        if (reply == 401 && OnAuthenticationNeeded) {
            OnAuthenticationNeeded(this);
        }
        if (!again) {
            return;
        }
        ThrowIfAborted();
    }
}

}  // namespace vornakle
