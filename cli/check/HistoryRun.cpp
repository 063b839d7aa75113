#include "cli/check/HistoryRun.h"

#include <unordered_map>
#include <unordered_set>

#include "check/AddressParts.h"
#include "check/LinkCheck.h"
#include "history/CheckHistory.h"
#include "history/HistoryError.h"

namespace vornakle {

HistoryRun::HistoryRun(const CheckCommand& command, const std::vector<LinkRecord>& links,
                       HistoryClock clock)
    : command_(command), clock_(std::move(clock)), start_(clock_()) {
    const bool named = command.History == CheckCommand::HistoryUse::File;
    const std::string path = named ? command.HistoryFile : DefaultHistoryPath();
    if (path.empty()) {
        throw EHistoryError(EHistoryError::Reason::Unusable,
                            "neither XDG_STATE_HOME nor HOME is set, so it has no place; give "
                            "--history FILE or --no-history");
    }
    history_ = std::make_unique<CheckHistory>(
        path, named ? HistoryFolder::MustExist : HistoryFolder::MakeMissing);

    std::unordered_map<std::string, std::size_t> known;
    addressOfLink_.reserve(links.size());
    for (const LinkRecord& link : links) {
        if (link.Unreadable || link.Url.empty()) {
            addressOfLink_.push_back(kNoAddress);
            continue;
        }
        const auto [found, added] = known.emplace(AddressKey(link.Url), addresses_.size());
        if (added) {
            addresses_.push_back(found->first);
        }
        addressOfLink_.push_back(found->second);
    }
    histories_ = history_->Read(addresses_);
    added_.assign(addresses_.size(), false);
}

HistoryRun::~HistoryRun() = default;

void HistoryRun::Forget() {
    history_->Forget(std::unordered_set<std::string>(addresses_.begin(), addresses_.end()));
}

std::optional<std::pair<CheckResult, HistoryColumns>> HistoryRun::Reusable(std::size_t link) const {
    const std::size_t address = addressOfLink_.at(link);
    if (!command_.MaxAge || address == kNoAddress) {
        return std::nullopt;
    }
    std::optional<CheckResult> result =
        ReusableResult(histories_[address], *command_.MaxAge, start_);
    if (!result) {
        return std::nullopt;
    }
    HistoryColumns columns;
    columns.Kept = true;
    columns.Cached = true;
    return std::make_pair(std::move(*result), columns);
}

HistoryColumns HistoryRun::Checked(std::size_t link, const CheckResult& result) {
    const std::size_t address = addressOfLink_.at(link);
    if (address == kNoAddress) {
        return HistoryColumns();
    }
    AddressHistory& history = histories_[address];
    // A stopped check says nothing about the link.
    if (!added_[address] && result.Reason != FailureReason::Aborted) {
        HistoryCheck check = CheckOfResult(result, clock_());
        history = AfterCheck(history, check);
        pending_.emplace_back(addresses_[address], std::move(check));
        added_[address] = true;
        if (pending_.size() >= kBatchSize) {
            Flush();
        }
    }
    HistoryColumns columns;
    columns.Kept = true;
    columns.FailingSince = history.FailingSince;
    columns.Failures = history.Failures;
    columns.Unconfirmed =
        command_.Confirmed && IsBadResult(result) && !IsConfirmedFailure(history, command_.Confirm);
    return columns;
}

void HistoryRun::Flush() {
    history_->Record(pending_);
    pending_.clear();
}

}  // namespace vornakle
