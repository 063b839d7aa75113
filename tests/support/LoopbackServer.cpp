#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace vornakle::testing {

namespace {

// How often blocked threads look at the stop flag.
constexpr int kSliceMilliseconds = 20;
constexpr int kBacklog = 64;

std::uint16_t BoundPort(int descriptor) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("getsockname failed");
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

int BindLoopback(const std::string& numeric = "127.0.0.1", std::uint16_t port = 0) {
    sockaddr_storage address{};
    socklen_t length = 0;
    in_addr listened{};
    in6_addr listened6{};
    // Tests talk only to servers they start on loopback addresses.
    if (::inet_pton(AF_INET, numeric.c_str(), &listened) == 1 &&
        (ntohl(listened.s_addr) >> 24) == 127) {
        auto* ipv4 = reinterpret_cast<sockaddr_in*>(&address);
        ipv4->sin_family = AF_INET;
        ipv4->sin_addr = listened;
        ipv4->sin_port = htons(port);
        length = sizeof *ipv4;
    } else if (::inet_pton(AF_INET6, numeric.c_str(), &listened6) == 1 &&
               IN6_IS_ADDR_LOOPBACK(&listened6)) {
        auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&address);
        ipv6->sin6_family = AF_INET6;
        ipv6->sin6_addr = listened6;
        ipv6->sin6_port = htons(port);
        length = sizeof *ipv6;
    } else {
        throw std::invalid_argument("not a loopback address: " + numeric);
    }
    const int descriptor = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        throw std::runtime_error("socket failed");
    }
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        ::close(descriptor);
        throw std::runtime_error("bind failed");
    }
    return descriptor;
}

// One accepted connection, plain or over TLS, on a non-blocking descriptor;
// the waits are the callers' (poll in slices).
class Channel {
public:
    enum class Result { Done, Wait, Failed };

    Channel(int descriptor, SSL_CTX* context) : descriptor_(descriptor) {
        if (context != nullptr) {
            ssl_ = SSL_new(context);
            SSL_set_fd(ssl_, descriptor);
            SSL_set_accept_state(ssl_);
        }
    }
    ~Channel() { SSL_free(ssl_); }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // The server has a certificate to secure the connection with.
    bool CanSecure() const { return ssl_ != nullptr; }
    // Data decrypted already but not read yet: poll would not show it.
    bool Buffered() const { return secured_ && SSL_pending(ssl_) > 0; }

    // One step of the server's handshake; which way to wait in events.
    Result Handshake(short& events) {
        ERR_clear_error();
        const int result = SSL_do_handshake(ssl_);
        if (result == 1) {
            secured_ = true;
            return Result::Done;
        }
        return Classify(result, events);
    }
    // Bytes read into data (count in done), nothing yet, or the end (0 read)
    // or a failure as Failed.
    Result Read(char* data, std::size_t length, std::size_t& done) {
        done = 0;
        if (!secured_) {
            const ssize_t got = ::recv(descriptor_, data, length, 0);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                return Result::Wait;
            }
            if (got <= 0) {
                return Result::Failed;
            }
            done = static_cast<std::size_t>(got);
            return Result::Done;
        }
        ERR_clear_error();
        const int got = SSL_read(ssl_, data, static_cast<int>(length));
        if (got > 0) {
            done = static_cast<std::size_t>(got);
            return Result::Done;
        }
        short events = 0;
        return Classify(got, events);
    }
    Result Write(const char* data, std::size_t length, std::size_t& done) {
        done = 0;
        if (!secured_) {
            const ssize_t sent = ::send(descriptor_, data, length, MSG_NOSIGNAL);
            if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
                return Result::Wait;
            }
            if (sent < 0) {
                return Result::Failed;
            }
            done = static_cast<std::size_t>(sent);
            return Result::Done;
        }
        ERR_clear_error();
        const int sent = SSL_write(ssl_, data, static_cast<int>(length));
        if (sent > 0) {
            done = static_cast<std::size_t>(sent);
            return Result::Done;
        }
        short events = 0;
        return Classify(sent, events);
    }
    // The name the client indicated (SNI), empty for none.
    std::string ServerName() const {
        const char* name =
            ssl_ != nullptr ? SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name) : nullptr;
        return name != nullptr ? name : "";
    }
    bool Resumed() const { return secured_ && SSL_session_reused(ssl_) == 1; }
    // A graceful close says so in TLS first (close_notify).
    void Close() {
        if (secured_) {
            SSL_shutdown(ssl_);
        }
        ::close(descriptor_);
    }

private:
    Result Classify(int result, short& events) {
        switch (SSL_get_error(ssl_, result)) {
            case SSL_ERROR_WANT_READ:
                events = POLLIN;
                return Result::Wait;
            case SSL_ERROR_WANT_WRITE:
                events = POLLOUT;
                return Result::Wait;
            default:
                ERR_clear_error();
                return Result::Failed;
        }
    }

    int descriptor_;
    SSL* ssl_ = nullptr;
    bool secured_ = false;
};

}  // namespace

ServerScript& ServerScript::Send(std::string bytes) {
    steps_.push_back({Step::Kind::Send, std::move(bytes), {}, 0});
    return *this;
}

