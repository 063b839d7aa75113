#pragma once

// HTTP/1.0 servers on several loopback addresses, all served by one thread
// that waits in poll(): each connection is read up to the end of its
// request header, answered 200 once the reply delay has passed (like a
// distant server), and closed. Connections wait side by side, so a client
// that checks many links at once meets no queue here. Kept apart from the
// client's code: the POSIX socket headers and the client's WinSock names do
// not mix in one translation unit.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace vornakle::bench {

class DelayServers {
public:
    // One listener on each of 127.0.0.2, 127.0.0.3, ... (count addresses).
    DelayServers(int count, std::chrono::milliseconds replyDelay);
    ~DelayServers();
    DelayServers(const DelayServers&) = delete;
    DelayServers& operator=(const DelayServers&) = delete;

    // "http://ADDRESS:PORT" of server number index.
    std::string Origin(int index) const;
    long Served() const { return served_; }
    // The most connections open at once at any one address.
    int MaxOpenPerAddress() const { return maxOpenPerAddress_; }
    // Processor seconds the serving thread has used, so that a measurement
    // of the process can leave the server out.
    double CpuSeconds() const;

private:
    void Serve();

    struct Listener {
        int descriptor = -1;
        std::string address;
        std::uint16_t port = 0;
    };
    std::vector<Listener> listeners_;
    std::chrono::milliseconds replyDelay_;
    std::atomic<bool> stop_{false};
    std::atomic<long> served_{0};
    std::atomic<int> maxOpenPerAddress_{0};
    std::thread thread_;
};

}  // namespace vornakle::bench
