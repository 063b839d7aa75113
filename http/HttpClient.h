#pragma once

#include "http/ClientRules.h"
#include "http/CmdType.h"
#include "http/ExStringList.h"
#include "http/HeaderInfo.h"
#include "http/ProxyRules.h"
#include "http/ReplyHeader.h"
#include "http/RequestHop.h"
#include "net/TcpSocket.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QEventLoop;

namespace vornakle {

class OutputFile;

// A proxy would not open the tunnel (CONNECT) to the server asked for.
class EProxyError : public Exception {
public:
    using Exception::Exception;
};

// A request header line would carry a line break or a zero byte (a host
// or a Location that holds one): the request is not sent.
class EHeaderValueError : public Exception {
public:
    using Exception::Exception;
};

// A reply whose body has no end the client can tell (its Content-Length
// lines name no single length): what follows it on the connection could be
// read as the next reply, so it is no answer and its connection is closed.
class EMalformedReply : public Exception {
public:
    using Exception::Exception;
};

// The rules a client asks and reads by, chosen when it is made: its own
// (classic) or today's browsers' (browser; see BrowserRules).
enum class RequestRules { Classic, Browser };

// The User-Agent line under browser rules when none is set: a current
// mainstream desktop browser's, since many sites answer 403 to anything
// that does not look like one.
inline constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36";

// The HTTP/1.0 client component: one request per connection (RFC 1945),
// or under browser rules that keep them, HTTP/1.1 connections that carry
// request after request to the same place. Each request operation runs a whole transaction
// (connect, send, read the reply, follow redirections, fire the outcome events) and returns when it
// is over; every failure leaves it as an exception. Like its socket layer it
// waits by dispatching the thread's messages, so the user interface stays
// live and may call Abort meanwhile. What differs between its rules is
// asked of the rules object it is made with (ClientRules).
class THttpClient : public TTcpSocket {
    Q_OBJECT

public:
    using TResultEvent = std::function<void(CmdType Cmd)>;

    // Passes of one transaction beyond the first: two URLs that redirect to
    // each other, or a chain of redirections, end after this many with the
    // last reply's number (RFC 7231 section 6.4 asks clients to detect such
    // cycles).
    static constexpr int kMaxRedirects = 10;
    // The same under browser rules, the bound browsers keep.
    static constexpr int kMaxBrowserRedirects = 20;

    // How a transaction's redirections ended when they led nowhere: the
    // last reply (300 to 302) is then no answer about the URL asked for.
    enum class RedirectOutcome {
        // No redirection was left unfollowed.
        None,
        // The next target was one this transaction had asked already.
        Loop,
        // kMaxRedirects passes followed the first and the chain went on.
        TooMany,
        // A 300 to 302 reply named no Location.
        NoLocation,
    };
    // Reply body bytes kept in the Body string; the rest of a longer body is
    // received and dropped, so a server streaming without end cannot exhaust
    // memory. Once the bound is reached the time-out is no longer restarted
    // by arriving data, so TimeOut then limits the rest of the read as a
    // whole.
    static constexpr std::size_t kMaxBodyBytes = 4 * 1024 * 1024;
    // Reply header bytes read as header. A header that goes on beyond this is
    // not read further (the rest counts as body), so endless header lines
    // cannot exhaust memory either.
    static constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
    // A body's rest beyond what is kept is read and dropped up to this many
    // bytes when that leaves its connection fit for the next request; a
    // longer rest costs more than a new connection, which it gets instead.
    static constexpr std::size_t kMaxDrainBytes = 64 * 1024;
    // A connection kept open is not used again after this long idle:
    // servers close idle connections after a few seconds (Apache's default
    // is 5), and a request sent as the close is under way would be lost.
    static constexpr int kMaxIdleMilliseconds = 4000;

    // A client of the classic rules.
    explicit THttpClient(QObject* Owner = nullptr);
    // Under browser rules a connection is asked for each request unless
    // Reuse says Keep; the classic rules always do so.
    THttpClient(RequestRules Rules, QObject* Owner = nullptr);
    THttpClient(RequestRules Rules, ConnectionReuse Reuse, QObject* Owner = nullptr);
    ~THttpClient() override;

    // Passes of one transaction beyond the first, under the client's rules.
    int MaxRedirects() const { return Policy->MaxRedirects(); }

