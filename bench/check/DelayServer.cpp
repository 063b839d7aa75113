#include "DelayServer.h"

#include "common/LoopbackListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <queue>
#include <stdexcept>
#include <string>

namespace vornakle::bench {

namespace {

constexpr int kEventsPerWait = 256;
constexpr std::size_t kMaxRequestBytes = 64 * 1024;
// LinkChecker lets a host take more than 10 requests a second only when its
// replies carry a header of this name.
constexpr char kReply[] =
    "HTTP/1.0 200 OK\r\n"
    "Content-Type: text/html\r\n"
    "Content-Length: 0\r\n"
    "LinkChecker: benchmark\r\n"
    "\r\n";

}  // namespace

DelayServer::DelayServer(int addresses, std::chrono::milliseconds delay) : delay_(delay) {
    std::vector<std::uint32_t> addressList;
    for (int index = 0; index < addresses; ++index) {
        addressList.push_back(LoopbackAddress(static_cast<std::size_t>(index)));
    }
    listeners_ = ListenOnAddresses(addressList, port_, true);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::vector<int> watched = listeners_;
    watched.push_back(wake_);
    epoll_ = EpollReading(watched);
    thread_ = std::thread([this] { Serve(); });
}

void DelayServer::SetPage(const std::string& path, const std::string& page) {
    std::lock_guard lock(pageMutex_);
    pageRequest_ = "GET " + path + " ";
    pageReply_ = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                 std::to_string(page.size()) + "\r\n\r\n" + page;
}

DelayServer::~DelayServer() {
    StopServerThread(wake_, thread_, listeners_);
    ::close(epoll_);
}

void DelayServer::Serve() {
    using Clock = std::chrono::steady_clock;
    std::map<int, std::string> requests;  // connections whose header is incomplete
    using Due = std::pair<Clock::time_point, int>;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> replies;
    int open = 0;
    const auto closeConnection = [&](int descriptor) {
        ::close(descriptor);
        --open;
    };

    for (;;) {
        int waitMilliseconds = -1;
        if (!replies.empty()) {
            const auto left = replies.top().first - Clock::now();
            // Rounded up, so a reply never goes out early.
            waitMilliseconds = static_cast<int>(
                std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        }
        epoll_event events[kEventsPerWait];
        const int count = ::epoll_wait(epoll_, events, kEventsPerWait, waitMilliseconds);
        for (int index = 0; index < count; ++index) {
            const int descriptor = events[index].data.fd;
            if (descriptor == wake_) {
                for (const auto& [connection, bytes] : requests) {
                    ::close(connection);
                }
                while (!replies.empty()) {
                    ::close(replies.top().second);
                    replies.pop();
                }
                return;
            }
            if (requests.count(descriptor) == 0) {
                // A listener: take every waiting connection.
                for (;;) {
                    const int connection =
                        ::accept4(descriptor, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                    if (connection < 0) {
                        break;
                    }
                    ++open;
                    if (open > mostOpen_) {
                        mostOpen_ = open;
                    }
                    requests[connection];
                    epoll_event event{};
                    event.events = EPOLLIN;
                    event.data.fd = connection;
                    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, connection, &event);
                }
                continue;
            }
            std::string& request = requests[descriptor];
            char buffer[4096];
            const ssize_t got = ::recv(descriptor, buffer, sizeof buffer, 0);
            if (got <= 0) {
                if (got < 0 && errno == EAGAIN) {
                    continue;
                }
                requests.erase(descriptor);
                closeConnection(descriptor);
                continue;
            }
            request.append(buffer, static_cast<std::size_t>(got));
            if (request.find("\r\n\r\n") != std::string::npos ||
                request.size() > kMaxRequestBytes) {
                ::epoll_ctl(epoll_, EPOLL_CTL_DEL, descriptor, nullptr);
                std::string pageReply;
                {
                    std::lock_guard lock(pageMutex_);
                    if (!pageRequest_.empty() && request.starts_with(pageRequest_)) {
                        pageReply = pageReply_;
                    }
                }
                requests.erase(descriptor);
                if (!pageReply.empty()) {
                    // Sent whole at once, blocking: only the crawler's first
                    // request asks for it.
                    ::fcntl(descriptor, F_SETFL, 0);
                    for (std::size_t sent = 0; sent < pageReply.size();) {
                        const ssize_t wrote = ::send(descriptor, pageReply.data() + sent,
                                                     pageReply.size() - sent, MSG_NOSIGNAL);
                        if (wrote <= 0) {
                            break;
                        }
                        sent += static_cast<std::size_t>(wrote);
                    }
                    closeConnection(descriptor);
                } else {
                    replies.emplace(Clock::now() + delay_, descriptor);
                }
            }
        }
        const auto now = Clock::now();
        while (!replies.empty() && replies.top().first <= now) {
            const int descriptor = replies.top().second;
            replies.pop();
            // A few dozen bytes always fit an empty socket buffer.
            [[maybe_unused]] const ssize_t sent =
                ::send(descriptor, kReply, sizeof kReply - 1, MSG_NOSIGNAL);
            ++served_;
            closeConnection(descriptor);
        }
    }
}

}  // namespace vornakle::bench
