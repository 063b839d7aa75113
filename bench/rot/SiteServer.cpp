#include "SiteServer.h"

#include "common/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <iterator>
#include <stdexcept>

namespace vornakle::bench {

namespace {

constexpr int kWorkers = 16;
constexpr int kPollMilliseconds = 50;
constexpr std::size_t kMaxRequestBytes = 64 * 1024;

}  // namespace

SiteServer::SiteServer(std::vector<Pages> sites) : sites_(std::move(sites)) {
    std::vector<std::uint32_t> addresses;
    for (std::size_t site = 0; site < sites_.size(); ++site) {
        addresses.push_back(LoopbackAddress(site));
    }
    listeners_ = ListenOnAddresses(addresses, port_);
    acceptor_ = std::thread([this] { Accept(); });
    for (int worker = 0; worker < kWorkers; ++worker) {
        workers_.emplace_back([this] {
            while (!stop_) {
                std::pair<int, std::size_t> next{-1, 0};
                {
                    const std::lock_guard lock(queueMutex_);
                    if (!queue_.empty()) {
                        next = queue_.back();
                        queue_.pop_back();
                    }
                }
                if (next.first < 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                Serve(next.first, next.second);
            }
        });
    }
}

SiteServer::~SiteServer() {
    stop_ = true;
    acceptor_.join();
    for (std::thread& worker : workers_) {
        worker.join();
    }
    for (const auto& [descriptor, site] : queue_) {
        ::close(descriptor);
    }
    for (const int descriptor : listeners_) {
        ::close(descriptor);
    }
}

void SiteServer::Accept() {
    std::vector<pollfd> waiting;
    for (const int descriptor : listeners_) {
        waiting.push_back({descriptor, POLLIN, 0});
    }
    while (!stop_) {
        if (::poll(waiting.data(), waiting.size(), kPollMilliseconds) <= 0) {
            continue;
        }
        for (std::size_t site = 0; site < waiting.size(); ++site) {
            if ((waiting[site].revents & POLLIN) == 0) {
                continue;
            }
            const int connection = ::accept4(waiting[site].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) {
                const std::lock_guard lock(queueMutex_);
                queue_.emplace_back(connection, site);
            }
        }
    }
}

void SiteServer::Serve(int descriptor, std::size_t site) {
    std::string request;
    char chunk[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes) {
        pollfd waiting{descriptor, POLLIN, 0};
        if (::poll(&waiting, 1, 1000) <= 0) {
            break;
        }
        const ssize_t got = ::recv(descriptor, chunk, sizeof chunk, 0);
        if (got <= 0) {
            break;
        }
        request.append(chunk, static_cast<std::size_t>(got));
    }
    const std::size_t start = request.find(' ') + 1;
    const std::string target = request.substr(start, request.find(' ', start) - start);
    const Pages& pages = sites_[site];
    auto found = pages.find(target);
    // Else the longest pattern "prefix*" the target starts with, else "*".
    for (auto pattern = pages.begin(); found == pages.end() && pattern != pages.end(); ++pattern) {
        const std::string& key = pattern->first;
        if (key.size() > 1 && key.back() == '*' &&
            target.compare(0, key.size() - 1, key, 0, key.size() - 1) == 0) {
            auto longer = pattern;
            for (auto other = std::next(pattern); other != pages.end(); ++other) {
                const std::string& otherKey = other->first;
                if (otherKey.size() > longer->first.size() && otherKey.back() == '*' &&
                    target.compare(0, otherKey.size() - 1, otherKey, 0, otherKey.size() - 1) == 0) {
                    longer = other;
                }
            }
            found = longer;
        }
    }
    if (found == pages.end()) {
        found = pages.find("*");
    }
    static const SitePage kMissing{"404 Not Found", "Content-Type: text/html\r\n",
                                   "<html><head><title>404 Not Found</title></head></html>"};
    static const SitePage kSignIn{"401 Unauthorized", "WWW-Authenticate: Basic realm=\"site\"\r\n",
                                  std::string()};
    const SitePage* chosen = found != pages.end() ? &found->second : &kMissing;
    if (!chosen->Credentials.empty() &&
        request.find("\r\nAuthorization: Basic " + chosen->Credentials + "\r\n") ==
            std::string::npos) {
        chosen = &kSignIn;
    }
    const SitePage& page = *chosen;
    std::string headers = page.Headers;
    if (const std::size_t mark = headers.find("{port}"); mark != std::string::npos) {
        headers.replace(mark, 6, std::to_string(port_));
    }
    const bool head = request.rfind("HEAD ", 0) == 0;
    const std::string reply = page.Interim + "HTTP/1.1 " + page.Status + "\r\n" + headers +
                              "Content-Length: " + std::to_string(page.Body.size()) +
                              "\r\nConnection: close\r\n\r\n" + (head ? "" : page.Body);
    std::size_t sent = 0;
    while (sent < reply.size()) {
        const ssize_t done =
            ::send(descriptor, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (done <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(done);
    }
    ++served_;
    ::shutdown(descriptor, SHUT_WR);
    ::close(descriptor);
}

}  // namespace vornakle::bench
