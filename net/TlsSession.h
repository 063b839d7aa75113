#pragma once

#include "net/TlsContext.h"
#include "net/TlsIssuers.h"
#include "platform/WinSock.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using SSL = struct ssl_st;

namespace vornakle {

// The TLS client side of one connection. OpenSSL reads and writes through a
// BIO of ours that calls the WinSock layer's recv and send on the socket, so
// every byte still passes where WinSock's rules live: its error numbers, its
// end-of-stream and reset handling, and its re-enabling of FD_READ at each
// recv, which is what wakes a wait when the next TLS record arrives. The
// socket stays non-blocking; a step that needs the network answers "would
// block" and the component waits for its socket events as for plain data.
class TlsSession {
public:
    // Prepares the handshake with serverName: sent as SNI unless it is an IP
    // address (RFC 6066 section 3), and matched against the certificate's
    // DNS names, or for an address against its IP address entries (RFC 6125,
    // RFC 5280 section 4.2.1.6), unless the context is insecure. The
    // session of an earlier connection to serverName and port is offered
    // for resumption. With IssuerFetching::Allowed a chain that lacks an
    // issuer the certificate names an http address for is completed after
    // the handshake (IssuerMissing) instead of failing it.
    enum class IssuerFetching { Refused, Allowed };
    TlsSession(std::shared_ptr<TlsContext> context, winsock::SOCKET socket,
               const std::string& serverName, std::int32_t port,
               IssuerFetching fetching = IssuerFetching::Refused);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    enum class Step {
        Done,
        // Waits for the peer's data (a socket event).
        WantRead,
        // Waits for room to send.
        WantWrite,
        // The socket failed; WSAGetLastError has the WinSock error.
        SocketError,
        // The handshake is through, but the certificate's chain lacks an
        // issuer to fetch (IssuerAddressesToFetch); nothing may be sent
        // before the chain is complete (TakeIssuers, VerifyAgain).
        IssuerMissing,
    };
    // Runs the handshake as far as it gets without waiting. A failure of the
    // handshake itself raises ESockError of a TLS kind whose text says what
    // failed.
    Step Handshake();
    bool Established() const { return established_; }

    // Completing a chain the server sent without an intermediate: the
    // addresses the certificate that lacks its issuer names and that were
    // not asked yet, for kMaxIssuerRounds rounds (an issuer fetched may lack
    // its own); empty when there is nothing left to fetch.
    static constexpr int kMaxIssuerRounds = 3;
    std::vector<std::string> IssuerAddressesToFetch();
    // What url gave (none: nothing), taken as chain material only: the
    // certificates are never trusted for themselves.
    void TakeIssuers(const std::string& url, const std::optional<std::string>& body);
    // Verifies the chain again, with the issuers taken: true when it is
    // complete (the session is then established), false when it still
    // lacks an issuer; any other fault raises it as the handshake would.
    bool VerifyAgain();
    // Raises the missing issuer as the handshake would have, naming the
    // addresses that gave no certificate.
    [[noreturn]] void RefuseChain() const;
    // The addresses whose certificates completed the chain.
    const std::vector<std::string>& IssuersFetchedFrom() const { return fetchedFrom_; }

    // WinSock's recv and send over the secure connection: the byte count, 0
    // at the end of the stream, or SOCKET_ERROR with WSAGetLastError set
    // (WSAEWOULDBLOCK while the next record has not fully arrived, or the
    // socket's error). Peek leaves the bytes to be received again; it sees
    // at most the rest of the current record. A fault of the TLS protocol
    // raises ESockError (SockFailure::TlsProtocol).
    int Receive(char* data, int length, bool peek);
    int Send(const char* data, int length);
    // Whether decrypted data waits to be received; never raises.
    bool DataWaiting();
    // Sends the close_notify alert (RFC 8446 section 6.1) if the socket
    // takes it now; does not wait for the peer's.
    void Shutdown();

    // What the BIO knows of its socket: the WinSock error of its last failed
    // call, so that a failure OpenSSL passes on keeps its number.
    struct Transport {
        winsock::SOCKET Socket = winsock::INVALID_SOCKET;
        int LastError = 0;
    };

private:
    // After an SSL call returned result: 0 with the end of the stream,
    // SOCKET_ERROR with WSAGetLastError set, or it raises.
    int Failure(int result);
    // Verifies the peer's chain with the issuers taken, as the handshake
    // does; the X509_V_ERR code, and lacking_ set where an issuer is missing.
    long Verify();
    void Establish();

    struct FetchedIssuer {
        std::string Url;
        Certificate Issuer;
    };

    std::shared_ptr<TlsContext> context_;
    // The name and port whose sessions this connection offers and is given.
    std::string peer_;
    Transport transport_;
    SSL* ssl_ = nullptr;
    bool established_ = false;
    IssuerFetching fetching_;
    // The certificate whose issuer the last verification did not find.
    Certificate lacking_;
    std::vector<FetchedIssuer> issuers_;
    std::vector<std::string> asked_;
    std::vector<std::string> unanswered_;
    std::vector<std::string> fetchedFrom_;
    int rounds_ = 0;
};

}  // namespace vornakle
