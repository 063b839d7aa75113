#pragma once

// The web sites of the benchmarks that measure connection reuse and scale:
// one thread serving many loopback addresses on one port through epoll, as
// a busy server does, so that the server does not limit the figure on two
// cores. HTTP/1.1 with persistent connections (every reply has its
// Content-Length, a connection serves request after request; HTTP/1.0 only
// with "Connection: keep-alive"), HEAD and GET, each reply a fixed delay
// after its request arrived, like a distant server. Given a certificate it
// serves HTTPS whose handshakes take a fixed delay more and whose sessions
// resume (tickets and the session cache). It counts requests, connections
// and handshakes of both kinds.

#include "support/TestCertificates.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vornakle::bench {

class KeepAliveServer {
public:
    // The page site number site serves at target, as HTML, or none (404).
    // Called on the server's thread.
    using PageOf =
        std::function<std::optional<std::string>(std::size_t site, std::string_view target)>;

    struct Settings {
        // Site number index listens on Addresses[index] (IPv4 loopback, host
        // byte order); all share one port.
        std::vector<std::uint32_t> Addresses;
        PageOf Pages;
        std::chrono::milliseconds ReplyDelay{0};
        // Given: HTTPS with this certificate.
        std::optional<testing::TestIdentity> Tls;
        // Before the server answers a client's hello: one more round trip of
        // a distant server.
        std::chrono::milliseconds HandshakeDelay{0};
        // A connection idle this long is closed, as servers do.
        std::chrono::milliseconds IdleLimit{std::chrono::seconds(10)};
    };

    struct Counts {
        long Requests = 0;
        long Connections = 0;
        long FullHandshakes = 0;
        long ResumedHandshakes = 0;
        Counts operator-(const Counts& earlier) const;
    };

    explicit KeepAliveServer(Settings settings);
    ~KeepAliveServer();
    KeepAliveServer(const KeepAliveServer&) = delete;
    KeepAliveServer& operator=(const KeepAliveServer&) = delete;

    std::uint16_t Port() const { return port_; }
    Counts Counted() const;
    // The most connections open at once so far.
    int MostOpen() const { return mostOpen_; }
    // Processor seconds the serving thread has used.
    double CpuSeconds() const;

private:
    class Loop;

    Settings settings_;
    std::shared_ptr<SSL_CTX> tlsContext_;
    std::vector<int> listeners_;
    std::uint16_t port_ = 0;
    int wake_ = -1;
    std::atomic<long> requests_{0};
    std::atomic<long> connections_{0};
    std::atomic<long> fullHandshakes_{0};
    std::atomic<long> resumedHandshakes_{0};
    std::atomic<int> mostOpen_{0};
    std::thread thread_;
};

}  // namespace vornakle::bench
