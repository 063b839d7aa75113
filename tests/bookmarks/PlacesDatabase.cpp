#include "bookmarks/PlacesDatabase.h"

#include <stdexcept>

namespace vornakle::testing {

namespace {

constexpr int kTypeBookmark = 1;
constexpr int kTypeFolder = 2;
constexpr int kTypeSeparator = 3;

// The columns Firefox has; the reader uses only some of them.
constexpr char kSchema[] =
    "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, "
    "  rev_host LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, "
    "  typed INTEGER DEFAULT 0 NOT NULL, frecency INTEGER DEFAULT -1 NOT NULL, guid TEXT, "
    "  foreign_count INTEGER DEFAULT 0 NOT NULL, url_hash INTEGER DEFAULT 0 NOT NULL, "
    "  origin_id INTEGER, recalc_frecency INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE moz_origins (id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL, "
    "  frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0, "
    "  UNIQUE (prefix, host));"
    "CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, "
    "  parent INTEGER, position INTEGER, title LONGVARCHAR, keyword_id INTEGER, "
    "  folder_type TEXT, dateAdded INTEGER, lastModified INTEGER, guid TEXT, "
    "  syncStatus INTEGER NOT NULL DEFAULT 0, syncChangeCounter INTEGER NOT NULL DEFAULT 1);";

void Check(int code, sqlite3* database) {
    if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW) {
        throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(database));
    }
}

}  // namespace

PlacesDatabase::PlacesDatabase(const std::string& path, const std::string& journalMode) {
    Check(sqlite3_open(path.c_str(), &database_), database_);
    Execute("PRAGMA journal_mode = " + journalMode);
    Execute(kSchema);
    Insert(kTypeFolder, 0, "", "root________", 0);
    Insert(kTypeFolder, kRoot, "menu", "menu________", 0);
    Insert(kTypeFolder, kRoot, "toolbar", "toolbar_____", 0);
    Insert(kTypeFolder, kRoot, "tags", "tags________", 0);
    Insert(kTypeFolder, kRoot, "unfiled", "unfiled_____", 0);
    Insert(kTypeFolder, kRoot, "mobile", "mobile______", 0);
}

PlacesDatabase::~PlacesDatabase() {
    sqlite3_close(database_);
}

void PlacesDatabase::Execute(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "?";
        sqlite3_free(message);
        throw std::runtime_error("SQLite: " + text + " in " + sql);
    }
}

std::int64_t PlacesDatabase::Insert(int type, std::int64_t parent, const std::string& title,
                                    const std::string& guid, std::int64_t place) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(database_,
                             "INSERT INTO moz_bookmarks (type, fk, parent, position, title, guid) "
                             "VALUES (?, ?, ?, ?, ?, ?)",
                             -1, &statement, nullptr),
          database_);
    sqlite3_bind_int(statement, 1, type);
    if (place != 0) {
        sqlite3_bind_int64(statement, 2, place);
    }
    sqlite3_bind_int64(statement, 3, parent);
    sqlite3_bind_int(statement, 4, nextPosition_[parent]++);
    if (!title.empty()) {
        sqlite3_bind_text(statement, 5, title.c_str(), -1, SQLITE_TRANSIENT);
    }
    sqlite3_bind_text(statement, 6, guid.empty() ? nullptr : guid.c_str(), -1, SQLITE_TRANSIENT);
    const int stepped = sqlite3_step(statement);
    sqlite3_finalize(statement);
    Check(stepped, database_);
    return sqlite3_last_insert_rowid(database_);
}

std::int64_t PlacesDatabase::Place(const std::string& url, const std::string& title) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(database_, "SELECT id FROM moz_places WHERE url = ?", -1, &statement,
                             nullptr),
          database_);
    sqlite3_bind_text(statement, 1, url.c_str(), -1, SQLITE_TRANSIENT);
    std::int64_t id = 0;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        id = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    if (id != 0) {
        return id;
    }
    Check(sqlite3_prepare_v2(database_, "INSERT INTO moz_places (url, title) VALUES (?, ?)", -1,
                             &statement, nullptr),
          database_);
    sqlite3_bind_text(statement, 1, url.c_str(), -1, SQLITE_TRANSIENT);
    if (!title.empty()) {
        sqlite3_bind_text(statement, 2, title.c_str(), -1, SQLITE_TRANSIENT);
    }
    const int stepped = sqlite3_step(statement);
    sqlite3_finalize(statement);
    Check(stepped, database_);
    return sqlite3_last_insert_rowid(database_);
}

std::int64_t PlacesDatabase::Folder(std::int64_t parent, const std::string& title) {
    return Insert(kTypeFolder, parent, title, "", 0);
}

std::int64_t PlacesDatabase::Bookmark(std::int64_t parent, const std::string& title,
                                      const std::string& url, const std::string& pageTitle) {
    return Insert(kTypeBookmark, parent, title, "", Place(url, pageTitle));
}

void PlacesDatabase::Separator(std::int64_t parent) {
    Insert(kTypeSeparator, parent, "", "", 0);
}

void PlacesDatabase::Tag(const std::string& tag, const std::string& url) {
    auto folder = tagFolders_.find(tag);
    if (folder == tagFolders_.end()) {
        folder = tagFolders_.emplace(tag, Folder(kTags, tag)).first;
    }
    Insert(kTypeBookmark, folder->second, "", "", Place(url, ""));
}

}  // namespace vornakle::testing
