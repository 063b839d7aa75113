#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "http/ExStringList.h"
#include "http/HttpClientSettings.h"
#include "http/HttpMessage.h"
#include "http/ReplyHeader.h"

namespace vornakle {

class TTcpSocket;

// How a pass got its connection: a new one, or one an earlier request left
// open (which the server may have closed meanwhile).
enum class ConnectionStart { Fresh, Reused };

// The host and port a connection left open after a request leads to, as
// the request named them.
struct ConnectionOrigin {
    std::string Host;
    std::int32_t Port = 0;
};

// Where one pass of a transaction goes: its URL as the rules read it, and
// what follows from it.
struct HttpPass {
    std::string Url;
    // The host and port to ask (and to connect to without a proxy).
    std::string Host;
    std::int32_t Port = 0;
    // The request target, before it is encoded for the request line.
    std::string Path;
    bool Tls = false;
    // The proxy it goes through; empty: none.
    std::string Proxy;
    std::int32_t ProxyPort = 0;
    // The URL's user information ("user:password"), empty for none.
    std::string UserInfo;
    // The Authorization value the rules give this pass; empty: none.
    std::string Authorization;
    // The request line and header lines composed for it.
    TExStringList RequestHeader;
};

// A URL as a transaction reads it: the first is the caller's, any later
// one came from a server.
enum class UrlSource { Caller, Redirection };

// How a THttpClient asks and reads: the rules it is made with, one object
// per client (HttpClientSettings::Rules). The client runs the transaction
// (passes, events, body, bounds, cookies); whatever differs between the
// rules is asked of its rules object over values: the pass, the request,
// the reply's head. ClassicRules are the component's own HTTP/1.0
// requests, BrowserRules those of today's browsers. The rules also open
// and release each pass's connection on the socket they are given, and
// keep one open for the next request where they say so.
class ClientRules {
public:
    // A pass that got a redirection (3xx) reply, as the rules decide on it.
    struct Redirection {
        // 0 for the transaction's first request.
        int Pass = 0;
        // The URL and the loop key of this pass.
        std::string URL;
        std::string Key;
        // The URL and the loop key of where the reply leads (an empty key
        // when it cannot be split).
        std::string NextURL;
        std::string NextKey;
        // The keys of every pass of the transaction so far, this one's last.
        const std::vector<std::string>* AskedKeys = nullptr;
    };

    explicit ClientRules(const HttpClientSettings& settings) : settings_(settings) {}
    virtual ~ClientRules() = default;

    ClientRules(const ClientRules&) = delete;
    ClientRules& operator=(const ClientRules&) = delete;

    // Passes of one transaction beyond the first before it ends as TooMany.
    virtual int MaxRedirects() const = 0;
    // Reads url into where a pass goes: its URL as these rules read it,
    // host, port, request target, TLS and user information. previous is
    // the pass before (or an empty one), whose host and port a URL without
    // its own keeps under the classic rules. A URL that is no address to ask
    // raises EConvertError, ESchemeRefused or ENotWebAddress.
    virtual HttpPass SplitUrl(const std::string& url, const HttpPass& previous,
                              UrlSource source) const = 0;
    // Where a redirection leads: its Location read against the URL the pass
    // asked.
    virtual std::string RedirectTarget(const HttpPass& pass, const std::string& location) const = 0;

    // A transaction starts: what is kept of the ones before it. True when
    // the cookies replies set are forgotten now.
    virtual bool StartTransaction() = 0;
    // The pass's route (proxy) and credentials.
    virtual void PreparePass(HttpPass& pass) = 0;
    // The request lines of the pass; cookies: those kept for its host.
    virtual TExStringList ComposeRequest(const HttpRequest& request, const HttpPass& pass,
                                         const std::string& cookies) const = 0;
    // Connects socket for the pass, through its proxy where it has one, or
    // takes the connection an earlier request left open to the same place.
    virtual ConnectionStart OpenConnection(TTcpSocket& socket, const HttpPass& pass);
    // The pass's reply has been read: its connection is closed, or kept
    // for the next request where the reply left it fit for one (reusable).
    virtual void ReleaseConnection(TTcpSocket& socket, const HttpPass& pass, bool reusable);
    // Where the connection kept open after the last request leads; none
    // when these rules keep none.
    virtual std::optional<ConnectionOrigin> KeptOrigin() const { return std::nullopt; }
    // Reads the reply header from socket after its first line, statusLine.
    virtual ReplyHead ReadReplyHeader(TTcpSocket& socket, std::string statusLine,
                                      HttpMethod method) const = 0;

    // Whether a reply with this number goes on at its Location.
    virtual bool FollowsRedirect(std::int16_t reply) const = 0;
    // Whether the cookies a reply with this number sets are kept.
    virtual bool KeepsCookies(std::int16_t reply) const = 0;
    // Whether a pass's loop key holds the cookies it sends: the same URL
    // asked again with new cookies is then no loop.
    virtual bool CookiesTellPassesApart() const = 0;
    // After a redirection reply: none when another pass follows, else how
    // the redirections ended (None: the reply is the answer).
    virtual std::optional<RedirectOutcome> EndOfRedirection(
        const ReplyHead& reply, const Redirection& redirection) const = 0;

protected:
    const HttpClientSettings& settings_;
};

// Whether a reply to method with this number has a body: a HEAD reply never
// has one (RFC 1945 section 8.2), whatever its header announces, nor 204
// and 304 (sections 9.2 and 9.3).
bool ReplyHasBody(HttpMethod method, std::int16_t reply);

// Sends every byte of bytes (SendBuffer takes at most 16 bits of length).
void SendBytes(TTcpSocket& socket, const std::string& bytes);

}  // namespace vornakle
