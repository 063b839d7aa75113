#include "check/CheckQueue.h"

#include <cstdint>
#include <map>

#include "http/UrlSplit.h"

namespace vornakle {

std::string HostKeyOf(const std::string& Url) {
    std::string url = Url;
    std::string host;
    std::int32_t port = 0;
    std::string path;
    try {
        ParseRequestURL(url, host, port, path);
    } catch (...) {
        return std::string();
    }
    if (host.empty()) {
        return std::string();
    }
    // Host names are compared without letter case (RFC 3986 section 3.2.2).
    for (char& character : host) {
        if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
    return host + ':' + std::to_string(port);
}

TCheckQueue::TCheckQueue(const std::vector<std::string>& HostKeys, int PerHost)
    : PerHost_(PerHost < 1 ? 1 : PerHost), Left_(HostKeys.size()) {
    std::map<std::string, std::size_t> numbers;
    HostOfLink_.reserve(HostKeys.size());
    for (std::size_t index = 0; index < HostKeys.size(); ++index) {
        const auto [found, added] = numbers.emplace(HostKeys[index], Hosts_.size());
        if (added) {
            Hosts_.emplace_back();
        }
        HostOfLink_.push_back(found->second);
        Hosts_[found->second].Waiting.push_back(index);
    }
    for (std::size_t host = 0; host < Hosts_.size(); ++host) {
        MarkReadyLocked(host);
    }
}

void TCheckQueue::MarkReadyLocked(std::size_t HostNumber) {
    const Host& host = Hosts_[HostNumber];
    if (!host.Waiting.empty() && host.Running < PerHost_) {
        Ready_.emplace(host.Waiting.front(), HostNumber);
    }
}

bool TCheckQueue::Take(std::size_t& Index) {
    std::unique_lock lock(Mutex_);
    Changed_.wait(lock, [this] { return Stopped_ || Left_ == 0 || !Ready_.empty(); });
    if (Stopped_ || Ready_.empty()) {
        return false;
    }
    const auto [first, hostNumber] = *Ready_.begin();
    Ready_.erase(Ready_.begin());
    Host& host = Hosts_[hostNumber];
    Index = first;
    host.Waiting.pop_front();
    ++host.Running;
    --Left_;
    MarkReadyLocked(hostNumber);
    if (Left_ == 0) {
        // Workers waiting for a host's place have nothing left to wait for.
        Changed_.notify_all();
    }
    return true;
}

void TCheckQueue::Finish(std::size_t Index) {
    {
        std::lock_guard lock(Mutex_);
        const std::size_t hostNumber = HostOfLink_.at(Index);
        Host& host = Hosts_[hostNumber];
        const bool wasFull = host.Running >= PerHost_;
        --host.Running;
        if (wasFull) {
            MarkReadyLocked(hostNumber);
        }
    }
    Changed_.notify_one();
}

void TCheckQueue::Stop() {
    {
        std::lock_guard lock(Mutex_);
        Stopped_ = true;
    }
    Changed_.notify_all();
}

bool TCheckQueue::Stopped() const {
    std::lock_guard lock(Mutex_);
    return Stopped_;
}

}  // namespace vornakle
