#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "net/TransferSupport.h"

namespace vornakle {

// Values a run's workers share, fetched once per key: the first worker to
// ask fetches, the others wait for its answer instead of asking the same
// server again. A fetch that found nothing is kept as well, so a failing
// address is not asked again either.
template <typename Value>
class FetchedOnce {
public:
    using TFetch = std::function<std::optional<Value>()>;

    std::optional<Value> Get(const std::string& key, const TFetch& fetch) {
        std::unique_lock lock(mutex_);
        const auto [entry, added] = entries_.try_emplace(key);
        if (!added) {
            changed_.wait(lock, [&] { return entry->second.Done; });
            return entry->second.Answer;
        }
        ++fetched_;
        lock.unlock();
        std::optional<Value> value;
        {
            // Whatever happens the waiting workers go on.
            ScopeExit publish([&] {
                const std::lock_guard relock(mutex_);
                entry->second.Answer = value;
                entry->second.Done = true;
                changed_.notify_all();
            });
            value = fetch();
        }
        return value;
    }

    // How many fetches ran.
    int Fetched() const {
        const std::lock_guard lock(mutex_);
        return fetched_;
    }

private:
    struct Entry {
        bool Done = false;
        std::optional<Value> Answer;
    };
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Entry> entries_;
    int fetched_ = 0;
};

}  // namespace vornakle
