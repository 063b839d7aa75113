#include "common/KeepAliveServer.h"

#include "common/BenchSupport.h"
#include "common/LoopbackListener.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <deque>
#include <stdexcept>

namespace vornakle::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kEventsPerWait = 512;
constexpr std::size_t kMaxRequestBytes = 64 * 1024;
constexpr std::size_t kReadChunkBytes = 16 * 1024;
constexpr auto kIdleScanInterval = std::chrono::seconds(1);
constexpr char kNotFoundPage[] =
    "<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head><body>\n"
    "<h1>Not Found</h1>\n<p>The requested URL was not found on this server.</p>\n"
    "</body></html>\n";

enum class Stage {
    // Accepted; the server answers the client's hello when the handshake
    // delay has passed.
    AwaitingHandshake,
    Handshaking,
    Reading,
    // The reply is made and waits for the reply delay.
    Delaying,
    Writing,
};

struct Connection {
    int Descriptor = -1;
    // Tells this connection from a later one on the same descriptor.
    std::uint64_t Serial = 0;
    std::size_t Site = 0;
    std::unique_ptr<SSL, decltype(&SSL_free)> Ssl{nullptr, SSL_free};
    Stage At = Stage::Reading;
    std::string Input;
    std::string Output;
    std::size_t Sent = 0;
    bool CloseAfterReply = false;
    Clock::time_point LastActive = Clock::now();
};

// A connection's next step at a time; the delays are fixed, so these come
// due in the order they were made.
struct Due {
    Clock::time_point At;
    int Descriptor = -1;
    std::uint64_t Serial = 0;
};

struct Request {
    std::string_view Method;
    std::string_view Target;
    bool Http11 = false;
    bool Persistent = false;
};

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char character) {
        return static_cast<char>(std::tolower(character));
    });
    return lower;
}

// The request line and whether the connection stays open (RFC 9112
// section 9.3: by default for HTTP/1.1, on "keep-alive" for HTTP/1.0).
std::optional<Request> ParseRequest(std::string_view head) {
    const std::string_view line = head.substr(0, head.find("\r\n"));
    const std::size_t first = line.find(' ');
    const std::size_t last = line.rfind(' ');
    if (first == std::string_view::npos || last <= first) {
        return std::nullopt;
    }
    Request request;
    request.Method = line.substr(0, first);
    request.Target = line.substr(first + 1, last - first - 1);
    request.Http11 = line.substr(last + 1) == "HTTP/1.1";
    const std::string lower = LowerCase(head);
    const std::size_t field = lower.find("\r\nconnection:");
    const std::string value = field == std::string::npos
                                  ? ""
                                  : lower.substr(field, lower.find("\r\n", field + 2) - field);
    request.Persistent = request.Http11 ? value.find("close") == std::string::npos
                                        : value.find("keep-alive") != std::string::npos;
    return request;
}

std::string ReplyTo(const Request& request, const std::optional<std::string>& page) {
    const std::string& body = page ? *page : std::string(kNotFoundPage);
    std::string reply = page ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n";
    reply +=
        "Content-Type: text/html; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\n";
    if (!request.Persistent) {
        reply += "Connection: close\r\n";
    } else if (!request.Http11) {
        reply += "Connection: keep-alive\r\n";
    }
    reply += "\r\n";
    if (request.Method != "HEAD") {
        reply += body;
    }
    return reply;
}

}  // namespace

KeepAliveServer::Counts KeepAliveServer::Counts::operator-(const Counts& earlier) const {
    return {Requests - earlier.Requests, Connections - earlier.Connections,
            FullHandshakes - earlier.FullHandshakes, ResumedHandshakes - earlier.ResumedHandshakes};
}

// The server's thread: epoll over the listeners and every connection (edge
// triggered, so a connection waiting for its delay costs nothing), and the
// two queues of delayed steps.
class KeepAliveServer::Loop {
public:
    explicit Loop(KeepAliveServer& server) : server_(server) {
        std::vector<int> watched = server_.listeners_;
        watched.push_back(server_.wake_);
        epoll_ = EpollReading(watched);
        for (std::size_t site = 0; site < server_.listeners_.size(); ++site) {
            SiteSlot(server_.listeners_[site]) = static_cast<long>(site);
        }
    }

    ~Loop() {
        for (std::unique_ptr<Connection>& connection : connections_) {
            if (connection != nullptr) {
                ::close(connection->Descriptor);
            }
        }
        ::close(epoll_);
        ERR_clear_error();
        OPENSSL_thread_stop();
    }

    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;

