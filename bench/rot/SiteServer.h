#pragma once

// Web sites on loopback addresses for the rot run: 127.0.0.1 up to
// 127.0.0.<sites>, all on one port, each answering by the request target
// from its own table of pages. HTTP/1.1 with one request per connection.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vornakle::bench {

struct SitePage {
    std::string Status = "200 OK";
    // Each line with its CR LF; "{port}" stands for the servers' port.
    std::string Headers;
    std::string Body;
    // Interim replies sent before the final one, whole with their empty
    // lines.
    std::string Interim{};
    // When set, the Basic credentials (Base64) a request must carry; one
    // without them gets 401.
    std::string Credentials{};
};

class SiteServer {
public:
    // Pages are looked up by the whole target ("/a?b"), else under the
    // longest pattern "prefix*" the target starts with ("/watch?v=*"), else
    // under "*"; a site without "*" answers 404 to anything else.
    using Pages = std::map<std::string, SitePage>;

    explicit SiteServer(std::vector<Pages> sites);
    ~SiteServer();
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    std::uint16_t Port() const { return port_; }
    long Served() const { return served_; }

private:
    void Accept();
    void Serve(int descriptor, std::size_t site);

    std::vector<Pages> sites_;
    std::vector<int> listeners_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<long> served_{0};
    std::vector<std::thread> workers_;
    std::mutex queueMutex_;
    std::vector<std::pair<int, std::size_t>> queue_;
    std::thread acceptor_;
};

}  // namespace vornakle::bench
