#include "history/CheckHistory.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>

#include "history/HistoryError.h"
#include "history/SqliteDatabase.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace vornakle {

namespace {

// PRAGMA application_id: "VkHi", so that a file of ours is told from any
// other SQLite database.
constexpr std::int64_t kApplicationId = 0x566b4869;
// PRAGMA user_version: the layout below. A newer layout is refused rather
// than read wrongly or changed.
constexpr std::int64_t kSchemaVersion = 1;

// Per address its current run of failures and the last check's final URL
// (NULL when it was the address itself, which is most of the time); per
// check its time (seconds of UTC), status, class and reason. Checks are
// told apart and ordered by their rowid, which only grows.
constexpr char kSchema[] =
    "CREATE TABLE addresses ("
    " id INTEGER PRIMARY KEY,"
    " address TEXT NOT NULL UNIQUE,"
    " failing_since INTEGER,"
    " failures INTEGER NOT NULL DEFAULT 0,"
    " final_url TEXT);"
    "CREATE TABLE checks ("
    " address INTEGER NOT NULL REFERENCES addresses (id),"
    " time INTEGER NOT NULL,"
    " status INTEGER NOT NULL,"
    " class TEXT NOT NULL,"
    " reason TEXT NOT NULL);"
    "CREATE INDEX checks_of_address ON checks (address);";

EHistoryError ForeignFile(const std::string& path) {
    return EHistoryError(EHistoryError::Reason::Foreign,
                         path +
                             " is an SQLite database of another program, no history of checks; "
                             "it was left as it is");
}

// The start of every SQLite database file, and the header's length
// (https://www.sqlite.org/fileformat.html, section 1.3).
constexpr char kSqliteMagic[] = "SQLite format 3";
constexpr std::size_t kSqliteHeaderBytes = 100;
constexpr std::size_t kApplicationIdOffset = 68;

// Times a history may hold: from 1970 to the end of year 9999, which
// every date printer can write. A time beyond is no check's.
constexpr std::int64_t kLastHistorySecond = 253402300799;

std::optional<HistoryTime> TimeRead(const SqliteStatement& statement, int column) {
    if (statement.IsNull(column)) {
        return std::nullopt;
    }
    const std::int64_t seconds = statement.Integer(column);
    if (seconds < 0 || seconds > kLastHistorySecond) {
        return std::nullopt;
    }
    return HistoryTime(std::chrono::seconds(seconds));
}

int FailuresRead(const SqliteStatement& statement, int column) {
    return static_cast<int>(
        std::clamp<std::int64_t>(statement.Integer(column), 0, kMostFailuresInARun));
}

// What is refused before SQLite opens the file, since SQLite may write to
// what it opens: a file that is not a regular one (a device would get a
// journal file beside it), one that is no SQLite database or another
// program's, and a log left beside an empty or missing file, which SQLite
// would read into the new history.
void RefuseUnfitFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode)) {
            throw EHistoryError(EHistoryError::Reason::Unusable,
                                path +
                                    " is no regular file; a history is kept in a file of its "
                                    "own, so nothing was made beside it");
        }
        if (status.st_size > 0) {
            const UniqueFd file = OpenRegularFile(path);
            const std::string header =
                file.IsValid() ? ReadAll(file.Get(), kSqliteHeaderBytes, path + " cannot be read")
                               : std::string();
            if (!file.IsValid()) {
                throw EHistoryError(EHistoryError::Reason::Unusable, path + " cannot be read");
            }
            if (header.size() < kSqliteHeaderBytes ||
                std::memcmp(header.data(), kSqliteMagic, sizeof kSqliteMagic) != 0) {
                throw EHistoryError(
                    EHistoryError::Reason::Damaged,
                    path + " is damaged or no SQLite database; it was left as it is");
            }
            std::int64_t applicationId = 0;
            for (std::size_t index = 0; index < 4; ++index) {
                applicationId = applicationId * 256 +
                                static_cast<unsigned char>(header[kApplicationIdOffset + index]);
            }
            if (applicationId != 0 && applicationId != kApplicationId) {
                throw ForeignFile(path);
            }
            return;
        }
    }
    if (PathExists(path + "-wal")) {
        throw EHistoryError(EHistoryError::Reason::Damaged,
                            path +
                                "-wal is a log beside an empty or missing history; both were "
                                "left as they are");
    }
}

std::int64_t PragmaValue(const SqliteDatabase& database, const char* pragma) {
    SqliteStatement statement(database, pragma);
    return statement.Step() ? statement.Integer(0) : 0;
}

std::int64_t SchemaObjects(const SqliteDatabase& database) {
    SqliteStatement statement(database, "SELECT count(*) FROM sqlite_schema");
    return statement.Step() ? statement.Integer(0) : 0;
}

std::int64_t SecondsOf(HistoryTime time) {
    return time.time_since_epoch().count();
}

}  // namespace

