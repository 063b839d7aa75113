#pragma once

// A TCP server on 127.0.0.1 (or another loopback address, ::1 included) for
// the socket, HTTP, verification and checker tests, written on plain POSIX
// sockets, threads and OpenSSL's server side, so that it shares nothing with
// the code under test. Given a certificate it runs its scripts over TLS: the
// handshake first, then every step on the secure connection, so that one
// table of server behaviours runs over http and https alike. Every accepted connection runs the
// same script; the server records the exact bytes each connection received; a server made with a
// list of scripts runs them on its connections in turn (the last one on every further connection),
// for exchanges that take several connections, such as a redirection. It never outlives its
// lifetime: when that passes (or on Stop, or destruction) every connection is closed and every
// thread ends.

#include "support/TestCertificates.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vornakle::testing {

// What the server does on each connection, step by step. After the last step
// the connection is closed gracefully unless a step closed it already.
class ServerScript {
public:
    // Sends bytes.
    ServerScript& Send(std::string bytes);
    // Reads (and records) until the bytes received on this connection contain
    // text.
    ServerScript& ReadUntil(std::string text);
    // Waits without reading.
    ServerScript& Pause(std::chrono::milliseconds duration);
    // Sends chunk every interval, count times; count 0 streams until the
    // peer goes or the server stops.
    ServerScript& Trickle(std::string chunk, std::chrono::milliseconds interval, int count);
    // Sends back every byte received until the peer closes.
    ServerScript& Echo();
    // Keeps the connection open and silent, recording what arrives, until the
    // peer closes or the server stops.
    ServerScript& Hold();
    // Keeps the connection open without reading anything, so that the peer's
    // sends eventually find no room.
    ServerScript& HoldWithoutReading();
    // Closes gracefully now.
    ServerScript& Close();
    // Closes with a reset (linger 0) now.
    ServerScript& Reset();
    // Waits until at least count connections of the server are open at the
    // same time, or limit has passed, so that a test of parallel clients
    // does not depend on how fast they start.
    ServerScript& AwaitOpen(int count, std::chrono::milliseconds limit);
    // From here on the connection no longer counts as open (for
    // MaxConcurrentConnections and AwaitOpen). Put before the last answer:
    // a client that has its answer may close and connect again before this
    // server gets round to closing, which is no overlap on the client's side.
    ServerScript& StopCounting();
    // A server with a certificate secures the connection here instead of at
    // its start, after the plain steps before (a proxy's CONNECT answer).
    ServerScript& StartTls();
    // Reads the request header and sends what reply makes of it (the bytes
    // received on this connection since the request the Answer before took),
    // as a site answers each address with its own page.
    ServerScript& Answer(std::function<std::string(const std::string& request)> reply);

    struct Step {
        enum class Kind {
            Send,
            ReadUntil,
            Pause,
            Trickle,
            Echo,
            Hold,
            HoldWithoutReading,
            Close,
            Reset,
            AwaitOpen,
            StopCounting,
            StartTls,
            Answer
        };
        Kind kind;
        std::string bytes;
        std::chrono::milliseconds duration{0};
        int count = 0;  // Answer: the number of its reply function
    };
    const std::vector<Step>& Steps() const { return steps_; }
    const std::function<std::string(const std::string&)>& Reply(const Step& step) const {
        return replies_.at(static_cast<std::size_t>(step.count));
    }

private:
    std::vector<Step> steps_;
    std::vector<std::function<std::string(const std::string&)>> replies_;
};

class LoopbackServer {
public:
    struct Options {
        // Upper bound of the server's whole life.
        std::chrono::milliseconds lifetime{std::chrono::seconds(60)};
        // SO_RCVBUF of the accepted connections; 0 keeps the system's.
        int receiveBufferBytes = 0;
        // The address listened on, numeric; it must be a loopback address
        // (127.0.0.0/8 or ::1), which Linux answers on without any set-up.
        std::string address = "127.0.0.1";
        // Given: each connection starts with the TLS handshake, this
        // certificate presented; every Send is one TLS record (or more, for
        // more than 16 KiB), Close sends close_notify first.
        std::optional<TestIdentity> tls;
        ServerSessions sessions = ServerSessions::None;
    };

    explicit LoopbackServer(ServerScript script);
    LoopbackServer(ServerScript script, Options options);
    // Connection number index runs scripts[index], or the last script when
    // there are fewer; the list must not be empty.
    explicit LoopbackServer(std::vector<ServerScript> scripts);
    LoopbackServer(std::vector<ServerScript> scripts, Options options);
    ~LoopbackServer();

    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t Port() const { return port_; }
    const std::string& Address() const { return options_.address; }

    // Bytes received on the connection accepted as number index (from 0);
    // empty when there is none.
    std::string Received(std::size_t index = 0) const;
    int ConnectionsAccepted() const;
    // Connections whose script has ended and which the server has closed.
    int ConnectionsFinished() const;
    // The most connections that were open at the same time.
    int MaxConcurrentConnections() const;

    // Wait (bounded) for a condition; false when the time passed first.
    bool WaitForConnections(int count, std::chrono::milliseconds limit = kWaitLimit) const;
    bool WaitForFinished(int count, std::chrono::milliseconds limit = kWaitLimit) const;
    bool WaitForReceived(std::size_t index, const std::string& text,
                         std::chrono::milliseconds limit = kWaitLimit) const;

    // Closes every connection and ends every thread.
    void Stop();

    static constexpr std::chrono::milliseconds kWaitLimit{std::chrono::seconds(20)};

    // Whether this machine has the IPv6 loopback address to listen on.
    static bool Ipv6LoopbackAvailable();
    // Connections whose TLS handshake failed on the server's side (the
    // client refused the certificate, or spoke no TLS).
    int HandshakesFailed() const;
    // The server name the client indicated (SNI) in the TLS handshake of
    // connection number index; empty when it indicated none.
    std::string ServerName(std::size_t index = 0) const;
    // Whether connection number index resumed an earlier TLS session.
    bool SessionResumed(std::size_t index) const;

private:
    void AcceptLoop();
    void Serve(int descriptor, std::size_t index);
    bool Stopping() const;

    std::vector<ServerScript> scripts_;
    Options options_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::chrono::steady_clock::time_point deadline_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    std::vector<std::string> received_;
    int finished_ = 0;
    int open_ = 0;
    int maxOpen_ = 0;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
    std::shared_ptr<SSL_CTX> tlsContext_;
    int handshakesFailed_ = 0;
    std::vector<std::string> serverNames_;
    std::vector<bool> resumed_;
};

// A port on 127.0.0.1 that refuses connections: bound, so no one else takes
// it while it lives, but not listening.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::uint16_t Port() const { return port_; }

private:
    int descriptor_ = -1;
    std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 where a connect neither completes nor fails: it listens
// with a full accept queue (one connection of its own, never accepted), so
// the system drops every further connection request.
class UnansweringPort {
public:
    UnansweringPort();
    // The same at an IPv4 loopback address and a chosen port (0: any), so
    // that a name's addresses can share a port where one answers and one
    // does not.
    UnansweringPort(const std::string& address, std::uint16_t port);
    ~UnansweringPort();
    UnansweringPort(const UnansweringPort&) = delete;
    UnansweringPort& operator=(const UnansweringPort&) = delete;
    std::uint16_t Port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace vornakle::testing
