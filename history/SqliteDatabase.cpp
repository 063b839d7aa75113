#include "history/SqliteDatabase.h"

#include <errno.h>
#include <poll.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "history/HistoryError.h"

namespace vornakle {

namespace {

// How long one step of a wait for another program's lock sleeps at most
// when there is no stop descriptor to wake it.
constexpr int kBusyStepMilliseconds = 50;

std::int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int SqliteDatabase::OnBusy(void* data, int count) {
    BusyWait& wait = *static_cast<BusyWait*>(data);
    if (count == 0) {
        wait.StartMilliseconds = NowMilliseconds();
        wait.EndedByStop = false;
    }
    if (wait.Stopped) {
        wait.EndedByStop = true;
        return 0;
    }
    const std::int64_t left =
        wait.TimeoutMilliseconds - (NowMilliseconds() - wait.StartMilliseconds);
    if (left <= 0) {
        return 0;
    }
    // Sleeps until the lock may be free or a stop signal arrives, whichever
    // is first: SQLite tells no release, so the wait looks again after a
    // short step.
    pollfd stop{wait.StopDescriptor, POLLIN, 0};
    const int ready =
        ::poll(&stop, 1, static_cast<int>(std::min<std::int64_t>(left, kBusyStepMilliseconds)));
    if (ready > 0 && (stop.revents & POLLIN) != 0) {
        wait.EndedByStop = true;
        return 0;
    }
    return 1;
}

void SqliteDatabase::Closer::operator()(sqlite3* database) const {
    sqlite3_close_v2(database);
}

SqliteDatabase::SqliteDatabase(const std::string& path, int busyTimeoutMilliseconds, Access access)
    : path_(path) {
    sqlite3* raw = nullptr;
    std::string name = path;
    if (access == Access::Immutable) {
        // A URI, so that SQLite takes the parameter: the path's own "%",
        // "?" and "#" escaped.
        name = "file:";
        for (const char character : path) {
            if (character == '%' || character == '?' || character == '#') {
                constexpr char kDigits[] = "0123456789ABCDEF";
                const auto byte = static_cast<unsigned char>(character);
                name += {'%', kDigits[byte >> 4], kDigits[byte & 0xf]};
            } else {
                name += character;
            }
        }
        name += "?immutable=1";
    }
    const int opened = sqlite3_open_v2(
        name.c_str(), &raw,
        (access == Access::ReadWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                     : SQLITE_OPEN_READONLY) |
            (access == Access::Immutable ? SQLITE_OPEN_URI : 0) | SQLITE_OPEN_NOMUTEX,
        nullptr);
    database_.reset(raw);
    if (opened != SQLITE_OK) {
        Fail(opened);
    }
    sqlite3_extended_result_codes(raw, 1);
    wait_.TimeoutMilliseconds = busyTimeoutMilliseconds;
    sqlite3_busy_handler(raw, &SqliteDatabase::OnBusy, &wait_);
}

SqliteDatabase::~SqliteDatabase() = default;

void SqliteDatabase::Execute(const char* sql) {
    const int result = sqlite3_exec(database_.get(), sql, nullptr, nullptr, nullptr);
    if (result != SQLITE_OK) {
        Fail(result);
    }
}

bool SqliteDatabase::IsReadOnly() const {
    return sqlite3_db_readonly(database_.get(), "main") == 1;
}

void SqliteDatabase::Fail(int code) const {
    const std::string detail =
        database_ != nullptr ? sqlite3_errmsg(database_.get()) : sqlite3_errstr(code);
    // A write or sync that found the disk full may come as an I/O error.
    const int systemError = database_ != nullptr ? sqlite3_system_errno(database_.get()) : 0;
    if ((code & 0xff) == SQLITE_IOERR && (systemError == ENOSPC || systemError == EDQUOT)) {
        code = SQLITE_FULL;
    }
    switch (code & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            if (wait_.EndedByStop) {
                throw EHistoryError(EHistoryError::Reason::Stopped,
                                    "the wait for " + path_ +
                                        ", which another run holds, was ended by a stop signal");
            }
            throw EHistoryError(
                EHistoryError::Reason::InUse,
                path_ + " is in use by another run (" + detail + "); try again when it has ended");
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
        case SQLITE_FORMAT:
            throw EHistoryError(
                EHistoryError::Reason::Damaged,
                path_ + " is damaged or no SQLite database (" + detail + "); it was left as it is");
        case SQLITE_FULL:
            throw EHistoryError(EHistoryError::Reason::NoSpace,
                                path_ + " cannot be written: no space left on the device");
        default:
            throw EHistoryError(EHistoryError::Reason::Unusable,
                                path_ + " cannot be used (" + detail + ")");
    }
}

void SqliteStatement::Finalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

SqliteStatement::SqliteStatement(const SqliteDatabase& database, std::string_view sql)
    : database_(database) {
    sqlite3_stmt* raw = nullptr;
    const int prepared = sqlite3_prepare_v2(database.Handle(), sql.data(),
                                            static_cast<int>(sql.size()), &raw, nullptr);
    statement_.reset(raw);
    if (prepared != SQLITE_OK) {
        database.Fail(prepared);
    }
}

SqliteStatement::~SqliteStatement() = default;

SqliteStatement& SqliteStatement::Bind(int parameter, std::int64_t value) {
    const int bound = sqlite3_bind_int64(statement_.get(), parameter, value);
    if (bound != SQLITE_OK) {
        database_.Fail(bound);
    }
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int parameter, std::string_view text) {
    const int bound = sqlite3_bind_text64(statement_.get(), parameter, text.data(), text.size(),
                                          SQLITE_TRANSIENT, SQLITE_UTF8);
    if (bound != SQLITE_OK) {
        database_.Fail(bound);
    }
    return *this;
}

SqliteStatement& SqliteStatement::BindNull(int parameter) {
    const int bound = sqlite3_bind_null(statement_.get(), parameter);
    if (bound != SQLITE_OK) {
        database_.Fail(bound);
    }
    return *this;
}

bool SqliteStatement::Step() {
    const int stepped = sqlite3_step(statement_.get());
    if (stepped == SQLITE_ROW) {
        return true;
    }
    if (stepped != SQLITE_DONE) {
        database_.Fail(stepped);
    }
    return false;
}

void SqliteStatement::Reset() {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
}

bool SqliteStatement::IsNull(int column) const {
    return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::Integer(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

std::string SqliteStatement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_.get(), column);
    return text ? std::string(
                      reinterpret_cast<const char*>(text),
                      static_cast<std::size_t>(sqlite3_column_bytes(statement_.get(), column)))
                : std::string();
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& database, Kind kind) : database_(database) {
    database_.Execute(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction() {
    if (open_) {
        // Nothing to report from here: a failed rollback leaves the journal,
        // which the next connection rolls back.
        sqlite3_exec(database_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void SqliteTransaction::Commit() {
    database_.Execute("COMMIT");
    open_ = false;
}

}  // namespace vornakle
