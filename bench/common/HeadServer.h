#pragma once

// The benchmark's HTTP/1.0 server on 127.0.0.1, kept apart from the client's
// code: the POSIX socket headers and the client's WinSock names do not mix
// in one translation unit.

#include "common/BenchSupport.h"
#include "support/TestCertificates.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
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

// The best of several rounds each, in turns: requests sequential HEADs
// through client, and one curl process fetching the same URLs (curlOptions on
// its command line). The first requests warm the client up; every URL curl
// asks for must reach server, or curl's time would mean nothing.
struct BestRounds {
    double ours = 0;
    double curl = 0;
};
template <typename Client>
BestRounds CompareWithCurl(Client& client, const HeadServer& server,
                           const std::function<std::string(int)>& urlOf, int requests, int rounds,
                           const std::string& curlOptions = "") {
    const std::filesystem::path configFile =
        std::filesystem::temp_directory_path() /
        ("vornakle-bench-" + std::to_string(::getpid()) + ".curl");
    {
        std::ofstream config(configFile);
        for (int index = 0; index < requests; ++index) {
            config << "url = \"" << urlOf(index) << "\"\n";
        }
    }
    constexpr int kWarmUpRequests = 50;
    ClientHeadRound(client, urlOf, std::min(requests, kWarmUpRequests));
    BestRounds best{1e9, 1e9};
    for (int round = 0; round < rounds; ++round) {
        best.ours = std::min(best.ours, ClientHeadRound(client, urlOf, requests));
        const long servedBefore = server.Served();
        best.curl = std::min(best.curl, CurlHeadRound(configFile.string(), curlOptions));
        if (server.Served() - servedBefore != requests) {
            throw std::runtime_error("curl asked for " +
                                     std::to_string(server.Served() - servedBefore) + " of " +
                                     std::to_string(requests) + " URLs");
        }
    }
    std::filesystem::remove(configFile);
    return best;
}

}  // namespace vornakle::bench
