#include "check/CheckQueue.h"

#include <algorithm>

#include "http/UrlSplit.h"
#include "http/WebUrl.h"
#include "platform/AsciiCase.h"

namespace vornakle {

std::string HostKey(const std::string& host, std::int32_t port) {
    return AsciiLowerCase(host) + ':' + std::to_string(port);
}

std::string HostKeyOf(const std::string& url) {
    // The host as the current rules' client names it, its IDNA form or the
    // address an IPv4 number stands for, so that a kept connection's host
    // is the key of its links.
    if (const std::optional<WebUrl> web = ParseWebUrl(url); web && web->IsWebAddress()) {
        return HostKey(web->Host.value_or(std::string()), web->PortOrDefault());
    }
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
    return HostKey(host, port);
}

bool CheckQueue::MorePressed::operator()(
    const std::tuple<std::size_t, int, std::size_t>& left,
    const std::tuple<std::size_t, int, std::size_t>& right) const {
    const auto [leftWaiting, leftOpen, leftHost] = left;
    const auto [rightWaiting, rightOpen, rightHost] = right;
    const std::size_t leftShare = leftWaiting * static_cast<std::size_t>(rightOpen + 1);
    const std::size_t rightShare = rightWaiting * static_cast<std::size_t>(leftOpen + 1);
    return leftShare != rightShare ? leftShare > rightShare : leftHost < rightHost;
}

CheckQueue::CheckQueue(const std::vector<std::string>& hostKeys, int perHost,
                       std::chrono::milliseconds idleLimit)
    : perHost_(perHost < 1 ? 1 : perHost), idleLimit_(idleLimit), left_(hostKeys.size()) {
    hostOfLink_.reserve(hostKeys.size());
    for (std::size_t index = 0; index < hostKeys.size(); ++index) {
        const std::size_t hostNumber = HostNumberLocked(hostKeys[index]);
        hostOfLink_.push_back(hostNumber);
        hosts_[hostNumber].Waiting.push_back(index);
    }
    for (std::size_t host = 0; host < hosts_.size(); ++host) {
        RefileLocked(host);
    }
}

std::size_t CheckQueue::HostNumberLocked(const std::string& key) {
    const auto [found, added] = numbers_.emplace(key, hosts_.size());
    if (added) {
        hosts_.emplace_back();
    }
    return found->second;
}

void CheckQueue::RefileLocked(std::size_t hostNumber) {
    Host& host = hosts_[hostNumber];
    if (host.ReadyKey) {
        ready_.erase({*host.ReadyKey, hostNumber});
        pressed_.erase({host.PressureKey->first, host.PressureKey->second, hostNumber});
        host.ReadyKey.reset();
        host.PressureKey.reset();
    }
    if (!host.Waiting.empty() && host.Open() < perHost_ && !held_.contains(hostNumber)) {
        host.ReadyKey = host.Waiting.front();
        host.PressureKey.emplace(host.Waiting.size(), host.Open());
        ready_.emplace(*host.ReadyKey, hostNumber);
        pressed_.emplace(host.Waiting.size(), host.Open(), hostNumber);
    }
}

std::optional<CheckQueue::Clock::time_point> CheckQueue::ReleaseHoldsLocked() {
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> earliest;
    for (auto held = held_.begin(); held != held_.end();) {
        const std::size_t hostNumber = *held;
        if (hosts_[hostNumber].HeldUntil <= now) {
            held = held_.erase(held);
            RefileLocked(hostNumber);
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
    RefileLocked(hostNumber);
}

std::optional<std::size_t> CheckQueue::ChooseLocked(std::size_t keptHost) const {
    if (keptHost != kNoHost) {
        const Host& kept = hosts_[keptHost];
        if (!kept.Waiting.empty() && !held_.contains(keptHost)) {
            // Its own connection saves a connect, unless another host has
            // more links waiting per connection than this one would have
            // with one connection less: the makespan is the slowest host's.
            if (kept.Open() >= 2 && !pressed_.empty()) {
                const auto [waiting, open, other] = *pressed_.begin();
                if (other != keptHost &&
                    waiting * static_cast<std::size_t>(kept.Open() - 1) >
                        kept.Waiting.size() * static_cast<std::size_t>(open + 1)) {
                    return other;
                }
            }
            return keptHost;
        }
    }
    if (ready_.empty()) {
        return std::nullopt;
    }
    return ready_.begin()->second;
}

void CheckQueue::DropKeptLocked(KeptConnection& kept) {
    if (kept.host_ == kNoHost) {
        return;
    }
    --hosts_[kept.host_].Idle;
    RefileLocked(kept.host_);
    kept.host_ = kNoHost;
    // A place came free: a worker that waits may take it.
    if (!ready_.empty()) {
        changed_.notify_one();
    }
}

bool CheckQueue::Take(std::size_t& index, KeptConnection& kept,
                      const std::function<void()>& closeKept) {
    std::unique_lock lock(mutex_);
    // Closes the kept connection outside the lock.
    const auto close = [&] {
        DropKeptLocked(kept);
        lock.unlock();
        if (closeKept) {
            closeKept();
        }
        lock.lock();
    };
    std::optional<std::size_t> chosen;
    for (;;) {
        std::optional<Clock::time_point> wakeUp = ReleaseHoldsLocked();
        if (stopped_ || left_ == 0) {
            DropKeptLocked(kept);
            return false;
        }
        if (kept.Held()) {
            const Clock::time_point expiry = kept.since_ + idleLimit_;
            if (Clock::now() >= expiry) {
                close();
                continue;
            }
            wakeUp = std::min(wakeUp.value_or(expiry), expiry);
        }
        chosen = ChooseLocked(kept.host_);
        if (chosen) {
            break;
        }
        // Woken by a place that came free, a Stop, the end of the earliest
        // hold or the kept connection's idle limit.
        if (wakeUp) {
            changed_.wait_until(lock, *wakeUp);
        } else {
            changed_.wait(lock);
        }
    }
    Host& host = hosts_[*chosen];
    index = host.Waiting.front();
    host.Waiting.pop_front();
    ++host.Running;
    --left_;
    if (kept.host_ == *chosen) {
        // The connection goes from idle to the check.
        --host.Idle;
        kept.host_ = kNoHost;
    }
    RefileLocked(*chosen);
    if (left_ == 0) {
        // Workers waiting for a host's place have nothing left to wait for.
        changed_.notify_all();
    }
    if (kept.Held()) {
        close();
    }
    return true;
}

bool CheckQueue::Take(std::size_t& index) {
    KeptConnection none;
    return Take(index, none, {});
}

bool CheckQueue::Finish(std::size_t index, KeptConnection& kept, const std::string& keptHost) {
    bool keeps = false;
    bool ready = false;
    {
        std::lock_guard lock(mutex_);
        const std::size_t hostNumber = hostOfLink_.at(index);
        --hosts_[hostNumber].Running;
        if (!keptHost.empty() && !stopped_) {
            const std::size_t keptNumber = HostNumberLocked(keptHost);
            Host& keeping = hosts_[keptNumber];
            if (keeping.Open() < perHost_) {
                ++keeping.Idle;
                kept.host_ = keptNumber;
                kept.since_ = Clock::now();
                keeps = true;
                RefileLocked(keptNumber);
            }
        }
        RefileLocked(hostNumber);
        // Workers wait only while nothing is ready for them.
        ready = !ready_.empty();
    }
    if (ready) {
        changed_.notify_one();
    }
    return keeps;
}

void CheckQueue::Finish(std::size_t index) {
    KeptConnection none;
    Finish(index, none, std::string());
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
