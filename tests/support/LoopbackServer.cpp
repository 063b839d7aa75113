#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace vornakle::testing {

namespace {

// How often blocked threads look at the stop flag.
constexpr int kSliceMilliseconds = 20;
constexpr int kBacklog = 64;

std::uint16_t BoundPort(int descriptor) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("getsockname failed");
    }
    return ntohs(address.sin_port);
}

int BindLoopback(const std::string& dotted = "127.0.0.1") {
    in_addr listened{};
    // Tests talk only to servers they start on loopback addresses.
    if (::inet_pton(AF_INET, dotted.c_str(), &listened) != 1 ||
        (ntohl(listened.s_addr) >> 24) != 127) {
        throw std::invalid_argument("not a loopback address: " + dotted);
    }
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        throw std::runtime_error("socket failed");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr = listened;
    address.sin_port = 0;
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(descriptor);
        throw std::runtime_error("bind failed");
    }
    return descriptor;
}

}  // namespace

ServerScript& ServerScript::Send(std::string bytes) {
    steps_.push_back({Step::Kind::Send, std::move(bytes), {}, 0});
    return *this;
}

ServerScript& ServerScript::ReadUntil(std::string text) {
    steps_.push_back({Step::Kind::ReadUntil, std::move(text), {}, 0});
    return *this;
}

ServerScript& ServerScript::Pause(std::chrono::milliseconds duration) {
    steps_.push_back({Step::Kind::Pause, {}, duration, 0});
    return *this;
}

ServerScript& ServerScript::Trickle(std::string chunk, std::chrono::milliseconds interval,
                                    int count) {
    steps_.push_back({Step::Kind::Trickle, std::move(chunk), interval, count});
    return *this;
}

ServerScript& ServerScript::Echo() {
    steps_.push_back({Step::Kind::Echo, {}, {}, 0});
    return *this;
}

ServerScript& ServerScript::Hold() {
    steps_.push_back({Step::Kind::Hold, {}, {}, 0});
    return *this;
}

ServerScript& ServerScript::HoldWithoutReading() {
    steps_.push_back({Step::Kind::HoldWithoutReading, {}, {}, 0});
    return *this;
}

ServerScript& ServerScript::Close() {
    steps_.push_back({Step::Kind::Close, {}, {}, 0});
    return *this;
}

ServerScript& ServerScript::Reset() {
    steps_.push_back({Step::Kind::Reset, {}, {}, 0});
    return *this;
}

ServerScript& ServerScript::AwaitOpen(int count, std::chrono::milliseconds limit) {
    steps_.push_back({Step::Kind::AwaitOpen, {}, limit, count});
    return *this;
}

ServerScript& ServerScript::StopCounting() {
    steps_.push_back({Step::Kind::StopCounting, {}, {}, 0});
    return *this;
}

LoopbackServer::LoopbackServer(ServerScript script)
    : LoopbackServer(std::move(script), Options{}) {}

LoopbackServer::LoopbackServer(ServerScript script, Options options)
    : LoopbackServer(std::vector<ServerScript>{std::move(script)}, options) {}

LoopbackServer::LoopbackServer(std::vector<ServerScript> scripts)
    : LoopbackServer(std::move(scripts), Options{}) {}

LoopbackServer::LoopbackServer(std::vector<ServerScript> scripts, Options options)
    : scripts_(std::move(scripts)), options_(options) {
    if (scripts_.empty()) {
        throw std::invalid_argument("a loopback server needs a script");
    }
    deadline_ = std::chrono::steady_clock::now() + options_.lifetime;
    listener_ = BindLoopback(options_.address);
    if (options_.receiveBufferBytes > 0) {
        // Set on the listener so that accepted connections start with it,
        // before the window is advertised.
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &options_.receiveBufferBytes,
                     sizeof options_.receiveBufferBytes);
    }
    if (::listen(listener_, kBacklog) != 0) {
        ::close(listener_);
        throw std::runtime_error("listen failed");
    }
    port_ = BoundPort(listener_);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    Stop();
}

void LoopbackServer::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && !acceptor_.joinable()) {
            return;
        }
        stopping_ = true;
    }
    changed_.notify_all();
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    // The acceptor has ended, so the list of workers no longer grows.
    for (std::thread& worker : workers_) {
        if (worker.joinable()) {
            worker.join();
        }
    }
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
}

bool LoopbackServer::Stopping() const {
    std::lock_guard lock(mutex_);
    return stopping_ || std::chrono::steady_clock::now() >= deadline_;
}

void LoopbackServer::AcceptLoop() {
    while (!Stopping()) {
        pollfd descriptor{listener_, POLLIN, 0};
        if (::poll(&descriptor, 1, kSliceMilliseconds) <= 0) {
            continue;
        }
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        std::size_t index = 0;
        {
            std::lock_guard lock(mutex_);
            index = received_.size();
            received_.emplace_back();
            ++open_;
            if (open_ > maxOpen_) {
                maxOpen_ = open_;
            }
        }
        changed_.notify_all();
        workers_.emplace_back([this, connection, index] { Serve(connection, index); });
    }
}