    // Ends the running request: a pending host lookup stops waiting, the
    // running socket operation ends with its cancel exception, and no
    // further pass of a redirection starts. Meant for a Cancel button's
    // handler, which runs while the request waits for the network.
    void Abort() override;

    // The request operations. Each stores URL in CurrentURL (and its second
    // argument as told), sets RequestKind and runs the transaction; the
    // outcome is in ReplyNumber, Header, Body and the events.
    virtual void Options(const std::string& URL);
    virtual void Get(const std::string& URL);
    // Data is form-encoded while EncodePostData is set (string mode only);
    // in OutputFileMode it names the file whose bytes are the body.
    virtual void Post(const std::string& URL, const std::string& Data);
    virtual void Put(const std::string& URL, const std::string& Data);
    // What the link check calls; no body is read for a HEAD request.
    virtual void Head(const std::string& URL);
    virtual void Patch(const std::string& URL, const std::string& Data);
    virtual void Delete(const std::string& URL);
    virtual void Trace(const std::string& URL, const std::string& Data);
    virtual void Copy(const std::string& URL, const std::string& ToURL);
    virtual void Move(const std::string& URL, const std::string& ToURL);
    virtual void Link(const std::string& URL, const std::string& LinkValue);
    virtual void Unlink(const std::string& URL, const std::string& LinkValue);

    // Waits Milliseconds dispatching the thread's messages, as a request
    // does; Abort ends the wait with EAbortError.
    void Wait(std::int32_t Milliseconds);
    // Forgets the cookies replies have set (kept across transactions under
    // browser rules).
    void ClearCookies();

    // The steps of a transaction, in the order RunRequest takes them.
    virtual void RunRequest();
    virtual void ParseURL();
    virtual void BuildHeader();
    virtual void SendRequest();
    virtual void ReadReplyHeader();

    // Settings.
    // The reply body, or in InputFileMode the name of the file it goes to.
    std::string Body = "Default.htm";
    // The reply header, or in OutputFileMode the name of the file it goes to.
    std::string Header = "Head.txt";
    THeaderInfo HeaderInfo;
    bool InputFileMode = false;
    // The request body comes from the file named by SendData, and the reply
    // header goes to the file named by Header.
    bool OutputFileMode = false;
    bool EncodePostData = true;
    // "https" URLs are requested over TLS, on port 443 unless the URL names
    // one; off, they are refused with "HTTP Secure Socket is not supported".
    // The certificate is checked as TlsCaFile and TlsInsecure say. Each
    // pass sets UseTls from its URL's scheme; a URL without one (a
    // redirection to a path) goes as the pass before it did.
    bool AllowHttps = false;
    // The User-Agent line under browser rules; empty: kBrowserUserAgent.
    std::string UserAgent;
    // Where each pass under browser rules goes through a proxy.
    ProxyRules Proxies;
    // Header lines ("Name: value") each request under browser rules sends
    // as well; one whose name the rules' own request has takes its place.
    std::vector<std::string> ExtraHeaders;
    // A GET reads the status line and the header, then closes, or where that
    // keeps the connection for the next request, reads and drops a body of
    // up to kMaxDrainBytes: no page is kept.
    bool HeaderOnly = false;
    // Above 0: a reply body is read no further than this many bytes (within
    // kMaxBodyBytes), for a caller that needs only the start of a page; the
    // rest is left unread as the connection closes, or read and dropped as
    // under HeaderOnly. 0: the whole body. A body read so is a sample:
    // should it end early (a time-out, a reset, a broken coding), the reply
    // stands with what came.
    std::size_t BodyReadLimit = 0;
    // Asked once a reply header is in: whether its body is kept; unset,
    // every body is. A body not kept (nor one under HeaderOnly) is not
    // read, or read and dropped where that keeps the connection for the
    // next request (kMaxDrainBytes).
    std::function<bool(const THttpClient& Client)> BodyWanted;

    // The running (or last) request.
    std::string CurrentURL;
    CmdType RequestKind = cmdGet;
    std::string SendData;
    std::string HeaderArgument;
    std::string RequestPath;
    TExStringList RequestHeader;

