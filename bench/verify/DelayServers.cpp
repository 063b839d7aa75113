#include "verify/DelayServers.h"

#include "common/BenchSupport.h"
#include "common/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace vornakle::bench {

namespace {

// How often the thread looks at its stop flag when nothing happens.
constexpr int kPollMilliseconds = 50;
constexpr const char* kReply =
    "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 0\r\n\r\n";

using Clock = std::chrono::steady_clock;

struct Connection {
    int descriptor = -1;
    std::size_t listener = 0;
    std::string request;
    // Set once the request is complete: when the reply goes out.
    Clock::time_point replyAt = Clock::time_point::max();
};

}  // namespace

DelayServers::DelayServers(int count, std::chrono::milliseconds replyDelay)
    : replyDelay_(replyDelay) {
    for (int index = 0; index < count; ++index) {
        Listener listener;
        listener.address = "127.0.0." + std::to_string(index + 2);
        constexpr std::uint32_t kLoopbackNetwork = 0x7F000000;
        listener.descriptor =
            ListenOnLoopback(kLoopbackNetwork + static_cast<std::uint32_t>(index + 2), 0, true);
        if (listener.descriptor < 0) {
            for (const Listener& made : listeners_) {
                ::close(made.descriptor);
            }
            throw std::runtime_error("cannot listen on " + listener.address);
        }
        listener.port = BoundPort(listener.descriptor);
        listeners_.push_back(listener);
    }
    thread_ = std::thread([this] { Serve(); });
}

DelayServers::~DelayServers() {
    stop_ = true;
    thread_.join();
    for (const Listener& listener : listeners_) {
        ::close(listener.descriptor);
    }
}

std::string DelayServers::Origin(int index) const {
    const Listener& listener = listeners_.at(static_cast<std::size_t>(index));
    return "http://" + listener.address + ":" + std::to_string(listener.port);
}

double DelayServers::CpuSeconds() const {
    return ThreadCpuSeconds(thread_);
}

void DelayServers::Serve() {
    std::vector<Connection> connections;
    std::vector<int> openAt(listeners_.size(), 0);
    std::vector<pollfd> waiting;
    while (!stop_) {
        waiting.clear();
        for (const Listener& listener : listeners_) {
            waiting.push_back({listener.descriptor, POLLIN, 0});
        }
        Clock::time_point nextReply = Clock::time_point::max();
        for (const Connection& connection : connections) {
            waiting.push_back(
                {connection.descriptor,
                 static_cast<short>(connection.replyAt == Clock::time_point::max() ? POLLIN : 0),
                 0});
            nextReply = std::min(nextReply, connection.replyAt);
        }
        int timeout = kPollMilliseconds;
        if (nextReply != Clock::time_point::max()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(nextReply - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<long long>(left, 0, kPollMilliseconds));
        }
        ::poll(waiting.data(), waiting.size(), timeout);

        for (std::size_t index = 0; index < listeners_.size(); ++index) {
            if ((waiting[index].revents & POLLIN) == 0) {
                continue;
            }
            for (;;) {
                const int descriptor =
                    ::accept4(listeners_[index].descriptor, nullptr, nullptr, SOCK_CLOEXEC);
                if (descriptor < 0) {
                    break;
                }
                connections.push_back({descriptor, index, {}, Clock::time_point::max()});
                maxOpenPerAddress_ = std::max(maxOpenPerAddress_.load(), ++openAt[index]);
            }
        }
        const std::size_t polled = waiting.size() - listeners_.size();
        for (std::size_t index = 0; index < polled; ++index) {
            Connection& connection = connections[index];
            if ((waiting[listeners_.size() + index].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            char chunk[4096];
            const long got = ::recv(connection.descriptor, chunk, sizeof chunk, MSG_DONTWAIT);
            if (got <= 0) {
                // The client gave up before its reply: nothing to answer.
                connection.replyAt = Clock::time_point::min();
                continue;
            }
            connection.request.append(chunk, static_cast<std::size_t>(got));
            if (connection.request.find("\r\n\r\n") != std::string::npos) {
                connection.replyAt = Clock::now() + replyDelay_;
            }
        }
        const Clock::time_point now = Clock::now();
        std::erase_if(connections, [&](const Connection& connection) {
            if (connection.replyAt > now) {
                return false;
            }
            if (connection.replyAt != Clock::time_point::min()) {
                // Counted before the answer goes out: the client may be done
                // before this thread gets round to counting it.
                ++served_;
                ::send(connection.descriptor, kReply, std::char_traits<char>::length(kReply),
                       MSG_NOSIGNAL);
            }
            ::close(connection.descriptor);
            --openAt[connection.listener];
            return true;
        });
    }
    for (const Connection& connection : connections) {
        ::close(connection.descriptor);
    }
}

}  // namespace vornakle::bench
