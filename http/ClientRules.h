#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "http/UrlSplit.h"

namespace vornakle {

class THttpClient;

// Whether a client keeps a connection open after a request for its next
// request to the same place (HTTP/1.1 persistent connections, RFC 9112
// section 9.3) or asks each on a connection of its own.
enum class ConnectionReuse { Keep, CloseEach };

// How a pass got its connection: a new one, or one an earlier request left
// open (which the server may have closed meanwhile).
enum class ConnectionStart { Fresh, Reused };

// The host and port a connection left open after a request leads to, as
// the request named them.
struct ConnectionOrigin {
    std::string Host;
    std::int32_t Port = 0;
};

// How a THttpClient asks and reads: the rules it is made with, one object
// per client, chosen when the client is made (THttpClient's RequestRules).
// The client runs the transaction (passes, events, body, bounds); whatever
// differs between the rules is asked of its rules object: ClassicRules are
// the component's own HTTP/1.0 requests, BrowserRules those of today's
// browsers. The rules also open and release each pass's connection, and
// keep one open for the next request where they say so.
class ClientRules {
public:
    // A pass that got a redirection (3xx) reply, as the rules decide on it.
    struct Redirection {
        // 0 for the transaction's first request.
        int Pass = 0;
        // The URL and the loop key (THttpClient::PassKey) of this pass.
        std::string URL;
        std::string Key;
        // The port this pass went to, which a Location without one keeps.
        std::int32_t Port = 0;
        // The keys of every pass of the transaction so far, this one's last.
        const std::vector<std::string>* AskedKeys = nullptr;
    };

    virtual ~ClientRules() = default;

    // Passes of one transaction beyond the first before it ends as TooMany.
    virtual int MaxRedirects() const = 0;
    // Splits Url into the host to connect to, the port and the request
    // target, as these rules read a URL; Url becomes the URL as they read
    // it. UserInfo, when given, receives the URL's user information
    // ("user:password", empty for none). A URL that is no address to ask
    // raises EConvertError, ESchemeRefused or ENotWebAddress.
    virtual void SplitUrl(const THttpClient& client, std::string& url, std::string& host,
                          std::int32_t& port, std::string& path, std::string* userInfo) const = 0;
    // Where the pass's redirection leads: its Location read against the URL
    // the pass asked.
    virtual std::string RedirectTarget(const THttpClient& client) const = 0;
    // The host as the requests and the loop keys name it.
    virtual std::string RequestHost(const std::string& host) const = 0;

    // A transaction starts: what is kept of the ones before it.
    virtual void StartTransaction(THttpClient& client) = 0;
    // The pass's URL has been split into Host, Port, RequestPath and UseTls:
    // its route (proxy) and credentials. UserInfo: the URL's user
    // information, empty when it has none.
    virtual void PreparePass(THttpClient& client, const std::string& userInfo) = 0;
    // The request lines of the pass, into the client's empty RequestHeader.
    virtual void ComposeRequest(THttpClient& client) const = 0;
    // Connects the pass to its server, through its proxy where it has one,
    // or takes the connection an earlier request left open to the same
    // place.
    virtual ConnectionStart OpenConnection(THttpClient& client);
    // The pass's reply has been read: its connection is closed, or kept
    // for the next request where the reply left it fit for one.
    virtual void ReleaseConnection(THttpClient& client);
    // Where the connection kept open after the last request leads; none
    // when these rules keep none.
    virtual std::optional<ConnectionOrigin> KeptOrigin() const { return std::nullopt; }
    // Reads the rest of the reply header after its first line, StatusLine:
    // the reply number and the fields the client acts on, each line handed
    // to client.TakeHeaderLine.
    virtual void ReadReplyHeader(THttpClient& client, std::string statusLine) = 0;

    // Whether a reply with this number goes on at its Location.
    virtual bool FollowsRedirect(std::int16_t reply) const = 0;
    // Whether the cookies a reply with this number sets are kept.
    virtual bool KeepsCookies(std::int16_t reply) const = 0;
    // Whether a pass's loop key holds the cookies it sends: the same URL
    // asked again with new cookies is then no loop.
    virtual bool CookiesTellPassesApart() const = 0;
    // After a redirection: true when another pass follows, else the client's
    // RedirectEnd says how the redirections ended.
    virtual bool FollowRedirection(THttpClient& client, const Redirection& redirection) const = 0;
};

}  // namespace vornakle
