#include <sqlite3.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/FirefoxPlaces.h"
#include "bookmarks/PlacesHash.h"
#include "bookmarks/StoreEditing.h"
#include "platform/AsciiCase.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace vornakle {

namespace {

constexpr int kTypeBookmark = 1;
constexpr int kTypeFolder = 2;
constexpr int kTypeSeparator = 3;
// Firefox's sync states: a new item sync has never seen.
constexpr int kSyncStatusNew = 1;
// The set-aside folder goes into the Bookmarks Menu, whose entries are the
// top of the collection in Firefox's own HTML export.
constexpr char kAsideRootGuid[] = "menu________";
constexpr char kAsideRootName[] = "Bookmarks Menu";
// How long a write waits for a lock another reader holds briefly.
constexpr int kBusyTimeoutMilliseconds = 2000;

struct DatabaseCloser {
    void operator()(sqlite3* database) const { sqlite3_close(database); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

std::int64_t NowMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A value bound to a statement.
struct Value {
    enum class Kind { Null, Integer, Text };
    Kind Type = Kind::Null;
    std::int64_t Integer = 0;
    std::string Text;

    Value() = default;
    Value(std::int64_t integer) : Type(Kind::Integer), Integer(integer) {}  // NOLINT
    Value(int integer) : Type(Kind::Integer), Integer(integer) {}           // NOLINT
    Value(std::string text) : Type(Kind::Text), Text(std::move(text)) {}    // NOLINT
    Value(const char* text) : Type(Kind::Text), Text(text) {}               // NOLINT
};

using RowValues = std::vector<Value>;

class Places {
public:
    Places(const std::string& path) : path_(path) {
        sqlite3* raw = nullptr;
        // Through SQLite only, which replays a write-ahead log left beside
        // the file and takes the locks every other user of it honours.
        const int opened = sqlite3_open_v2(path.c_str(), &raw,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        database_.reset(raw);
        if (opened != SQLITE_OK) {
            Fail(opened);
        }
        sqlite3_extended_result_codes(raw, 1);
        sqlite3_busy_timeout(raw, kBusyTimeoutMilliseconds);
    }

    sqlite3* Handle() const { return database_.get(); }

    [[noreturn]] void Fail(int code) const {
        const std::string detail =
            database_ ? sqlite3_errmsg(database_.get()) : sqlite3_errstr(code);
        if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED) {
            throw EBookmarkError(EBookmarkError::Reason::InUse,
                                 path_ + " is in use (" + detail +
                                     "); close Firefox and run again (nothing was changed)");
        }
        throw EBookmarkError(EBookmarkError::Reason::Unwritable,
                             path_ + " could not be changed (" + detail + "); nothing was changed");
    }

    // Runs sql with the values; the rows it gives.
    std::vector<RowValues> Query(const std::string& sql, const RowValues& values = {}) const {
        sqlite3_stmt* raw = nullptr;
        const int prepared = sqlite3_prepare_v2(database_.get(), sql.c_str(), -1, &raw, nullptr);
        const std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(raw);
        if (prepared != SQLITE_OK) {
            Fail(prepared);
        }
        for (std::size_t index = 0; index < values.size(); ++index) {
            const int at = static_cast<int>(index) + 1;
            switch (values[index].Type) {
                case Value::Kind::Null:
                    sqlite3_bind_null(raw, at);
                    break;
                case Value::Kind::Integer:
                    sqlite3_bind_int64(raw, at, values[index].Integer);
                    break;
                case Value::Kind::Text:
                    sqlite3_bind_text(raw, at, values[index].Text.data(),
                                      static_cast<int>(values[index].Text.size()),
                                      SQLITE_TRANSIENT);
                    break;
            }
        }
        std::vector<RowValues> rows;
        for (;;) {
            const int stepped = sqlite3_step(raw);
            if (stepped == SQLITE_DONE) {
                return rows;
            }
            if (stepped != SQLITE_ROW) {
                Fail(stepped);
            }
            RowValues row;
            for (int column = 0; column < sqlite3_column_count(raw); ++column) {
                switch (sqlite3_column_type(raw, column)) {
                    case SQLITE_NULL:
                        row.emplace_back();
                        break;
                    case SQLITE_INTEGER:
                        row.emplace_back(
                            static_cast<std::int64_t>(sqlite3_column_int64(raw, column)));
                        break;
                    default: {
                        const unsigned char* text = sqlite3_column_text(raw, column);
                        row.emplace_back(std::string(
                            reinterpret_cast<const char*>(text),
                            static_cast<std::size_t>(sqlite3_column_bytes(raw, column))));
                    }
                }
            }
            rows.push_back(std::move(row));
        }
    }

    void Run(const std::string& sql, const RowValues& values = {}) const { Query(sql, values); }

    std::optional<std::int64_t> Integer(const std::string& sql,
                                        const RowValues& values = {}) const {
        const std::vector<RowValues> rows = Query(sql, values);
        if (rows.empty() || rows.front().empty() ||
            rows.front().front().Type != Value::Kind::Integer) {
            return std::nullopt;
        }
        return rows.front().front().Integer;
    }

    bool HasColumn(const std::string& table, const std::string& column) const {
        for (const RowValues& row : Query("PRAGMA table_info(" + table + ")")) {
            if (row.size() > 1 && row[1].Text == column) {
                return true;
            }
        }
        return false;
    }

private:
    std::string path_;
    Database database_;
};

// A new guid as Firefox makes them: twelve characters of base64url.
std::string NewGuid() {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::random_device random;
    std::string guid;
    for (int index = 0; index < 12; ++index) {
        guid += kAlphabet[random() % 64];
    }
    return guid;
}

// The scheme's origin prefix and the host (with its port) of a URL, as
// moz_origins keeps them: "https://" and "example.com:8080".
std::pair<std::string, std::string> OriginOf(const std::string& url) {
    const std::size_t colon = url.find(':');
    if (colon == std::string::npos) {
        return {std::string(), std::string()};
    }
    std::string prefix = AsciiLowerCase(url.substr(0, colon + 1));
    if (url.compare(colon + 1, 2, "//") != 0) {
        return {prefix, std::string()};
    }
    prefix += "//";
    const std::size_t start = colon + 3;
    std::size_t end = url.find_first_of("/?#", start);
    end = end == std::string::npos ? url.size() : end;
    std::string host = url.substr(start, end - start);
    if (const std::size_t at = host.rfind('@'); at != std::string::npos) {
        host.erase(0, at + 1);
    }
    return {prefix, AsciiLowerCase(host)};
}

// The host reversed with a dot after it, as moz_places.rev_host keeps it
// for look-ups by site: "moc.elpmaxe." (the port, when the URL names one,
// reversed with it, as Firefox does).
std::string ReversedHost(const std::string& url) {
    std::string host = OriginOf(url).second;
    return std::string(host.rbegin(), host.rend()) + ".";
}

// Firefox's JSON backup of the bookmarks: the tree of the roots as
// Library > Import and Backup > Restore reads it.
class BackupWriter {
public:
    explicit BackupWriter(const Places& places) {
        for (const RowValues& row :
             places.Query("SELECT b.id, b.parent, b.position, b.type, b.title, b.guid, "
                          "b.dateAdded, b.lastModified, p.url FROM moz_bookmarks b "
                          "LEFT JOIN moz_places p ON p.id = b.fk ORDER BY b.parent, b.position")) {
            children_[row[1].Integer].push_back(rows_.size());
            rows_.push_back(row);
        }
        for (const RowValues& row : places.Query(
                 "SELECT p.url, t.title FROM moz_bookmarks e JOIN moz_bookmarks t ON t.id = "
                 "e.parent JOIN moz_bookmarks r ON r.id = t.parent JOIN moz_places p ON p.id "
                 "= e.fk WHERE r.guid = 'tags________' ORDER BY t.title")) {
            std::string& tags = tags_[row[0].Text];
            tags += (tags.empty() ? "" : ",") + row[1].Text;
        }
        if (places.Integer("SELECT count(*) FROM sqlite_master WHERE name = 'moz_keywords'")
                .value_or(0) > 0) {
            for (const RowValues& row :
                 places.Query("SELECT p.url, k.keyword, k.post_data FROM moz_keywords k JOIN "
                              "moz_places p ON p.id = k.place_id")) {
                keywords_[row[0].Text] = {row[1].Text, row[2].Text};
            }
        }
    }

    // The JSON text and the number of bookmarks in it.
    std::pair<QByteArray, int> Text() {
        for (std::size_t index = 0; index < rows_.size(); ++index) {
            if (rows_[index][5].Text == "root________") {
                const QJsonObject root = Node(index, 0);
                return {QJsonDocument(root).toJson(QJsonDocument::Compact), bookmarks_};
            }
        }
        throw EBookmarkError(EBookmarkError::Reason::Damaged,
                             "the database has no root folder of bookmarks");
    }

private:
    QJsonObject Node(std::size_t index, int depth) {
        static const std::map<std::string, const char*> kRoots = {
            {"root________", "placesRoot"},
            {"menu________", "bookmarksMenuFolder"},
            {"toolbar_____", "toolbarFolder"},
            {"tags________", "tagsFolder"},
            {"unfiled_____", "unfiledBookmarksFolder"},
            {"mobile______", "mobileFolder"}};
        const RowValues& row = rows_[index];
        const int type = static_cast<int>(row[3].Integer);
        QJsonObject node{{"guid", QString::fromStdString(row[5].Text)},
                         {"title", QString::fromStdString(row[4].Text)},
                         {"index", static_cast<qint64>(row[2].Integer)},
                         {"dateAdded", static_cast<qint64>(row[6].Integer)},
                         {"lastModified", static_cast<qint64>(row[7].Integer)},
                         {"id", static_cast<qint64>(row[0].Integer)},
                         {"typeCode", type}};
        if (type == kTypeBookmark) {
            node["type"] = "text/x-moz-place";
            node["uri"] = QString::fromStdString(row[8].Text);
            ++bookmarks_;
            if (const auto tags = tags_.find(row[8].Text); tags != tags_.end()) {
                node["tags"] = QString::fromStdString(tags->second);
            }
            if (const auto keyword = keywords_.find(row[8].Text); keyword != keywords_.end()) {
                node["keyword"] = QString::fromStdString(keyword->second.first);
                if (!keyword->second.second.empty()) {
                    node["postData"] = QString::fromStdString(keyword->second.second);
                }
            }
            return node;
        }
        if (type == kTypeSeparator) {
            node["type"] = "text/x-moz-place-separator";
            return node;
        }
        node["type"] = "text/x-moz-place-container";
        if (const auto root = kRoots.find(row[5].Text); root != kRoots.end()) {
            node["root"] = root->second;
        }
        // Tags travel with their bookmarks ("tags"), not as folders.
        if (row[5].Text == "tags________" || depth >= kMaxBookmarkDepth) {
            return node;
        }
        QJsonArray children;
        for (const std::size_t child : children_[row[0].Integer]) {
            children.append(Node(child, depth + 1));
        }
        if (!children.isEmpty()) {
            node["children"] = children;
        }
        return node;
    }

    std::vector<RowValues> rows_;
    std::map<std::int64_t, std::vector<std::size_t>> children_;
    std::map<std::string, std::string> tags_;
    std::map<std::string, std::pair<std::string, std::string>> keywords_;
    int bookmarks_ = 0;
};

std::string LocalDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// Writes the backup into the profile's bookmarkbackups folder, where
// Firefox lists it for restoring; its path.
std::string WriteFirefoxBackup(const std::string& path, const Places& places) {
    const std::size_t slash = path.find_last_of('/');
    const std::string profile = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string folder = JoinPath(profile, "bookmarkbackups");
    try {
        CreateDirectory(folder);
    } catch (const EDirectoryExists&) {
    } catch (const EFileError& error) {
        throw EBookmarkError(EBookmarkError::Reason::Unwritable,
                             "no backup could be made in " + folder +
                                 ", so nothing was changed: " + error.Message());
    }
    BackupWriter writer(places);
    const auto [json, count] = writer.Text();
    // Firefox's own names carry a hash of the content after the count;
    // it is optional, and a name without one is listed as well.
    const std::string stem =
        JoinPath(folder, "bookmarks-" + LocalDate() + "_" + std::to_string(count));
    for (int attempt = 1; attempt <= 100; ++attempt) {
        // A number of our own would read as the count: the attempt goes
        // into the hash's place, which Firefox checks only for its form.
        const std::string name =
            attempt == 1 ? stem + ".json"
                         : stem + "_" +
                               QCryptographicHash::hash(json + QByteArray::number(attempt),
                                                        QCryptographicHash::Md5)
                                   .toBase64()
                                   .replace('/', '-')
                                   .toStdString() +
                               ".json";
        struct stat status {};
        if (::lstat(name.c_str(), &status) == 0) {
            continue;
        }
        try {
            CreateNewFile(
                name, std::string_view(json.constData(), static_cast<std::size_t>(json.size())));
        } catch (const EFileError& error) {
            throw EBookmarkError(EBookmarkError::Reason::Unwritable,
                                 "no backup could be made in " + folder +
                                     ", so nothing was changed: " + error.Message());
        }
        return name;
    }
    throw EBookmarkError(EBookmarkError::Reason::Unwritable,
                         "no free name for a backup in " + folder + "; nothing was changed");
}

class PlacesEditor {
public:
    PlacesEditor(const Places& places, std::int64_t now) : places_(places), now_(now) {
        originRecalc_ = places.HasColumn("moz_origins", "recalc_frecency");
        placeRecalc_ = places.HasColumn("moz_places", "recalc_frecency");
        placeOrigin_ = places.HasColumn("moz_places", "origin_id");
    }

    // Why the bookmark's address cannot be changed here; empty when it can.
    std::string RefusalOfNewUrl(std::int64_t placeId) const {
        if (places_
                .Integer("SELECT count(*) FROM moz_bookmarks e JOIN moz_bookmarks t ON t.id "
                         "= e.parent JOIN moz_bookmarks r ON r.id = t.parent WHERE e.fk = ? "
                         "AND r.guid = 'tags________'",
                         {placeId})
                .value_or(0) > 0) {
            return "its address has tags, which Firefox keeps with the address and would not "
                   "carry to the new one; change it in Firefox";
        }
        if (places_.Integer("SELECT count(*) FROM sqlite_master WHERE name = 'moz_keywords'")
                    .value_or(0) > 0 &&
            places_.Integer("SELECT count(*) FROM moz_keywords WHERE place_id = ?", {placeId})
                    .value_or(0) > 0) {
            return "its address has a keyword, which Firefox keeps with the address; change it "
                   "in Firefox";
        }
        return std::string();
    }

    void ChangeUrl(std::int64_t bookmark, std::int64_t oldPlace, const std::string& url) {
        const std::int64_t place = PlaceFor(url);
        places_.Run(
            "UPDATE moz_bookmarks SET fk = ?, lastModified = ?, syncChangeCounter = "
            "syncChangeCounter + 1 WHERE id = ?",
            {place, now_, bookmark});
        const std::string recalc = placeRecalc_ ? ", recalc_frecency = 1" : "";
        places_.Run("UPDATE moz_places SET foreign_count = max(foreign_count - 1, 0)" + recalc +
                        " WHERE id = ?",
                    {oldPlace});
        places_.Run(
            "UPDATE moz_places SET foreign_count = foreign_count + 1" + recalc + " WHERE id = ?",
            {place});
    }

    void Move(std::int64_t bookmark, std::int64_t folder) {
        const std::vector<RowValues> rows =
            places_.Query("SELECT parent, position FROM moz_bookmarks WHERE id = ?", {bookmark});
        const std::int64_t parent = rows.at(0).at(0).Integer;
        const std::int64_t position = rows.at(0).at(1).Integer;
        const std::int64_t end =
            places_.Integer("SELECT count(*) FROM moz_bookmarks WHERE parent = ?", {folder})
                .value_or(0);
        places_.Run(
            "UPDATE moz_bookmarks SET position = position - 1 WHERE parent = ? AND "
            "position > ?",
            {parent, position});
        places_.Run(
            "UPDATE moz_bookmarks SET parent = ?, position = ?, lastModified = ?, "
            "syncChangeCounter = syncChangeCounter + 1 WHERE id = ?",
            {folder, end, now_, bookmark});
        Touch(parent);
        Touch(folder);
    }

    // The set-aside folder at the top, made when missing; its id.
    std::int64_t AsideFolder(const std::string& name) {
        const std::optional<std::int64_t> root =
            places_.Integer("SELECT id FROM moz_bookmarks WHERE guid = ?", {kAsideRootGuid});
        if (!root) {
            throw EBookmarkError(EBookmarkError::Reason::Damaged,
                                 "the database has no Bookmarks Menu");
        }
        if (const auto found = places_.Integer(
                "SELECT id FROM moz_bookmarks WHERE parent = ? AND type = ? AND title = ? "
                "ORDER BY position LIMIT 1",
                {*root, kTypeFolder, name})) {
            return *found;
        }
        const std::int64_t end =
            places_.Integer("SELECT count(*) FROM moz_bookmarks WHERE parent = ?", {*root})
                .value_or(0);
        places_.Run(
            "INSERT INTO moz_bookmarks (type, fk, parent, position, title, dateAdded, "
            "lastModified, guid, syncStatus, syncChangeCounter) VALUES (?, NULL, ?, ?, "
            "?, ?, ?, ?, ?, 1)",
            {kTypeFolder, *root, end, name, now_, now_, UnusedGuid("moz_bookmarks"),
             kSyncStatusNew});
        Touch(*root);
        return sqlite3_last_insert_rowid(places_.Handle());
    }

    // Whether every folder's positions are 0..n-1.
    bool PositionsWhole() const {
        return places_
                   .Integer(
                       "SELECT count(*) FROM (SELECT parent, count(*) AS n, min(position) "
                       "AS low, max(position) AS high, count(DISTINCT position) AS d FROM "
                       "moz_bookmarks GROUP BY parent) WHERE low != 0 OR high != n - 1 OR "
                       "d != n")
                   .value_or(1) == 0;
    }

private:
    void Touch(std::int64_t folder) {
        places_.Run(
            "UPDATE moz_bookmarks SET lastModified = ?, syncChangeCounter = "
            "syncChangeCounter + 1 WHERE id = ?",
            {now_, folder});
    }

    std::string UnusedGuid(const std::string& table) const {
        for (;;) {
            std::string guid = NewGuid();
            if (places_.Integer("SELECT count(*) FROM " + table + " WHERE guid = ?", {guid})
                    .value_or(0) == 0) {
                return guid;
            }
        }
    }

    // The place of url, a new one when no place has it yet.
    std::int64_t PlaceFor(const std::string& url) {
        const std::int64_t hash = static_cast<std::int64_t>(PlacesUrlHash(url));
        if (const auto found = places_.Integer(
                "SELECT id FROM moz_places WHERE url_hash = ? AND url = ?", {hash, url})) {
            return *found;
        }
        std::string columns =
            "url, rev_host, hidden, typed, frecency, guid, foreign_count, "
            "url_hash";
        std::string marks = "?, ?, 0, 0, 1, ?, 0, ?";
        RowValues values{url, ReversedHost(url), UnusedGuid("moz_places"), hash};
        if (placeOrigin_) {
            columns += ", origin_id";
            marks += ", ?";
            values.emplace_back(OriginFor(url));
        }
        if (placeRecalc_) {
            columns += ", recalc_frecency";
            marks += ", 1";
        }
        places_.Run("INSERT INTO moz_places (" + columns + ") VALUES (" + marks + ")", values);
        return sqlite3_last_insert_rowid(places_.Handle());
    }

    std::int64_t OriginFor(const std::string& url) {
        const auto [prefix, host] = OriginOf(url);
        if (const auto found = places_.Integer(
                "SELECT id FROM moz_origins WHERE prefix = ? AND host = ?", {prefix, host})) {
            return *found;
        }
        places_.Run(
            std::string("INSERT INTO moz_origins (prefix, host, frecency") +
                (originRecalc_ ? ", recalc_frecency) VALUES (?, ?, -1, 1)" : ") VALUES (?, ?, -1)"),
            {prefix, host});
        return sqlite3_last_insert_rowid(places_.Handle());
    }

    const Places& places_;
    std::int64_t now_;
    bool originRecalc_ = false;
    bool placeRecalc_ = false;
    bool placeOrigin_ = false;
};

}  // namespace

namespace {

StoreEditRun EditInTransaction(const std::string& path, const std::vector<BookmarkEdit>& edits,
                               const std::string& asideFolder, BookmarkCollection& before) {
    Places places(path);
    // Taken at once, so that no one changes the database between the
    // backup and the commit; a holder of it refuses the run.
    places.Run("BEGIN EXCLUSIVE");
    bool committed = false;
    struct RollBack {
        const Places& Database;
        bool& Done;
        ~RollBack() {
            if (!Done) {
                sqlite3_exec(Database.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            }
        }
    } rollBack{places, committed};

    before = ReadPlacesDatabase(places.Handle(), path);
    std::vector<std::pair<std::string, std::string>> identityFolders;
    FolderOfEachBookmark(before.Root, std::string(), identityFolders);
    const std::map<std::string, std::string> folderOf(identityFolders.begin(),
                                                      identityFolders.end());
    PlacesEditor editor(places, NowMicroseconds());
    // Positions with gaps from an older Firefox are its own to mend; the
    // run must not make new ones.
    const bool positionsWhole = editor.PositionsWhole();

    StoreEditRun run;
    run.Results.resize(edits.size());
    // Which edits can be made, and the rows they change.
    struct Planned {
        std::size_t Number;
        std::int64_t Bookmark;
        std::int64_t Place;
    };
    std::vector<Planned> planned;
    for (std::size_t number = 0; number < edits.size(); ++number) {
        const BookmarkEdit& edit = edits[number];
        EditResult& result = run.Results[number];
        std::int64_t id = 0;
        try {
            id = std::stoll(edit.Identity);
        } catch (const std::exception&) {
        }
        const std::vector<RowValues> rows = places.Query(
            "SELECT b.fk, p.url FROM moz_bookmarks b JOIN moz_places p ON p.id = b.fk "
            "WHERE b.id = ? AND b.type = ?",
            {id, kTypeBookmark});
        if (rows.empty() || rows[0][1].Text != edit.OldUrl || !folderOf.contains(edit.Identity)) {
            result = {
                EditOutcome::ChangedSinceRead, "it changed in " + path + " since the scan", {}, {}};
            continue;
        }
        if (!edit.NewUrl.empty()) {
            if (std::string refusal = editor.RefusalOfNewUrl(rows[0][0].Integer);
                !refusal.empty()) {
                result = {EditOutcome::Refused, std::move(refusal), {}, {}};
                continue;
            }
        }
        const std::string newFolder = AppendFolderName(kAsideRootName, asideFolder);
        if (edit.SetAside && folderOf.at(edit.Identity) == newFolder) {
            result = {EditOutcome::Unneeded, {}, {}, {}};
            continue;
        }
        result = {EditOutcome::Applied,
                  {},
                  edit.SetAside ? folderOf.at(edit.Identity) : "",
                  edit.SetAside ? newFolder : ""};
        planned.push_back({number, id, rows[0][0].Integer});
    }
    if (planned.empty()) {
        return run;
    }

    run.BackupPath = WriteFirefoxBackup(path, places);
    run.RestoreHint =
        "in Firefox, Bookmarks > Manage Bookmarks > Import and Backup > Restore, the backup "
        "of " +
        run.BackupPath.substr(run.BackupPath.find("bookmarks-") + 10, 10) +
        " (or Choose File... and " + run.BackupPath + ")";
    std::optional<std::int64_t> aside;
    for (const Planned& plan : planned) {
        const BookmarkEdit& edit = edits[plan.Number];
        if (!edit.NewUrl.empty()) {
            editor.ChangeUrl(plan.Bookmark, plan.Place, edit.NewUrl);
        }
        if (edit.SetAside) {
            if (!aside) {
                aside = editor.AsideFolder(asideFolder);
            }
            editor.Move(plan.Bookmark, *aside);
        }
    }
    const BookmarkCollection after = ReadPlacesDatabase(places.Handle(), path);
    std::string difference = DifferenceFromExpected(before, after, edits, run.Results);
    if (difference.empty() && positionsWhole && !editor.PositionsWhole()) {
        difference = "the positions in a folder are not whole";
    }
    if (!difference.empty()) {
        throw EBookmarkError(EBookmarkError::Reason::Unchanged,
                             path +
                                 " was left as it was: the changes would not read back as "
                                 "intended (" +
                                 difference + ")");
    }
    if (const int done = sqlite3_exec(places.Handle(), "COMMIT", nullptr, nullptr, nullptr);
        done != SQLITE_OK) {
        places.Fail(done);
    }
    committed = true;
    return run;
}

}  // namespace

StoreEditRun EditFirefoxPlaces(const std::string& path, const std::vector<BookmarkEdit>& edits,
                               const std::string& asideFolder) {
    BookmarkCollection before;
    StoreEditRun run = EditInTransaction(path, edits, asideFolder, before);
    if (run.BackupPath.empty()) {
        return run;
    }
    // Read as the checker reads it, from what is on disk now.
    const BookmarkCollection written = ReadFirefoxPlaces(path);
    if (const std::string difference = DifferenceFromExpected(before, written, edits, run.Results);
        !difference.empty()) {
        throw EBookmarkError(EBookmarkError::Reason::Unchanged,
                             path + " did not read back as written (" + difference +
                                 "); to undo the changes: " + run.RestoreHint);
    }
    return run;
}

}  // namespace vornakle
