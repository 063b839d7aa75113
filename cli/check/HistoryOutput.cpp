#include "cli/check/HistoryOutput.h"

#include <string>

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

}  // namespace vornakle