std::string DefaultHistoryPath() {
    const std::string base = BaseDirectory("XDG_STATE_HOME", ".local/state");
    return base.empty() ? std::string() : base + "/vornakle/history.sqlite";
}

CheckHistory::CheckHistory(const std::string& path, HistoryFolder folder) {
    if (folder == HistoryFolder::MakeMissing) {
        const std::filesystem::path parent = std::filesystem::path(path).parent_path();
        std::error_code error;
        if (!parent.empty() && !std::filesystem::is_directory(parent, error) &&
            !std::filesystem::create_directories(parent, error) && error) {
            throw EHistoryError(EHistoryError::Reason::Unusable,
                                "cannot make the folder " + parent.string() + " for the history (" +
                                    error.message() + ")");
        }
    }
    RefuseUnfitFile(path);
    // Judged through a connection that cannot write, so that a file that is
    // refused stays as it is: one that may write would replay a log beside
    // it into it and delete the log.
    bool judged = false;
    if (struct stat status{}; ::stat(path.c_str(), &status) == 0 && status.st_size > 0) {
        // Without a log beside it the file alone is judged, and SQLite makes
        // no side files for that; a log it must read through its index.
        const SqliteDatabase probe(path, kBusyTimeoutMilliseconds,
                                   PathExists(path + "-wal") ? SqliteDatabase::Access::ReadOnly
                                                             : SqliteDatabase::Access::Immutable);
        if (!IsEmptyDatabase(probe)) {
            CheckIsOurs(probe);
        }
        judged = true;
    }
    database_ = std::make_unique<SqliteDatabase>(path, kBusyTimeoutMilliseconds);
    MakeTablesIfEmpty();
    if (!judged) {
        CheckIsOurs(*database_);
    }
    // Said now rather than after the first batch of checks.
    if (database_->IsReadOnly()) {
        throw EHistoryError(EHistoryError::Reason::Unusable,
                            path + " cannot be written (no permission); it was left as it is");
    }
    // Each commit reaches the disk before the next batch begins: a power
    // loss takes at most the batch under way. With the write-ahead log
    // (set when the file was made) readers do not wait for a writer.
    database_->Execute("PRAGMA synchronous = FULL");
}

CheckHistory::~CheckHistory() = default;

void CheckHistory::MakeTablesIfEmpty() {
    // Read before writing anything: a file that is no database, or another
    // program's, is refused here untouched.
    if (!IsEmptyDatabase(*database_)) {
        return;
    }
    {
        SqliteTransaction transaction(*database_, SqliteTransaction::Kind::Write);
        // Another program may have made the tables while this one waited.
        if (SchemaObjects(*database_) != 0) {
            return;
        }
        database_->Execute(kSchema);
        database_->Execute(("PRAGMA application_id = " + std::to_string(kApplicationId) +
                            "; PRAGMA user_version = " + std::to_string(kSchemaVersion))
                               .c_str());
        transaction.Commit();
    }
    database_->Execute("PRAGMA journal_mode = WAL");
}

void CheckHistory::StopWaitingOn(int descriptor) {
    database_->StopWaitingOn(descriptor);
}

void CheckHistory::StopWaiting() {
    database_->StopWaiting();
}

bool CheckHistory::IsEmptyDatabase(const SqliteDatabase& database) {
    return PragmaValue(database, "PRAGMA application_id") == 0 && SchemaObjects(database) == 0;
}

void CheckHistory::CheckIsOurs(const SqliteDatabase& database) {
    const std::string& path = database.Path();
    if (PragmaValue(database, "PRAGMA application_id") != kApplicationId) {
        throw ForeignFile(path);
    }
    const std::int64_t version = PragmaValue(database, "PRAGMA user_version");
    if (version > kSchemaVersion) {
        throw EHistoryError(EHistoryError::Reason::Newer,
                            path + " was written by a newer version of this program (layout " +
                                std::to_string(version) + "); it was left as it is");
    }
    SqliteStatement check(database, "PRAGMA quick_check");
    if (version < kSchemaVersion || !check.Step() || check.Text(0) != "ok") {
        throw EHistoryError(EHistoryError::Reason::Damaged,
                            path + " is damaged; it was left as it is");
    }
}

