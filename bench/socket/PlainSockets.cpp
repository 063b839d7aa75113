#include "PlainSockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace vornakle::bench {

namespace {

struct Connection {
    int descriptor;
    bool echoes;
};

int Listen() {
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (descriptor < 0) {
        throw std::runtime_error("cannot make a socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(descriptor, 128) != 0) {
        ::close(descriptor);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    return descriptor;
}

std::uint16_t PortOf(int descriptor) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

}  // namespace

EchoServer::EchoServer() {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    echo_ = Listen();
    silent_ = Listen();
    thread_ = std::thread([this] { Run(); });
}

EchoServer::~EchoServer() {
    Stop();
    for (const int descriptor : {echo_, silent_, wake_[0], wake_[1]}) {
        ::close(descriptor);
    }
}

std::uint16_t EchoServer::EchoPort() const {
    return PortOf(echo_);
}

std::uint16_t EchoServer::SilentPort() const {
    return PortOf(silent_);
}

void EchoServer::Stop() {
    if (thread_.joinable()) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(wake_[1], &byte, 1);
        thread_.join();
    }
}

void EchoServer::Run() {
    const auto deadline = std::chrono::steady_clock::now() + kServerLifetime;
    std::vector<Connection> connections;
    std::vector<pollfd> watched;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        watched.assign({{wake_[0], POLLIN, 0}, {echo_, POLLIN, 0}, {silent_, POLLIN, 0}});
        for (const Connection& connection : connections) {
            watched.push_back({connection.descriptor, POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), static_cast<int>(left.count())) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (watched[0].revents != 0) {
            break;
        }
        for (std::size_t index = 1; index <= 2; ++index) {
            if (watched[index].revents == 0) {
                continue;
            }
            int accepted = -1;
            while ((accepted = ::accept4(watched[index].fd, nullptr, nullptr,
                                         SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0) {
                connections.push_back({accepted, index == 1});
            }
        }
        // The connections polled this time lead the list; those accepted just
        // now follow them and are polled next time.
        const std::size_t polled = watched.size() - 3;
        std::vector<Connection> kept;
        for (std::size_t index = 0; index < connections.size(); ++index) {
            const Connection connection = connections[index];
            bool open = true;
            if (index < polled && watched[index + 3].revents != 0) {
                const ssize_t got = ::recv(connection.descriptor, buffer, sizeof buffer, 0);
                if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                    open = false;
                } else if (got > 0 && connection.echoes) {
                    // The lines are tiny: a socket without room for one has a
                    // peer that no longer reads, and is dropped.
                    open = ::send(connection.descriptor, buffer, static_cast<std::size_t>(got),
                                  MSG_NOSIGNAL | MSG_DONTWAIT) == got;
                }
            }
            if (open) {
                kept.push_back(connection);
            } else {
                ::close(connection.descriptor);
            }
        }
        connections.swap(kept);
    }
    for (const Connection& connection : connections) {
        ::close(connection.descriptor);
    }
}

int PlainCycles(std::uint16_t port, int cycles) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int wrong = 0;
    char buffer[4096];
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const std::string line = CycleLine(cycle) + "\r\n";
        const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (descriptor < 0) {
            throw std::runtime_error(std::string("socket failed: ") + std::strerror(errno));
        }
        if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
                0 ||
            ::send(descriptor, line.data(), line.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(line.size())) {
            const int error = errno;
            ::close(descriptor);
            throw std::runtime_error(std::string("plain cycle failed: ") + std::strerror(error));
        }
        std::string echoed;
        while (echoed.find('\n') == std::string::npos) {
            const ssize_t got = ::recv(descriptor, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            echoed.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(descriptor);
        wrong += echoed == line ? 0 : 1;
    }
    return wrong;
}

}  // namespace vornakle::bench
