#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "check/CheckResult.h"
#include "check/CollectionLinks.h"
#include "cli/check/CheckOptions.h"
#include "cli/check/ResultFormat.h"
#include "history/AddressHistory.h"

namespace vornakle {

class CheckHistory;

// The history's part in one run of the checker: what it knew of each link's
// address before the run, the links it answers for (--max-age), and the
// results it adds, in batches of at most kBatchSize (the program also
// writes a batch every kBatchMilliseconds, so a slow run loses little when
// it is killed). Each address is added once per run, however many links
// hold it. Throws EHistoryError.
class HistoryRun {
public:
    static constexpr std::size_t kBatchSize = 200;
    static constexpr int kBatchMilliseconds = 1000;

    // Opens the history the command names and reads what it knows of the
    // links' addresses.
    HistoryRun(const CheckCommand& command, const std::vector<LinkRecord>& links,
               HistoryClock clock);
    ~HistoryRun();
    HistoryRun(const HistoryRun&) = delete;
    HistoryRun& operator=(const HistoryRun&) = delete;

    // Removes the history of every address none of the links holds.
    void Forget();
    // The history's result for a link that need not be asked again.
    std::optional<std::pair<CheckResult, HistoryColumns>> Reusable(std::size_t link) const;
    // Adds a checked link's result; what the history then says of it.
    HistoryColumns Checked(std::size_t link, const CheckResult& result);
    // Writes the results added since the last batch.
    void Flush();

private:
    static constexpr std::size_t kNoAddress = static_cast<std::size_t>(-1);

    const CheckCommand& command_;
    HistoryClock clock_;
    HistoryTime start_;
    std::unique_ptr<CheckHistory> history_;
    // Per distinct address: its key, what the history knows, and whether
    // this run has added its check.
    std::vector<std::string> addresses_;
    std::vector<AddressHistory> histories_;
    std::vector<bool> added_;
    // Per link: its address's place in the lists above.
    std::vector<std::size_t> addressOfLink_;
    std::vector<std::pair<std::string, HistoryCheck>> pending_;
};

}  // namespace vornakle