    void Run() {
        epoll_event events[kEventsPerWait];
        Clock::time_point nextScan = Clock::now() + kIdleScanInterval;
        for (;;) {
            const int count =
                ::epoll_wait(epoll_, events, kEventsPerWait, WaitMilliseconds(nextScan));
            for (int index = 0; index < count; ++index) {
                const int descriptor = events[index].data.fd;
                if (descriptor == server_.wake_) {
                    return;
                }
                if (SiteSlot(descriptor) >= 0) {
                    Accept(descriptor, static_cast<std::size_t>(SiteSlot(descriptor)));
                } else if (Find(descriptor) != nullptr) {
                    Progress(*Find(descriptor));
                }
            }
            RunDue();
            if (Clock::now() >= nextScan) {
                CloseIdle();
                nextScan = Clock::now() + kIdleScanInterval;
            }
        }
    }

private:
    long& SiteSlot(int descriptor) {
        if (static_cast<std::size_t>(descriptor) >= siteOfListener_.size()) {
            siteOfListener_.resize(static_cast<std::size_t>(descriptor) + 1, -1);
        }
        return siteOfListener_[static_cast<std::size_t>(descriptor)];
    }

    Connection* Find(int descriptor) {
        const auto slot = static_cast<std::size_t>(descriptor);
        return slot < connections_.size() ? connections_[slot].get() : nullptr;
    }

    Connection* Find(const Due& due) {
        Connection* connection = Find(due.Descriptor);
        return connection != nullptr && connection->Serial == due.Serial ? connection : nullptr;
    }

    int WaitMilliseconds(Clock::time_point nextScan) const {
        Clock::time_point until = nextScan;
        for (const std::deque<Due>* queue : {&handshakes_, &replies_}) {
            if (!queue->empty()) {
                until = std::min(until, queue->front().At);
            }
        }
        // Rounded up, so that nothing goes out early.
        return static_cast<int>(std::max<long long>(
            0, std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count()));
    }

