#pragma once

#include "http/ClientRules.h"
#include "http/HttpClientSettings.h"
#include "http/HttpErrors.h"
#include "http/HttpMessage.h"
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

// The HTTP client component: a request value in, a reply value out. Under
// the classic rules one HTTP/1.0 request per connection (RFC 1945); under
// browser rules HTTP/1.1 connections that may carry request after request
// to the same place. A request runs a whole transaction (connect, send,
// read the reply, follow redirections, fire the outcome events) and returns
// when it is over. Like its socket layer it waits by dispatching the
// thread's messages, so the user interface stays live and may call Abort
// meanwhile. How it asks is fixed when it is made (HttpClientSettings);
// what differs between its rules is asked of the rules object made from
// them (ClientRules).
class THttpClient : public TTcpSocket {
    Q_OBJECT

public:
    using TResultEvent = std::function<void(HttpMethod Method)>;

    // Reply body bytes kept; the rest of a longer body is received and
    // dropped, so a server streaming without end cannot exhaust memory. Once
    // the bound is reached the time-out is no longer restarted by arriving
    // data, so TimeOut then limits the rest of the read as a whole.
    static constexpr std::size_t kMaxBodyBytes = 4 * 1024 * 1024;
    static constexpr std::size_t kMaxHeaderBytes = kMaxReplyHeaderBytes;
    // A body's rest beyond what is kept is read and dropped up to this many
    // bytes when that leaves its connection fit for the next request; a
    // longer rest costs more than a new connection, which it gets instead.
    static constexpr std::size_t kMaxDrainBytes = 64 * 1024;

    explicit THttpClient(HttpClientSettings Settings = {}, QObject* Owner = nullptr);
    ~THttpClient() override;

    const HttpClientSettings& Settings() const { return ClientSettings; }
    // Passes of one transaction beyond the first, under the client's rules.
    int MaxRedirects() const { return Policy->MaxRedirects(); }

    // Runs the transaction of Request. Every failure is an exception derived
    // from vornakle::Exception.
    HttpReply Send(const HttpRequest& Request);
    // The same, a failure kept in the reply's Failure with what came before
    // it (the passes, the server that failed) rather than thrown.
    HttpReply Exchange(const HttpRequest& Request);

    // Requests of one kind; Post sends Data form-encoded, Put and Patch as
    // it is.
    HttpReply Get(const std::string& URL);
    HttpReply Head(const std::string& URL);
    HttpReply Options(const std::string& URL);
    HttpReply Delete(const std::string& URL);
    HttpReply Post(const std::string& URL, const std::string& Data);
    HttpReply Put(const std::string& URL, const std::string& Data);
    HttpReply Patch(const std::string& URL, const std::string& Data);

    // Ends the running request: a pending host lookup stops waiting, the
    // running socket operation ends with its cancel exception, and no
    // further pass of a redirection starts. Meant for a Cancel button's
    // handler, which runs while the request waits for the network.
    void Abort() override;
    // Waits Milliseconds dispatching the thread's messages, as a request
    // does; Abort ends the wait with EAbortError.
    void Wait(std::int32_t Milliseconds);
    // Forgets the cookies replies have set (kept across transactions under
    // browser rules).
    void ClearCookies();
    // Where the connection the last request left open leads; none when it
    // was closed (or the rules keep none).
    std::optional<ConnectionOrigin> KeptConnection() const;

    // The pass under way (or the last one): its URL, route and request
    // lines, for the events' handlers.
    const HttpPass& CurrentPass() const { return Pass; }

    // Events.
    TNotifyEvent OnAboutToSend;
    TResultEvent OnSuccess;
    TResultEvent OnFailure;
    THandlerEvent OnRedirect;
    TNotifyEvent OnAuthenticationNeeded;

private:
    // A cookie a reply set, for the later passes to the host that set it
    // (RFC 6265 section 5.3: a cookie without a Domain attribute goes back
    // to its origin host only).
    struct TransactionCookie {
        std::string Host;
        std::string Name;
        std::string Pair;
    };

    void RunTransaction(const HttpRequest& Request, HttpReply& Reply);
    // Splits URL into the pass and prepares its route and request lines.
    void StartPass(const HttpRequest& Request, const std::string& URL, UrlSource Source);
    // One pass: the request sent, the reply's header and body read into
    // Reply, the outcome events fired; the head read is returned.
    ReplyHead RunPass(const HttpRequest& Request, HttpReply& Reply);
    // Sends the request and reads the reply header on the pass's
    // connection; a kept connection that fails before the reply's first
    // byte is given up and the request sent once more on a new one.
    ReplyHead ExchangeHeaders(const HttpRequest& Request);
    // Reads the body of the reply Head heads into Reply; true when the
    // connection may carry the next request.
    bool ReadReplyBody(const HttpRequest& Request, const ReplyHead& Head, HttpReply& Reply);
    void TakeOverCookies(const std::vector<std::string>& Cookies);
    std::string CookiesFor(const std::string& RequestHost) const;
    // What tells the targets of a transaction's passes apart, to find a
    // loop: host, port and path, and the cookies where the rules say so.
    std::string PassKey(const HttpPass& Target) const;
    // The key of where URL leads after the current pass; empty when it
    // cannot be split.
    std::string TargetKey(const std::string& URL) const;
    void ThrowIfAborted() const;

    const HttpClientSettings ClientSettings;
    const std::unique_ptr<ClientRules> Policy;
    HttpPass Pass;
    std::vector<TransactionCookie> TransactionCookies;
    // Set by Abort; a transaction that finds it set starts no further pass.
    bool AbortRequested = false;
    // The event loop of a running Wait, for Abort to end.
    QEventLoop* WaitLoop = nullptr;
};

}  // namespace vornakle
