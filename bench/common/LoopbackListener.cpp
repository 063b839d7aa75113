#include "common/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace vornakle::bench {

namespace {

// Room for every connection a run of 32 jobs and a peer checker opens at once.
constexpr int kBacklog = 1024;
// A port free on the first address may be taken on another; so many ports
// are tried.
constexpr int kAttemptsForAPort = 20;

}  // namespace

int ListenOnLoopback(std::uint32_t address, std::uint16_t port, bool nonBlocking) {
    const int descriptor =
        ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
    if (descriptor < 0) {
        throw std::runtime_error("socket failed");
    }
    // A benchmark run right after another finds its ports in TIME_WAIT.
    const int reuse = 1;
    ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(address);
    where.sin_port = htons(port);
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(descriptor, kBacklog) != 0) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

std::vector<int> ListenOnAddresses(const std::vector<std::uint32_t>& addresses, std::uint16_t& port,
                                   bool nonBlocking) {
    std::vector<int> listeners;
    for (int attempt = 0; attempt < kAttemptsForAPort && !addresses.empty(); ++attempt) {
        for (const int descriptor : listeners) {
            ::close(descriptor);
        }
        listeners.clear();
        port = 0;
        for (const std::uint32_t address : addresses) {
            const int listener = ListenOnLoopback(address, port, nonBlocking);
            if (listener < 0) {
                break;
            }
            if (listeners.empty()) {
                port = BoundPort(listener);
            }
            listeners.push_back(listener);
        }
        if (listeners.size() == addresses.size()) {
            return listeners;
        }
    }
    for (const int descriptor : listeners) {
        ::close(descriptor);
    }
    throw std::runtime_error("no port free on every loopback address");
}

int EpollReading(const std::vector<int>& descriptors) {
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    for (const int descriptor : descriptors) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = descriptor;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, descriptor, &event);
    }
    return epoll;
}

void StopServerThread(int wake, std::thread& thread, const std::vector<int>& listeners) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake, &one, sizeof one);
    thread.join();
    for (const int listener : listeners) {
        ::close(listener);
    }
    ::close(wake);
}

std::uint16_t BoundPort(int descriptor) {
    sockaddr_in where{};
    socklen_t length = sizeof where;
    ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&where), &length);
    return ntohs(where.sin_port);
}

}  // namespace vornakle::bench
