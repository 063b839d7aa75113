#include "common/HeadServer.h"

#include "common/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>

#include <csignal>
#include <memory>

#include <stdexcept>
#include <string>

namespace vornakle::bench {

namespace {

// How often the server looks at its stop flag while no one connects.
constexpr int kPollMilliseconds = 50;
constexpr const char* kReply =
    "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 0\r\n\r\n";

}  // namespace

HeadServer::HeadServer(std::chrono::milliseconds replyDelay,
                       std::optional<testing::TestIdentity> tls)
    : replyDelay_(replyDelay) {
    if (tls) {
        tlsContext_ = testing::ServerTlsContext(*tls);
        // A client that drops the connection is no reason for the benchmark
        // to die of SIGPIPE in OpenSSL's write().
        ::signal(SIGPIPE, SIG_IGN);
    }
    listener_ = ListenOnLoopback(INADDR_LOOPBACK, 0);
    if (listener_ < 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = BoundPort(listener_);
    thread_ = std::thread([this] { Serve(); });
}

HeadServer::~HeadServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void HeadServer::Serve() {
    const std::string reply = kReply;
    while (!stop_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, kPollMilliseconds) <= 0) {
            continue;
        }
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        std::unique_ptr<SSL, decltype(&SSL_free)> ssl(nullptr, SSL_free);
        if (tlsContext_) {
            ssl.reset(SSL_new(tlsContext_.get()));
            SSL_set_fd(ssl.get(), connection);
            if (SSL_accept(ssl.get()) != 1) {
                ::close(connection);
                continue;
            }
        }
        const auto receive = [&](char* data, std::size_t length) -> long {
            return ssl ? SSL_read(ssl.get(), data, static_cast<int>(length))
                       : ::recv(connection, data, length, 0);
        };
        std::string request;
        char chunk[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const long got = receive(chunk, sizeof chunk);
            if (got <= 0) {
                break;
            }
            request.append(chunk, static_cast<std::size_t>(got));
        }
        if (request.find("\r\n\r\n") != std::string::npos) {
            if (replyDelay_.count() > 0) {
                std::this_thread::sleep_for(replyDelay_);
            }
            // Counted before the answer goes out: a client may have it and
            // be done before this thread would get round to counting it.
            ++served_;
            if (ssl) {
                SSL_write(ssl.get(), reply.data(), static_cast<int>(reply.size()));
                SSL_shutdown(ssl.get());
            } else {
                ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
        }
        ::close(connection);
    }
}

}  // namespace vornakle::bench
