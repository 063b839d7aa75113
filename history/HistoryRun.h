#pragma once

#include <QTimer>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "check/CheckResult.h"
#include "history/AddressHistory.h"
#include "history/CheckHistory.h"
#include "history/HistoryError.h"

namespace vornakle {

// The history's part in one run of checks over a list of URLs: what it knew
// of their addresses before the run, and the results the run adds. Each
// address is added once per run, however many URLs name it, and a check
// that was stopped not at all. Results are written in batches: when
// kBatchSize are waiting, kBatchMilliseconds after the first of a batch
// (on the thread's event loop, so a slow run that is killed loses little),
// and on Flush. After a failed write the run adds nothing more and keeps
// the failure for Failure(), so that the checks go on and the caller says
// it at the end.
class HistoryRun {
public:
    static constexpr std::size_t kBatchSize = 200;
    static constexpr int kBatchMilliseconds = 1000;

    // Opens the history at path (CheckHistory) and reads what it knows of
    // the URLs' addresses; an empty URL has none. Throws EHistoryError.
    HistoryRun(const std::string& path, HistoryFolder folder, const std::vector<std::string>& urls,
               HistoryClock clock);
    ~HistoryRun();
    HistoryRun(const HistoryRun&) = delete;
    HistoryRun& operator=(const HistoryRun&) = delete;

    // When the run began, by its clock.
    HistoryTime Start() const { return start_; }
    // Removes the history of every address none of the URLs names. Throws
    // EHistoryError.
    void Forget();
    // What the history knows of the URL's address; null when it has none.
    const AddressHistory* Known(std::size_t url) const;
    // Adds the URL's check; what the history then knows (null: no address).
    const AddressHistory* Checked(std::size_t url, const CheckResult& result);
    // Writes the results added since the last batch.
    void Flush();
    const std::optional<EHistoryError>& Failure() const { return failure_; }
    // How many addresses had a run of failures that began after the run's
    // start (a clock that was ahead once); they count as beginning now.
    std::size_t FutureRuns() const { return futureRuns_; }
    // Ends waits for another program's hold on the file early
    // (CheckHistory::StopWaitingOn, StopWaiting).
    void StopWaitingOn(int descriptor) { history_->StopWaitingOn(descriptor); }
    void StopWaiting() { history_->StopWaiting(); }

private:
    static constexpr std::size_t kNoAddress = static_cast<std::size_t>(-1);

    HistoryClock clock_;
    HistoryTime start_;
    std::unique_ptr<CheckHistory> history_;
    // Per distinct address: its key, what the history knows, and whether
    // this run has added its check.
    std::vector<std::string> addresses_;
    std::vector<AddressHistory> histories_;
    std::vector<bool> added_;
    // Per URL: its address's place in the lists above.
    std::vector<std::size_t> addressOfUrl_;
    std::vector<std::pair<std::string, HistoryCheck>> pending_;
    QTimer batchTimer_;
    std::optional<EHistoryError> failure_;
    std::size_t futureRuns_ = 0;
};

}  // namespace vornakle