    // What the last reply said. ReplyLocation and ReplyCookie are those of
    // the last reply only: both are emptied when a reply starts.
    std::string ReplyLocation;
    std::string ReplyCookie;
    // The last reply's Retry-After value (read under browser rules only).
    std::string ReplyRetryAfter;
    // Every pass of the last transaction in order, the failed one included.
    std::vector<RequestHop> Hops;
    // Set by each transaction.
    RedirectOutcome RedirectEnd = RedirectOutcome::None;
    // How the last reply's body reads. Under browser rules a body in a
    // content coding (Content-Encoding) is kept decoded, within the same
    // bound as any other (ContentDecoder); one whose coding is unknown or
    // broken is Unreadable and Body then empty, since a browser would show
    // an error instead of its page. The file modes keep what arrives.
    enum class BodyCoding { Identity, Decoded, Unreadable };
    BodyCoding BodyDecoding = BodyCoding::Identity;
    // Where the connection the last request left open leads; none when it
    // was closed (or the rules keep none).
    std::optional<ConnectionOrigin> KeptConnection() const;

    // Events.
    TNotifyEvent OnAboutToSend;
    TResultEvent OnSuccess;
    TResultEvent OnFailure;
    THandlerEvent OnRedirect;
    TNotifyEvent OnAuthenticationNeeded;

private:
    friend class ClassicRules;
    friend class BrowserRules;

    // A cookie a reply set, for the later passes to the host that set it
    // (RFC 6265 section 5.3: a cookie without a Domain attribute goes back
    // to its origin host only).
    struct TransactionCookie {
        std::string Host;
        std::string Name;
        std::string Pair;
    };

    void RunOperation(const std::string& URL, CmdType Kind);
    // ParseRequestURL as the client's rules read the authority.
    void SplitURL(std::string& URL, std::string& SplitHost, std::int32_t& SplitPort,
                  std::string& Path, std::string* UserInfo) const;
    // A line of the reply header, into Header (or the header file) while
    // the header is within kMaxHeaderBytes.
    void TakeHeaderLine(const std::string& Line);
    void TakeReplyField(const ReplyLine& Field);
    void RunPass();
    // Sends the request and reads the reply header on the pass's
    // connection; a kept connection that fails before the reply's first
    // byte is given up and the request sent once more on a new one.
    void ExchangeHeaders();
    void ReadReplyBody();
    bool ReplyHasBody() const;
    // How much of the body ReadReplyBody keeps.
    std::size_t KeptBodyBytes() const;
    void TakeOverCookies();
    std::string CookiesFor(const std::string& RequestHost) const;
    // What tells the targets of a transaction's passes apart, to find a
    // loop: host, port and path, and the cookies where the rules say so.
    std::string PassKey(const std::string& KeyHost, std::int32_t KeyPort,
                        const std::string& Path) const;
    // The key of the target CurrentURL leads to after a pass on the given
    // port; empty when it cannot be split.
    std::string TargetKey(std::int32_t PassPort) const;
    void SendBytes(const std::string& Bytes);
    void ThrowIfAborted() const;

    std::unique_ptr<ClientRules> Policy;
    // Every "Set-Cookie" value of the current reply.
    std::vector<std::string> ReplyCookies;
    std::vector<TransactionCookie> TransactionCookies;
    // The body length the reply announced (RFC 1945 section 7.2.2); -1 when
    // it announced none, and the body ends with the connection.
    std::int64_t ReplyContentLength = -1;
    // The reply's Content-Length lines name no single length: one is no
    // number, or two differ.
    bool ReplyLengthInvalid = false;
    // The reply's Connection and Transfer-Encoding values, joined by commas
    // (read under browser rules only).
    std::string ReplyConnection;
    std::string ReplyTransferEncoding;
    // The reply's Content-Encoding values, joined by commas (read under
    // browser rules only, so only they decode bodies).
    std::string ReplyContentEncoding;
    // Set by the rules once the header is in: the connection may carry the
    // next request when the body is read to its end.
    bool ReplyKeepsOpen = false;
    // Set once the body is read: the reply ended where its framing says,
    // nothing followed it, and its connection may carry the next request.
    bool ConnectionReusable = false;
    // While a reply header is read: the file it goes to in OutputFileMode
    // (else Header), and its bytes so far.
    OutputFile* HeaderFile = nullptr;
    std::size_t HeaderBytes = 0;
    // Set by Abort; a transaction that finds it set starts no further pass.
    bool AbortRequested = false;
    // The event loop of a running Wait, for Abort to end.
    QEventLoop* WaitLoop = nullptr;
};

}  // namespace vornakle