ServerScript& ServerScript::Answer(std::function<std::string(const std::string&)> reply) {
    steps_.push_back({Step::Kind::Answer, std::string(), {}, static_cast<int>(replies_.size())});
    replies_.push_back(std::move(reply));
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

ServerScript& ServerScript::StartTls() {
    steps_.push_back({Step::Kind::StartTls, {}, {}, 0});
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
    if (options_.tls) {
        tlsContext_ = ServerTlsContext(*options_.tls, options_.sessions);
        // OpenSSL writes to the descriptor with write(), which raises
        // SIGPIPE on a connection the client has dropped; that is a normal
        // end here, not a reason for the test program to die.
        ::signal(SIGPIPE, SIG_IGN);
    }
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
            serverNames_.emplace_back();
            resumed_.push_back(false);
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
    Channel channel(descriptor, tlsContext_.get());
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);

    // The server's side of the TLS handshake; a failed one ends the
    // connection.
    auto secure = [&] {
        Channel::Result handshake = Channel::Result::Wait;
        while (handshake == Channel::Result::Wait && !Stopping()) {
            short events = 0;
            handshake = channel.Handshake(events);
            if (handshake == Channel::Result::Wait) {
                pollfd waiting{descriptor, events, 0};
                ::poll(&waiting, 1, kSliceMilliseconds);
            }
        }
        std::lock_guard lock(mutex_);
        serverNames_[index] = channel.ServerName();
        resumed_[index] = channel.Resumed();
        if (handshake != Channel::Result::Done) {
            peerGone = true;
            ++handshakesFailed_;
        }
    };

    // Reads what is there (waiting one slice at most) and records it; false
    // when the peer has closed or the connection failed.
    auto readSome = [&](std::string* echo) {
        if (!channel.Buffered()) {
            pollfd waiting{descriptor, POLLIN, 0};
            if (::poll(&waiting, 1, kSliceMilliseconds) <= 0) {
                return true;
            }
        }
        char chunk[16384];
        std::size_t got = 0;
        const Channel::Result result = channel.Read(chunk, sizeof chunk, got);
        if (result == Channel::Result::Wait) {
            return true;
        }
        if (result == Channel::Result::Failed) {
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
            std::size_t sent = 0;
            const Channel::Result result =
                channel.Write(bytes.data() + done, bytes.size() - done, sent);
            if (result == Channel::Result::Wait) {
                continue;
            }
            if (result == Channel::Result::Failed) {
                peerGone = true;
                return false;
            }
            done += sent;
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
    // Where the request the next Answer takes starts.
    std::size_t answered = 0;
    auto contains = [&](const std::string& text) {
        std::lock_guard lock(mutex_);
        return received_[index].find(text) != std::string::npos;
    };

    const ServerScript& script = scripts_[std::min(index, scripts_.size() - 1)];
    const bool securedLater = std::any_of(
        script.Steps().begin(), script.Steps().end(),
        [](const auto& step) { return step.kind == ServerScript::Step::Kind::StartTls; });
    if (channel.CanSecure() && !securedLater) {
        secure();
    }
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
            case ServerScript::Step::Kind::Answer: {
                // Each Answer takes the request after the one before.
                const auto headerEnd = [&] {
                    std::lock_guard lock(mutex_);
                    return received_[index].find("\r\n\r\n", answered);
                };
                while (headerEnd() == std::string::npos && !Stopping() && readSome(nullptr)) {
                }
                std::string request;
                {
                    std::lock_guard lock(mutex_);
                    request = received_[index].substr(std::min(answered, received_[index].size()));
                }
                const std::size_t end = request.find("\r\n\r\n");
                answered += end == std::string::npos ? request.size() : end + 4;
                sendAll(script.Reply(step)(request));
                break;
            }
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
                channel.Close();
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
            case ServerScript::Step::Kind::StartTls:
                if (channel.CanSecure()) {
                    secure();
                }
                break;
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
        if (peerGone) {
            ::close(descriptor);
        } else {
            channel.Close();
        }
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

std::string LoopbackServer::ServerName(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < serverNames_.size() ? serverNames_[index] : std::string();
}

bool LoopbackServer::SessionResumed(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < resumed_.size() && resumed_[index];
}

int LoopbackServer::HandshakesFailed() const {
    std::lock_guard lock(mutex_);
    return handshakesFailed_;
}

bool LoopbackServer::Ipv6LoopbackAvailable() {
    try {
        ::close(BindLoopback("::1"));
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
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

UnansweringPort::UnansweringPort() : UnansweringPort("127.0.0.1", 0) {}

UnansweringPort::UnansweringPort(const std::string& address, std::uint16_t port)
    : listener_(BindLoopback(address, port)), port_(BoundPort(listener_)) {
    // A backlog of 0 holds exactly one connection waiting to be accepted.
    if (::listen(listener_, 0) != 0) {
        ::close(listener_);
        throw std::runtime_error("listen failed");
    }
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &target.sin_addr);
    target.sin_port = htons(port_);
    ::connect(filler_, reinterpret_cast<sockaddr*>(&target), sizeof target);
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
