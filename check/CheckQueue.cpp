#include "check/CheckQueue.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "http/UrlSplit.h"
#include "platform/AsciiCase.h"

namespace vornakle {

std::string HostKeyOf(const std::string& url) {
    std::string splitUrl = url;
    std::string host;
    std::int32_t port = 0;
    std::string path;
    try {
        // Current rules connect to https hosts; classic refuses their links
        // before connecting, so a key costs them nothing.
        ParseRequestURL(splitUrl, host, port, path, SecureScheme::Allowed);
    } catch (...) {
        return std::string();
    }
    if (host.empty()) {
        return std::string();
    }
    // Host names are compared without letter case (RFC 3986 section 3.2.2).
    return AsciiLowerCase(host) + ':' + std::to_string(port);
}

CheckQueue::CheckQueue(const std::vector<std::string>& hostKeys, int perHost)
    : perHost_(perHost < 1 ? 1 : perHost), left_(hostKeys.size()) {
    std::map<std::string, std::size_t> numbers;
    hostOfLink_.reserve(hostKeys.size());
    for (std::size_t index = 0; index < hostKeys.size(); ++index) {
        const auto [found, added] = numbers.emplace(hostKeys[index], hosts_.size());
        if (added) {
            hosts_.emplace_back();
        }
        hostOfLink_.push_back(found->second);
        hosts_[found->second].Waiting.push_back(index);
    }
    for (std::size_t host = 0; host < hosts_.size(); ++host) {
        MarkReadyLocked(host);
    }
}

void CheckQueue::MarkReadyLocked(std::size_t hostNumber) {
    const Host& host = hosts_[hostNumber];
    if (!host.Waiting.empty() && host.Running < perHost_ && !held_.contains(hostNumber)) {
        ready_.emplace(host.Waiting.front(), hostNumber);
    }
}

std::optional<CheckQueue::Clock::time_point> CheckQueue::ReleaseHoldsLocked() {
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> earliest;
    for (auto held = held_.begin(); held != held_.end();) {
        const std::size_t hostNumber = *held;
        if (hosts_[hostNumber].HeldUntil <= now) {
            held = held_.erase(held);
            MarkReadyLocked(hostNumber);
        } else {
            earliest =
                std::min(earliest.value_or(Clock::time_point::max()), hosts_[hostNumber].HeldUntil);
            ++held;
        }
    }
    return earliest;
}

void CheckQueue::HoldHost(std::size_t index, std::int64_t milliseconds) {
    std::lock_guard lock(mutex_);
    const std::size_t hostNumber = hostOfLink_.at(index);
    Host& host = hosts_[hostNumber];
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(milliseconds);
    host.HeldUntil = std::max(host.HeldUntil, until);
    held_.insert(hostNumber);
    if (!host.Waiting.empty()) {
        ready_.erase({host.Waiting.front(), hostNumber});
    }
}

bool CheckQueue::Take(std::size_t& index) {
    std::unique_lock lock(mutex_);
    for (;;) {
        const std::optional<Clock::time_point> holdEnd = ReleaseHoldsLocked();
        if (stopped_ || left_ == 0 || !ready_.empty()) {
            break;
        }
        // Woken by a Finish or Stop, or when the earliest hold ends.
        if (holdEnd) {
            changed_.wait_until(lock, *holdEnd);
        } else {
            changed_.wait(lock);
        }
    }
    if (stopped_ || ready_.empty()) {
        return false;
    }
    const auto [first, hostNumber] = *ready_.begin();
    ready_.erase(ready_.begin());
    Host& host = hosts_[hostNumber];
    index = first;
    host.Waiting.pop_front();
    ++host.Running;
    --left_;
    MarkReadyLocked(hostNumber);
    if (left_ == 0) {
        // Workers waiting for a host's place have nothing left to wait for.
        changed_.notify_all();
    }
    return true;
}

void CheckQueue::Finish(std::size_t index) {
    {
        std::lock_guard lock(mutex_);
        const std::size_t hostNumber = hostOfLink_.at(index);
        Host& host = hosts_[hostNumber];
        const bool wasFull = host.Running >= perHost_;
        --host.Running;
        if (wasFull) {
            MarkReadyLocked(hostNumber);
        }
    }
    changed_.notify_one();
}

void CheckQueue::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

bool CheckQueue::Stopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

}  // namespace vornakle
