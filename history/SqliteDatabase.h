#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace vornakle {

// One connection to an SQLite database file, opened for reading and
// writing (created when missing) or for reading only, with a busy timeout,
// so that two programs using the file wait for each other's short
// transactions. Every failure is an EHistoryError whose reason comes from
// SQLite's result code.
class SqliteDatabase {
public:
    // Immutable: for reading, with neither locks nor side files, as for a
    // file nothing changes meanwhile.
    enum class Access { ReadWrite, ReadOnly, Immutable };
    SqliteDatabase(const std::string& path, int busyTimeoutMilliseconds,
                   Access access = Access::ReadWrite);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Runs statements that return no rows.
    void Execute(const char* sql);
    const std::string& Path() const { return path_; }
    // SQLite opens a file it may not write for reading only.
    bool IsReadOnly() const;
    sqlite3* Handle() const { return database_.get(); }
    // Throws the EHistoryError for SQLite's result code.
    [[noreturn]] void Fail(int code) const;
    // A wait for another program's lock ends as soon as descriptor is
    // readable (a stop signal's pipe, which is not read here), or at once
    // once StopWaiting was called; such a wait fails as Stopped.
    void StopWaitingOn(int descriptor) { wait_.StopDescriptor = descriptor; }
    void StopWaiting() { wait_.Stopped = true; }

private:
    struct Closer {
        void operator()(sqlite3* database) const;
    };
    struct BusyWait {
        int TimeoutMilliseconds = 0;
        int StopDescriptor = -1;
        bool Stopped = false;
        // Whether the last wait ended by a stop rather than the timeout.
        bool EndedByStop = false;
        std::int64_t StartMilliseconds = 0;
    };
    static int OnBusy(void* wait, int count);

    std::string path_;
    BusyWait wait_;
    std::unique_ptr<sqlite3, Closer> database_;
};

// A prepared statement; Bind, then Step through its rows.
class SqliteStatement {
public:
    SqliteStatement(const SqliteDatabase& database, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Parameters count from 1, as SQLite numbers them.
    SqliteStatement& Bind(int parameter, std::int64_t value);
    // The text is copied.
    SqliteStatement& Bind(int parameter, std::string_view text);
    SqliteStatement& BindNull(int parameter);
    // True while there is a row to read.
    bool Step();
    // Makes the statement ready to run again with new parameters.
    void Reset();

    // Columns count from 0.
    bool IsNull(int column) const;
    std::int64_t Integer(int column) const;
    std::string Text(int column) const;

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const;
    };
    const SqliteDatabase& database_;
    std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

// A transaction, rolled back unless committed. A write transaction takes
// the database's write lock at once, so that waiting for another program
// happens at its start, under the busy timeout, and not halfway through.
class SqliteTransaction {
public:
    enum class Kind { Read, Write };
    SqliteTransaction(SqliteDatabase& database, Kind kind);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    void Commit();

private:
    SqliteDatabase& database_;
    bool open_ = true;
};

}  // namespace vornakle
