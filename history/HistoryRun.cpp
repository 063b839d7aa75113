#include "history/HistoryRun.h"

#include <unordered_map>
#include <unordered_set>

#include "check/AddressParts.h"

namespace vornakle {

HistoryRun::HistoryRun(const std::string& path, HistoryFolder folder,
                       const std::vector<std::string>& urls, HistoryClock clock)
    : clock_(std::move(clock)),
      start_(clock_()),
      history_(std::make_unique<CheckHistory>(path, folder)) {
    std::unordered_map<std::string, std::size_t> known;
    addressOfUrl_.reserve(urls.size());
    for (const std::string& url : urls) {
        if (url.empty()) {
            addressOfUrl_.push_back(kNoAddress);
            continue;
        }
        const auto [found, added] = known.emplace(AddressKey(url), addresses_.size());
        if (added) {
            addresses_.push_back(found->first);
        }
        addressOfUrl_.push_back(found->second);
    }
    histories_ = history_->Read(addresses_);
    for (AddressHistory& history : histories_) {
        if (BeganInTheFuture(history, start_)) {
            history.FailingSince = start_;
            ++futureRuns_;
        }
    }
    added_.assign(addresses_.size(), false);
    batchTimer_.setSingleShot(true);
    batchTimer_.setInterval(kBatchMilliseconds);
    QObject::connect(&batchTimer_, &QTimer::timeout, &batchTimer_, [this] { Flush(); });
}

HistoryRun::~HistoryRun() = default;

void HistoryRun::Forget() {
    history_->Forget(std::unordered_set<std::string>(addresses_.begin(), addresses_.end()));
}

const AddressHistory* HistoryRun::Known(std::size_t url) const {
    const std::size_t address = addressOfUrl_.at(url);
    return address == kNoAddress ? nullptr : &histories_[address];
}

const AddressHistory* HistoryRun::Checked(std::size_t url, const CheckResult& result) {
    const std::size_t address = addressOfUrl_.at(url);
    if (address == kNoAddress) {
        return nullptr;
    }
    // A stopped check says nothing about the link.
    if (!added_[address] && result.Reason != FailureReason::Aborted) {
        added_[address] = true;
        HistoryCheck check = CheckOfResult(result, clock_());
        histories_[address] = AfterCheck(histories_[address], check);
        if (!failure_) {
            pending_.emplace_back(addresses_[address], std::move(check));
            if (pending_.size() >= kBatchSize) {
                Flush();
            } else if (!batchTimer_.isActive()) {
                batchTimer_.start();
            }
        }
    }
    return &histories_[address];
}

void HistoryRun::Flush() {
    batchTimer_.stop();
    if (failure_) {
        return;
    }
    try {
        history_->Record(pending_);
    } catch (const EHistoryError& error) {
        failure_ = error;
    }
    pending_.clear();
}

}  // namespace vornakle