std::vector<AddressHistory> CheckHistory::Read(const std::vector<std::string>& addresses) const {
    std::vector<AddressHistory> histories(addresses.size());
    // One read transaction: a consistent picture, and one lock for all.
    SqliteTransaction transaction(*database_, SqliteTransaction::Kind::Read);
    SqliteStatement query(*database_,
                          "SELECT a.failing_since, a.failures, a.final_url, c.time, c.status, "
                          "c.class, c.reason, (SELECT max(time) FROM checks WHERE address = a.id "
                          "AND (a.failures = 0 OR time < a.failing_since)) "
                          "FROM addresses a LEFT JOIN checks c ON c.rowid = "
                          "(SELECT max(rowid) FROM checks WHERE address = a.id) "
                          "WHERE a.address = ?1");
    for (std::size_t index = 0; index < addresses.size(); ++index) {
        query.Reset();
        query.Bind(1, addresses[index]);
        if (!query.Step()) {
            continue;
        }
        // Numbers out of range (another program's writing, a damaged row
        // that passes the page checks) are read as unknown.
        AddressHistory& history = histories[index];
        history.Failures = FailuresRead(query, 1);
        if (history.Failures > 0) {
            history.FailingSince = TimeRead(query, 0);
        }
        const std::optional<HistoryTime> lastTime = TimeRead(query, 3);
        const std::int64_t status = query.Integer(4);
        if (lastTime && status >= std::numeric_limits<std::int32_t>::min() &&
            status <= std::numeric_limits<std::int32_t>::max()) {
            HistoryCheck last;
            last.FinalUrl = query.IsNull(2) ? addresses[index] : query.Text(2);
            last.Time = *lastTime;
            last.Status = LinkStatus::FromStored(static_cast<std::int32_t>(status));
            last.Class = query.Text(5);
            last.Reason = query.Text(6);
            last.Failed = history.Failures > 0;
            history.Last = std::move(last);
        }
        // The checks before the run of failures were none (a run begins
        // after a check that was no failure, or with the first check).
        history.LastFine = TimeRead(query, 7);
    }
    transaction.Commit();
    return histories;
}

void CheckHistory::Record(const std::vector<std::pair<std::string, HistoryCheck>>& checks) {
    if (checks.empty()) {
        return;
    }
    SqliteTransaction transaction(*database_, SqliteTransaction::Kind::Write);
    SqliteStatement add(*database_,
                        "INSERT INTO addresses (address) VALUES (?1) ON CONFLICT DO NOTHING");
    SqliteStatement find(*database_,
                         "SELECT id, failing_since, failures FROM addresses WHERE address = ?1");
    SqliteStatement update(
        *database_,
        "UPDATE addresses SET failing_since = ?2, failures = ?3, final_url = ?4 WHERE id = ?1");
    SqliteStatement insert(*database_,
                           "INSERT INTO checks (address, time, status, class, reason) "
                           "VALUES (?1, ?2, ?3, ?4, ?5)");
    SqliteStatement trim(*database_,
                         "DELETE FROM checks WHERE address = ?1 AND rowid <= (SELECT rowid FROM "
                         "checks WHERE address = ?1 ORDER BY rowid DESC LIMIT 1 OFFSET ?2)");
    for (const auto& [address, check] : checks) {
        add.Reset();
        add.Bind(1, address).Step();
        find.Reset();
        find.Bind(1, address);
        if (!find.Step()) {
            throw EHistoryError(EHistoryError::Reason::Damaged,
                                database_->Path() + " lost a row while it was written");
        }
        const std::int64_t id = find.Integer(0);
        // The run of failures as the file has it now: another program may
        // have added checks since this one read it.
        AddressHistory before;
        before.Failures = FailuresRead(find, 2);
        before.FailingSince = TimeRead(find, 1);
        const AddressHistory after = AfterCheck(before, check);

        update.Reset();
        update.Bind(1, id).Bind(3, static_cast<std::int64_t>(after.Failures));
        if (after.FailingSince) {
            update.Bind(2, SecondsOf(*after.FailingSince));
        }
        if (check.FinalUrl != address) {
            update.Bind(4, check.FinalUrl);
        }
        update.Step();
        insert.Reset();
        insert.Bind(1, id)
            .Bind(2, SecondsOf(check.Time))
            .Bind(3, static_cast<std::int64_t>(check.Status.Shown()))
            .Bind(4, check.Class)
            .Bind(5, check.Reason)
            .Step();
        trim.Reset();
        trim.Bind(1, id).Bind(2, static_cast<std::int64_t>(kKeptChecks)).Step();
    }
    transaction.Commit();
}

std::size_t CheckHistory::Forget(const std::unordered_set<std::string>& keep) {
    SqliteTransaction transaction(*database_, SqliteTransaction::Kind::Write);
    std::vector<std::int64_t> gone;
    {
        SqliteStatement all(*database_, "SELECT id, address FROM addresses");
        while (all.Step()) {
            if (keep.count(all.Text(1)) == 0) {
                gone.push_back(all.Integer(0));
            }
        }
    }
    SqliteStatement checks(*database_, "DELETE FROM checks WHERE address = ?1");
    SqliteStatement address(*database_, "DELETE FROM addresses WHERE id = ?1");
    for (const std::int64_t id : gone) {
        checks.Reset();
        checks.Bind(1, id).Step();
        address.Reset();
        address.Bind(1, id).Step();
    }
    transaction.Commit();
    return gone.size();
}

}  // namespace vornakle
