#pragma once

#include "http/CmdType.h"
#include "http/ExStringList.h"
#include "http/HeaderInfo.h"
#include "http/ProxyRules.h"
#include "http/ReplyHeader.h"
#include "net/TcpSocket.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QEventLoop;

namespace vornakle {

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

// The User-Agent line under browser rules when none is set: a current
// mainstream desktop browser's, since many sites answer 403 to anything
// that does not look like one.
inline constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36";

// The HTTP/1.0 client component: one request per connection (RFC 1945).
// Each request operation runs a whole transaction (connect, send, read the
// reply, follow redirections, fire the outcome events) and returns when it
// is over; every failure leaves it as an exception. Like its socket layer it
// waits by dispatching the thread's messages, so the user interface stays
// live and may call Abort meanwhile.
class THttpClient : public TTcpSocket {
    Q_OBJECT

public:
    using TResultEvent = std::function<void(CmdType Cmd)>;

    // Passes of one transaction beyond the first: two URLs that redirect to
    // each other, or a chain of redirections, end after this many with the
    // last reply's number (RFC 7231 section 6.4 asks clients to detect such
    // cycles).
    static constexpr int kMaxRedirects = 10;
    // The same under BrowserRules, the bound browsers keep.
    static constexpr int kMaxBrowserRedirects = 20;

    // One request of a transaction: the URL asked and its reply number (0
    // when none came).
    struct TPass {
        std::string URL;
        std::int16_t ReplyNumber = 0;
    };

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

    explicit THttpClient(QObject* Owner = nullptr);
    ~THttpClient() override;

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
    // BrowserRules).
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
    // Requests and reads replies as today's browsers do rather than as
    // specified (off by default): HTTP/1.1 with "Connection: close", "Host"
    // with a port that is not the scheme's, UserAgent, browser "Accept"
    // lines, host names in their IDNA form, the target encoded as a browser
    // encodes it; 301, 302, 303, 307 and 308 followed for up to
    // kMaxBrowserRedirects passes, a loop being a target asked before with
    // the same cookies; the cookies of every reply kept until ClearCookies;
    // replies read leniently (LenientStatusNumber, ParseLenientReplyLine,
    // folded lines), interim replies (1xx) skipped; the proxy of each pass
    // chosen by Proxies, https through it by a CONNECT tunnel; user
    // information in a URL ("user:password@host", RFC 3986 section 3.2.1)
    // split off the host and sent as Basic authorization to that URL's
    // origin only, never to another origin a redirection leads to.
    bool BrowserRules = false;
    // The User-Agent line under BrowserRules; empty: kBrowserUserAgent.
    std::string UserAgent;
    ProxyRules Proxies;
    // A GET reads the status line and the header, then closes: the link
    // check never downloads a page.
    bool HeaderOnly = false;
    // Above 0: a reply body is read no further than this many bytes (within
    // kMaxBodyBytes) and the rest is left unread when the connection closes,
    // for a caller that needs only the start of a page. 0: the whole body.
    std::size_t BodyReadLimit = 0;

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
    // The last reply's Retry-After value (read under BrowserRules only).
    std::string ReplyRetryAfter;
    // Every pass of the last transaction in order, the failed one included.
    std::vector<TPass> Passes;
    // Set by each transaction.
    RedirectOutcome RedirectEnd = RedirectOutcome::None;

    // Events.
    TNotifyEvent OnAboutToSend;
    TResultEvent OnSuccess;
    TResultEvent OnFailure;
    THandlerEvent OnRedirect;
    TNotifyEvent OnAuthenticationNeeded;

private:
    // A cookie a redirection set, for the later passes of the same
    // transaction to the host that set it (RFC 6265 section 5.3: a cookie
    // without a Domain attribute goes back to its origin host only).
    struct TransactionCookie {
        std::string Host;
        std::string Name;
        std::string Pair;
    };

    // The credentials of a URL's user information under BrowserRules, for
    // the passes of one transaction to the same origin (scheme, host, port).
    struct TransactionCredentials {
        std::string Origin;
        std::string Basic;
    };

    void RunOperation(const std::string& URL, CmdType Kind);
    // ParseRequestURL as the rules in force read the authority.
    void SplitURL(std::string& URL, std::string& SplitHost, std::int32_t& SplitPort,
                  std::string& Path, std::string* UserInfo) const;
    // The origin of the pass ParseURL prepared, as one key.
    std::string PassOrigin() const;
    void TakeCredentials(const std::string& UserInfo);
    // Reads past the interim replies (1xx) before the final reply, whose
    // status line StatusLine then holds; false when they went on beyond
    // kMaxHeaderBytes.
    bool SkipInterimReplies(std::string& StatusLine);
    void BuildClassicHeader();
    void BuildBrowserHeader();
    void ChooseBrowserRoute();
    void OpenTunnel();
    void ReadBrowserHeaderLines(const std::function<void(const std::string&)>& Capture);
    void TakeReplyField(const ReplyLine& Field);
    // Whether this reply number redirects under the rules in force.
    bool FollowsRedirect(std::int16_t Reply) const;
    void RunPass();
    void ReadReplyBody();
    bool ReplyHasBody() const;
    void TakeOverCookies();
    std::string CookiesFor(const std::string& RequestHost) const;
    // The host, port and path CurrentURL leads to after a pass on the given
    // port, as one key; empty when it cannot be split.
    // Under BrowserRules the key also holds the cookies the pass would send.
    std::string TargetKey(std::int32_t PassPort) const;
    void SendBytes(const std::string& Bytes);
    void ThrowIfAborted() const;

    // Every "Set-Cookie" value of the current reply.
    std::vector<std::string> ReplyCookies;
    std::vector<TransactionCookie> TransactionCookies;
    TransactionCredentials Credentials;
    // The Authorization value of the pass ParseURL prepared; empty: none.
    std::string PassAuthorization;
    // The body length the reply announced (RFC 1945 section 7.2.2); -1 when
    // it announced none, and the body ends with the connection.
    std::int64_t ReplyContentLength = -1;
    // Set by Abort; a transaction that finds it set starts no further pass.
    bool AbortRequested = false;
    // The event loop of a running Wait, for Abort to end.
    QEventLoop* WaitLoop = nullptr;
};

}  // namespace vornakle
