#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "history/AddressHistory.h"

namespace vornakle {

class SqliteDatabase;

// Where the history lives unless the user names a file:
// $XDG_STATE_HOME/vornakle/history.sqlite, ~/.local/state/... without it;
// empty when neither that variable (an absolute path) nor HOME is set.
std::string DefaultHistoryPath();

// Whether opening a history may make the folder it goes into.
enum class HistoryFolder { MakeMissing, MustExist };

// The history of checks across runs, per address (AddressKey): an SQLite
// file that both programs may use at the same time. Each address keeps its
// last kKeptChecks checks and its current run of failures. Writes go in one
// transaction per call, so a run that is killed loses at most the batch
// under way, and the file stays whole. Throws EHistoryError.
class CheckHistory {
public:
    static constexpr int kKeptChecks = 20;
    // How long a call waits for another program's transaction before it
    // gives up with EHistoryError::Reason::InUse. Transactions are short
    // (one batch of results); a wait this long means one hangs.
    static constexpr int kBusyTimeoutMilliseconds = 10000;

    // Opens the history at path, and makes it there when there is no file
    // (or an empty one). A file that is no history of ours, or one written
    // by a newer version, or a damaged one, is refused and left alone, its
    // write-ahead log too; so is what is not a regular file, and nothing is
    // made beside it. Numbers out of range in an accepted file are read as
    // unknown.
    CheckHistory(const std::string& path, HistoryFolder folder);
    ~CheckHistory();
    CheckHistory(const CheckHistory&) = delete;
    CheckHistory& operator=(const CheckHistory&) = delete;

    // What the history knows of each address, in the order given.
    std::vector<AddressHistory> Read(const std::vector<std::string>& addresses) const;
    // Adds each check to its address's history, in one transaction.
    void Record(const std::vector<std::pair<std::string, HistoryCheck>>& checks);
    // Removes the history of every address not in keep; how many went.
    std::size_t Forget(const std::unordered_set<std::string>& keep);
    // Ends a wait for another program's hold on the file early: when
    // descriptor is readable (a stop signal's pipe), or at once from now on
    // (EHistoryError::Reason::Stopped).
    void StopWaitingOn(int descriptor);
    void StopWaiting();

private:
    static bool IsEmptyDatabase(const SqliteDatabase& database);
    static void CheckIsOurs(const SqliteDatabase& database);
    void MakeTablesIfEmpty();

    std::unique_ptr<SqliteDatabase> database_;
};

}  // namespace vornakle