    void Watch(const Connection& connection) {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT | EPOLLET;
        event.data.fd = connection.Descriptor;
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, connection.Descriptor, &event);
    }

    void Accept(int listener, std::size_t site) {
        for (;;) {
            const int descriptor =
                ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (descriptor < 0) {
                return;
            }
            // Replies and handshake records go out at once, as from servers
            // tuned for small replies.
            const int noDelay = 1;
            ::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
            auto connection = std::make_unique<Connection>();
            connection->Descriptor = descriptor;
            connection->Serial = ++serial_;
            connection->Site = site;
            ++server_.connections_;
            server_.mostOpen_ = std::max(server_.mostOpen_.load(), ++open_);
            Connection& made = *connection;
            if (static_cast<std::size_t>(descriptor) >= connections_.size()) {
                connections_.resize(static_cast<std::size_t>(descriptor) + 1);
            }
            connections_[static_cast<std::size_t>(descriptor)] = std::move(connection);
            if (server_.tlsContext_ != nullptr) {
                made.Ssl.reset(SSL_new(server_.tlsContext_.get()));
                SSL_set_fd(made.Ssl.get(), descriptor);
                SSL_set_accept_state(made.Ssl.get());
                if (server_.settings_.HandshakeDelay.count() > 0) {
                    made.At = Stage::AwaitingHandshake;
                    handshakes_.push_back(
                        {Clock::now() + server_.settings_.HandshakeDelay, descriptor, made.Serial});
                    continue;
                }
                made.At = Stage::Handshaking;
            }
            Watch(made);
            Progress(made);
        }
    }

    void RunDue() {
        const Clock::time_point now = Clock::now();
        while (!handshakes_.empty() && handshakes_.front().At <= now) {
            Connection* connection = Find(handshakes_.front());
            handshakes_.pop_front();
            if (connection != nullptr) {
                connection->At = Stage::Handshaking;
                Watch(*connection);
                Progress(*connection);
            }
        }
        while (!replies_.empty() && replies_.front().At <= now) {
            Connection* connection = Find(replies_.front());
            replies_.pop_front();
            if (connection != nullptr && connection->At == Stage::Delaying) {
                connection->At = Stage::Writing;
                Progress(*connection);
            }
        }
    }

    // Takes what the connection has received into its input; false when
    // the peer has closed or the connection failed.
    bool Drain(Connection& connection) {
        char chunk[kReadChunkBytes];
        for (;;) {
            if (connection.Ssl != nullptr) {
                ERR_clear_error();
                const int got = SSL_read(connection.Ssl.get(), chunk, sizeof chunk);
                if (got > 0) {
                    connection.Input.append(chunk, static_cast<std::size_t>(got));
                    continue;
                }
                const int error = SSL_get_error(connection.Ssl.get(), got);
                return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
            }
            const ssize_t got = ::recv(connection.Descriptor, chunk, sizeof chunk, 0);
            if (got > 0) {
                connection.Input.append(chunk, static_cast<std::size_t>(got));
                continue;
            }
            return got < 0 && (errno == EAGAIN || errno == EINTR);
        }
    }

    // Sends what is left of the reply; false when the socket takes no more
    // now, or failed (then the connection is closed).
    bool Flush(Connection& connection) {
        while (connection.Sent < connection.Output.size()) {
            const char* data = connection.Output.data() + connection.Sent;
            const std::size_t left = connection.Output.size() - connection.Sent;
            if (connection.Ssl != nullptr) {
                ERR_clear_error();
                const int sent = SSL_write(connection.Ssl.get(), data, static_cast<int>(left));
                if (sent > 0) {
                    connection.Sent += static_cast<std::size_t>(sent);
                    continue;
                }
                const int error = SSL_get_error(connection.Ssl.get(), sent);
                if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                    Close(connection);
                }
                return false;
            }
            const ssize_t sent = ::send(connection.Descriptor, data, left, MSG_NOSIGNAL);
            if (sent > 0) {
                connection.Sent += static_cast<std::size_t>(sent);
                continue;
            }
            if (sent < 0 && errno != EAGAIN && errno != EINTR) {
                Close(connection);
            }
            return false;
        }
        return true;
    }

    void Answer(Connection& connection, std::size_t headLength) {
        const std::optional<Request> request =
            ParseRequest(std::string_view(connection.Input).substr(0, headLength));
        if (!request) {
            connection.Output = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
            connection.CloseAfterReply = true;
        } else {
            connection.Output =
                ReplyTo(*request, server_.settings_.Pages(connection.Site, request->Target));
            connection.CloseAfterReply = !request->Persistent;
        }
        connection.Sent = 0;
        connection.Input.erase(0, headLength);
        ++server_.requests_;
        if (server_.settings_.ReplyDelay.count() > 0) {
            connection.At = Stage::Delaying;
            replies_.push_back({Clock::now() + server_.settings_.ReplyDelay, connection.Descriptor,
                                connection.Serial});
        } else {
            connection.At = Stage::Writing;
        }
    }

    // Takes the connection as far as it goes without waiting; it may be
    // closed (and gone) afterwards.
    void Progress(Connection& connection) {
        for (;;) {
            switch (connection.At) {
                case Stage::AwaitingHandshake:
                    return;
                case Stage::Handshaking: {
                    ERR_clear_error();
                    const int result = SSL_do_handshake(connection.Ssl.get());
                    if (result != 1) {
                        const int error = SSL_get_error(connection.Ssl.get(), result);
                        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                            Close(connection);
                        }
                        return;
                    }
                    ++(SSL_session_reused(connection.Ssl.get()) == 1 ? server_.resumedHandshakes_
                                                                     : server_.fullHandshakes_);
                    connection.At = Stage::Reading;
                    break;
                }
                case Stage::Reading: {
                    const bool open = Drain(connection);
                    const std::size_t end = connection.Input.find("\r\n\r\n");
                    if (end == std::string::npos) {
                        if (!open || connection.Input.size() > kMaxRequestBytes) {
                            Close(connection);
                        }
                        return;
                    }
                    Answer(connection, end + 4);
                    break;
                }
                case Stage::Delaying:
                    // Bytes that come meanwhile wait for their turn; a close
                    // ends the connection at once.
                    if (!Drain(connection) || connection.Input.size() > kMaxRequestBytes) {
                        Close(connection);
                    }
                    return;
                case Stage::Writing:
                    if (!Flush(connection)) {
                        return;
                    }
                    connection.Output.clear();
                    connection.LastActive = Clock::now();
                    if (connection.CloseAfterReply) {
                        Close(connection);
                        return;
                    }
                    connection.At = Stage::Reading;
                    break;
            }
        }
    }

    void CloseIdle() {
        const Clock::time_point limit = Clock::now() - server_.settings_.IdleLimit;
        for (std::unique_ptr<Connection>& connection : connections_) {
            if (connection != nullptr && connection->At == Stage::Reading &&
                connection->Input.empty() && connection->LastActive < limit) {
                Close(*connection);
            }
        }
    }

    void Close(Connection& connection) {
        if (connection.Ssl != nullptr && SSL_is_init_finished(connection.Ssl.get())) {
            ERR_clear_error();
            SSL_shutdown(connection.Ssl.get());
        }
        ::close(connection.Descriptor);
        --open_;
        connections_[static_cast<std::size_t>(connection.Descriptor)].reset();
    }

    KeepAliveServer& server_;
    int epoll_ = -1;
    // By descriptor: the site a listener serves (-1: no listener), and the
    // open connections.
    std::vector<long> siteOfListener_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::deque<Due> handshakes_;
    std::deque<Due> replies_;
    std::uint64_t serial_ = 0;
    int open_ = 0;
};

KeepAliveServer::KeepAliveServer(Settings settings) : settings_(std::move(settings)) {
    RaiseDescriptorLimit();
    if (settings_.Tls) {
        tlsContext_ = testing::ServerTlsContext(*settings_.Tls, testing::ServerSessions::Resumable);
        // A client that drops the connection is no reason for the benchmark
        // to die of SIGPIPE in OpenSSL's write().
        std::signal(SIGPIPE, SIG_IGN);
    }
    listeners_ = ListenOnAddresses(settings_.Addresses, port_, true);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] {
        Loop loop(*this);
        loop.Run();
    });
}

KeepAliveServer::~KeepAliveServer() {
    StopServerThread(wake_, thread_, listeners_);
}

KeepAliveServer::Counts KeepAliveServer::Counted() const {
    return {requests_.load(), connections_.load(), fullHandshakes_.load(),
            resumedHandshakes_.load()};
}

double KeepAliveServer::CpuSeconds() const {
    return ThreadCpuSeconds(thread_);
}

}  // namespace vornakle::bench
