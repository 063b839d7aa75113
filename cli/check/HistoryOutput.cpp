#include "cli/check/HistoryOutput.h"

#include <string>

#include "check/LinkCheck.h"
#include "history/CheckHistory.h"

namespace vornakle {

std::unique_ptr<HistoryRun> OpenCommandHistory(const CheckCommand& command,
                                               const std::vector<LinkRecord>& links,
                                               const HistoryClock& clock) {
    if (!command.KeepsHistory()) {
        return nullptr;
    }
    const bool named = command.History == CheckCommand::HistoryUse::File;
    const std::string path = named ? command.HistoryFile : DefaultHistoryPath();
    if (path.empty()) {
        throw EHistoryError(EHistoryError::Reason::Unusable,
                            "neither XDG_STATE_HOME nor HOME is set, so it has no place; give "
                            "--history FILE or --no-history");
    }
    std::vector<std::string> urls;
    urls.reserve(links.size());
    for (const LinkRecord& link : links) {
        urls.push_back(link.Unreadable ? std::string() : link.Url);
    }
    return std::make_unique<HistoryRun>(
        path, named ? HistoryFolder::MustExist : HistoryFolder::MakeMissing, urls, clock);
}

std::optional<LinkOutcome> CachedOutcome(const HistoryRun& history, std::size_t link,
                                         const CheckCommand& command) {
    const AddressHistory* known = history.Known(link);
    if (!command.MaxAge || known == nullptr) {
        return std::nullopt;
    }
    std::optional<CheckResult> result = ReusableResult(*known, *command.MaxAge, history.Start());
    if (!result) {
        return std::nullopt;
    }
    return LinkOutcome{std::move(*result), OutcomeState::Cached, HistoryFacts{}, {}};
}

std::optional<HistoryFacts> CheckedFacts(HistoryRun& history, std::size_t link,
                                         const CheckResult& result, const CheckCommand& command) {
    const AddressHistory* known = history.Checked(link, result);
    if (known == nullptr) {
        return std::nullopt;
    }
    return HistoryFacts{
        known->FailingSince, known->Failures,
        command.Confirmed && IsBadResult(result) && !IsConfirmedFailure(*known, command.Confirm)};
}

}  // namespace vornakle
