#pragma once

// The check benchmark's HTTP/1.0 server: one thread serving many loopback
// addresses on one port, answering every request (HEAD, GET, anything) with
// 200 and an empty body a fixed delay after its header arrived, then closing;
// a GET of the page's path gets the page at once instead (a crawler's start).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vornakle::bench {

class DelayServer {
public:
    // Listens on 127.0.0.1 up to 127.0.0.<addresses>, all on one port.
    DelayServer(int addresses, std::chrono::milliseconds delay);
    // From now on "GET <path> " gets the page as text/html, at once.
    void SetPage(const std::string& path, const std::string& page);
    ~DelayServer();
    DelayServer(const DelayServer&) = delete;
    DelayServer& operator=(const DelayServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // Delayed replies sent (the page not counted).
    long Served() const { return served_; }
    int MostOpen() const { return mostOpen_; }

private:
    void Serve();

    std::chrono::milliseconds delay_;
    std::mutex pageMutex_;
    std::string pageRequest_;
    std::string pageReply_;
    std::vector<int> listeners_;
    int epoll_ = -1;
    int wake_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<long> served_{0};
    std::atomic<int> mostOpen_{0};
    std::thread thread_;
};

}  // namespace vornakle::bench