void LoopbackServer::Serve(int descriptor, std::size_t index) {
    bool open = true;
    bool peerGone = false;
    bool counted = true;

    // Reads what is there (waiting one slice at most) and records it; false
    // when the peer has closed or the connection failed.
    auto readSome = [&](std::string* echo) {
        pollfd waiting{descriptor, POLLIN, 0};
        if (::poll(&waiting, 1, kSliceMilliseconds) <= 0) {
            return true;
        }
        char chunk[16384];
        const ssize_t got = ::recv(descriptor, chunk, sizeof chunk, 0);
        if (got <= 0) {
            peerGone = true;
            return false;
        }
        {
            std::lock_guard lock(mutex_);
            received_[index].append(chunk, static_cast<std::size_t>(got));
        }
        changed_.notify_all();
        if (echo != nullptr) {
            echo->assign(chunk, static_cast<std::size_t>(got));
        }
        return true;
    };
    auto sendAll = [&](const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size() && !Stopping()) {
            pollfd waiting{descriptor, POLLOUT, 0};
            if (::poll(&waiting, 1, kSliceMilliseconds) <= 0) {
                continue;
            }
            const ssize_t sent =
                ::send(descriptor, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    continue;
                }
                peerGone = true;
                return false;
            }
            done += static_cast<std::size_t>(sent);
        }
        return done == bytes.size();
    };
    auto pause = [&](std::chrono::milliseconds duration) {
        const auto end = std::chrono::steady_clock::now() + duration;
        const std::chrono::steady_clock::duration slice =
            std::chrono::milliseconds(kSliceMilliseconds);
        while (!Stopping()) {
            const auto left = end - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) {
                break;
            }
            std::this_thread::sleep_for(std::min(slice, left));
        }
    };
    auto contains = [&](const std::string& text) {
        std::lock_guard lock(mutex_);
        return received_[index].find(text) != std::string::npos;
    };

    const ServerScript& script = scripts_[std::min(index, scripts_.size() - 1)];
    for (const ServerScript::Step& step : script.Steps()) {
        if (!open || peerGone || Stopping()) {
            break;
        }
        switch (step.kind) {
            case ServerScript::Step::Kind::Send:
                sendAll(step.bytes);
                break;
            case ServerScript::Step::Kind::ReadUntil:
                while (!contains(step.bytes) && !Stopping() && readSome(nullptr)) {
                }
                break;
            case ServerScript::Step::Kind::Pause:
                pause(step.duration);
                break;
            case ServerScript::Step::Kind::Trickle:
                for (int sent = 0; (step.count == 0 || sent < step.count) && !Stopping(); ++sent) {
                    if (!sendAll(step.bytes)) {
                        break;
                    }
                    pause(step.duration);
                }
                break;
            case ServerScript::Step::Kind::Echo: {
                std::string echo;
                while (!Stopping() && readSome(&echo)) {
                    if (!echo.empty() && !sendAll(echo)) {
                        break;
                    }
                    echo.clear();
                }
                break;
            }
            case ServerScript::Step::Kind::Hold:
                while (!Stopping() && readSome(nullptr)) {
                }
                break;
            case ServerScript::Step::Kind::HoldWithoutReading:
                while (!Stopping()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMilliseconds));
                }
                break;
            case ServerScript::Step::Kind::Close:
                ::close(descriptor);
                open = false;
                break;
            case ServerScript::Step::Kind::Reset: {
                const linger resetOnClose{1, 0};
                ::setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose);
                ::close(descriptor);
                open = false;
                break;
            }
            case ServerScript::Step::Kind::AwaitOpen: {
                std::unique_lock lock(mutex_);
                const auto end =
                    std::min(std::chrono::steady_clock::now() + step.duration, deadline_);
                changed_.wait_until(lock, end, [&] { return stopping_ || open_ >= step.count; });
                break;
            }
            case ServerScript::Step::Kind::StopCounting:
                if (counted) {
                    std::lock_guard lock(mutex_);
                    --open_;
                    counted = false;
                }
                break;
        }
    }
    if (open) {
        ::close(descriptor);
    }
    {
        std::lock_guard lock(mutex_);
        if (counted) {
            --open_;
        }
        ++finished_;
    }
    changed_.notify_all();
}

std::string LoopbackServer::Received(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < received_.size() ? received_[index] : std::string();
}

int LoopbackServer::ConnectionsAccepted() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(received_.size());
}

int LoopbackServer::ConnectionsFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

int LoopbackServer::MaxConcurrentConnections() const {
    std::lock_guard lock(mutex_);
    return maxOpen_;
}

bool LoopbackServer::WaitForConnections(int count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit,
                             [&] { return static_cast<int>(received_.size()) >= count; });
}

bool LoopbackServer::WaitForFinished(int count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return finished_ >= count; });
}

bool LoopbackServer::WaitForReceived(std::size_t index, const std::string& text,
                                     std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        return index < received_.size() && received_[index].find(text) != std::string::npos;
    });
}

RefusingPort::RefusingPort() : descriptor_(BindLoopback()), port_(BoundPort(descriptor_)) {}

RefusingPort::~RefusingPort() {
    ::close(descriptor_);
}

UnansweringPort::UnansweringPort() : listener_(BindLoopback()), port_(BoundPort(listener_)) {
    // A backlog of 0 holds exactly one connection waiting to be accepted.
    if (::listen(listener_, 0) != 0) {
        ::close(listener_);
        throw std::runtime_error("listen failed");
    }
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    pollfd connecting{filler_, POLLOUT, 0};
    if (::poll(&connecting, 1, static_cast<int>(LoopbackServer::kWaitLimit.count())) != 1) {
        ::close(filler_);
        ::close(listener_);
        throw std::runtime_error("the queue filler did not connect");
    }
}

UnansweringPort::~UnansweringPort() {
    ::close(filler_);
    ::close(listener_);
}

}  // namespace vornakle::testing
