#pragma once

#include <memory>
#include <vector>

#include "check/CollectionLinks.h"
#include "cli/check/CheckOptions.h"
#include "history/HistoryRun.h"

namespace vornakle {

// Opens the history the command names for the links, one URL each (an
// unreadable link's has no address); null when the run keeps none. Throws
// EHistoryError.
std::unique_ptr<HistoryRun> OpenCommandHistory(const CheckCommand& command,
                                               const std::vector<LinkRecord>& links,
                                               const HistoryClock& clock);

}  // namespace vornakle
