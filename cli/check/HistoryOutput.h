#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "check/CheckResult.h"
#include "check/CollectionLinks.h"
#include "check/LinkOutcome.h"
#include "cli/check/CheckOptions.h"
#include "history/HistoryRun.h"

namespace vornakle {

// Opens the history the command names for the links, one URL each (an
// unreadable link's has no address); null when the run keeps none. Throws
// EHistoryError.
std::unique_ptr<HistoryRun> OpenCommandHistory(const CheckCommand& command,
                                               const std::vector<LinkRecord>& links,
                                               const HistoryClock& clock);

// The history's outcome for a link that need not be asked again
// (--max-age).
std::optional<LinkOutcome> CachedOutcome(const HistoryRun& history, std::size_t link,
                                         const CheckCommand& command);

// Adds a checked link's result to the history; what the history then says
// of it (--confirmed: whether it is confirmed yet); none when it keeps no
// address for the link.
std::optional<HistoryFacts> CheckedFacts(HistoryRun& history, std::size_t link,
                                         const CheckResult& result, const CheckCommand& command);

}  // namespace vornakle
