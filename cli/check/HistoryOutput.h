#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "check/CheckResult.h"
#include "check/CollectionLinks.h"
#include "cli/check/CheckOptions.h"
#include "cli/check/ResultFormat.h"
#include "history/HistoryRun.h"

namespace vornakle {

// Opens the history the command names for the links, one URL each (an
// unreadable link's has no address); null when the run keeps none. Throws
// EHistoryError.
std::unique_ptr<HistoryRun> OpenCommandHistory(const CheckCommand& command,
                                               const std::vector<LinkRecord>& links,
                                               const HistoryClock& clock);

// The history's result for a link that need not be asked again
// (--max-age), with its columns.
std::optional<std::pair<CheckResult, RecordExtras>> CachedResult(const HistoryRun& history,
                                                                 std::size_t link,
                                                                 const CheckCommand& command);

// Adds a checked link's result to the history; what the history then says
// of it (--confirmed: whether it is confirmed yet).
RecordExtras CheckedColumns(HistoryRun& history, std::size_t link, const CheckResult& result,
                            const CheckCommand& command);

}  // namespace vornakle
