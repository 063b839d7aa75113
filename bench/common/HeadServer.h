#pragma once

// The benchmark's HTTP/1.0 server on 127.0.0.1, kept apart from the client's
// code: the POSIX socket headers and the client's WinSock names do not mix
// in one translation unit.

#include "support/TestCertificates.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

namespace vornakle::bench {

// One connection at a time: read the request header, answer 200 with an
// empty body (after replyDelay, like a distant server), close, as an HTTP/1.0
// server does. Every client measured meets the same server. Given a
// certificate it serves HTTPS: the TLS handshake first, no session resumed,
// close_notify before the close.
class HeadServer {
public:
    explicit HeadServer(std::chrono::milliseconds replyDelay = std::chrono::milliseconds(0),
                        std::optional<testing::TestIdentity> tls = std::nullopt);
    ~HeadServer();
    HeadServer(const HeadServer&) = delete;
    HeadServer& operator=(const HeadServer&) = delete;

    std::uint16_t Port() const { return port_; }
    long Served() const { return served_; }

private:
    void Serve();

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::chrono::milliseconds replyDelay_;
    std::shared_ptr<SSL_CTX> tlsContext_;
    std::atomic<bool> stop_{false};
    std::atomic<long> served_{0};
    std::thread thread_;
};

}  // namespace vornakle::bench
