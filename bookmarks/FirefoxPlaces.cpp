#include "bookmarks/FirefoxPlaces.h"

#include <QTemporaryDir>

#include <sqlite3.h>

#include <array>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/StoreEditing.h"
#include "platform/ErrorMessages.h"
#include "platform/Paths.h"

namespace vornakle {

namespace {

// The values of moz_bookmarks.type.
constexpr int kTypeBookmark = 1;
constexpr int kTypeFolder = 2;
constexpr int kTypeSeparator = 3;

constexpr std::string_view kInvisibleRootGuid = "root________";
constexpr std::string_view kTagsRootGuid = "tags________";

// The roots below the invisible one, with the names Firefox shows for them;
// the titles stored in the database are internal ("menu", "toolbar").
struct KnownRoot {
    std::string_view Guid;
    std::string_view Name;
};
constexpr std::array<KnownRoot, 4> kKnownRoots = {{
    {"menu________", "Bookmarks Menu"},
    {"toolbar_____", "Bookmarks Toolbar"},
    {"unfiled_____", "Other Bookmarks"},
    {"mobile______", "Mobile Bookmarks"},
}};

// The suffixes of the files that belong to a database besides itself.
constexpr std::array<std::string_view, 2> kCompanionSuffixes = {"-wal", "-journal"};

constexpr char kRowsQuery[] =
    "SELECT b.id, b.type, b.parent, b.title, b.guid, p.url, p.title "
    "FROM moz_bookmarks b LEFT JOIN moz_places p ON p.id = b.fk "
    "ORDER BY b.parent, b.position, b.id";

struct Row {
    std::int64_t Id = 0;
    int Type = 0;
    std::int64_t Parent = 0;
    std::string Title;
    std::string Guid;
    std::string Url;
    std::string PageTitle;
};

struct DatabaseCloser {
    void operator()(sqlite3* database) const { sqlite3_close(database); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

[[noreturn]] void ThrowSqliteError(const std::string& path, int code, sqlite3* database) {
    const std::string detail = database ? sqlite3_errmsg(database) : sqlite3_errstr(code);
    switch (code & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            throw EBookmarkError(EBookmarkError::Reason::Locked,
                                 path + " is locked and cannot be read now (" + detail +
                                     "); try again when the browser has closed it");
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
        case SQLITE_FORMAT:
            throw EBookmarkError(EBookmarkError::Reason::Damaged,
                                 path + " is damaged or no SQLite database (" + detail + ")");
        default:
            throw EBookmarkError(EBookmarkError::Reason::Unreadable,
                                 path + " cannot be read (" + detail + ")");
    }
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

// Copies the database and its companions; the copy's path.
std::string CopyDatabase(const std::string& path, const QTemporaryDir& folder) {
    const std::string copy = JoinPath(folder.path().toStdString(), "places.sqlite");
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw EBookmarkError(EBookmarkError::Reason::Unreadable,
                             path + " cannot be read (no such file)");
    }
    if (!std::filesystem::copy_file(path, copy, error)) {
        throw EBookmarkError(EBookmarkError::Reason::Unreadable,
                             path + " cannot be read (" + SystemErrorText(error.value()) + ")");
    }
    for (const std::string_view suffix : kCompanionSuffixes) {
        const std::string companion = path + std::string(suffix);
        if (std::filesystem::is_regular_file(companion, error) &&
            !std::filesystem::copy_file(companion, copy + std::string(suffix), error)) {
            throw EBookmarkError(
                EBookmarkError::Reason::Unreadable,
                companion + " cannot be read (" + SystemErrorText(error.value()) + ")");
        }
    }
    return copy;
}

std::vector<Row> ReadRowsOf(sqlite3* database, const std::string& path);

std::vector<Row> ReadRows(const std::string& path, const std::string& copy) {
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(copy.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    const Database database(raw);
    if (opened != SQLITE_OK) {
        ThrowSqliteError(path, opened, database.get());
    }
    sqlite3_extended_result_codes(database.get(), 1);
    return ReadRowsOf(database.get(), path);
}

std::vector<Row> ReadRowsOf(sqlite3* database, const std::string& path) {
    const auto hasTable = [&](const char* name) {
        sqlite3_stmt* rawStatement = nullptr;
        const int prepared = sqlite3_prepare_v2(
            database, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", -1,
            &rawStatement, nullptr);
        const Statement statement(rawStatement);
        if (prepared != SQLITE_OK) {
            ThrowSqliteError(path, prepared, database);
        }
        sqlite3_bind_text(statement.get(), 1, name, -1, SQLITE_STATIC);
        const int stepped = sqlite3_step(statement.get());
        if (stepped != SQLITE_ROW && stepped != SQLITE_DONE) {
            ThrowSqliteError(path, stepped, database);
        }
        return stepped == SQLITE_ROW;
    };
    if (!hasTable("moz_bookmarks") || !hasTable("moz_places")) {
        throw EBookmarkError(EBookmarkError::Reason::Unrecognised,
                             path + " is an SQLite database but not Firefox's places.sqlite");
    }

    sqlite3_stmt* rawStatement = nullptr;
    const int prepared = sqlite3_prepare_v2(database, kRowsQuery, -1, &rawStatement, nullptr);
    const Statement statement(rawStatement);
    if (prepared != SQLITE_OK) {
        ThrowSqliteError(path, prepared, database);
    }
    std::vector<Row> rows;
    for (;;) {
        const int stepped = sqlite3_step(statement.get());
        if (stepped == SQLITE_DONE) {
            break;
        }
        if (stepped != SQLITE_ROW) {
            ThrowSqliteError(path, stepped, database);
        }
        Row row;
        row.Id = sqlite3_column_int64(statement.get(), 0);
        row.Type = sqlite3_column_int(statement.get(), 1);
        row.Parent = sqlite3_column_int64(statement.get(), 2);
        row.Title = ColumnText(statement.get(), 3);
        row.Guid = ColumnText(statement.get(), 4);
        row.Url = ColumnText(statement.get(), 5);
        row.PageTitle = ColumnText(statement.get(), 6);
        rows.push_back(std::move(row));
    }
    return rows;
}

// The rows as a tree: each parent's children in position order.
class PlacesTree {
public:
    PlacesTree(std::vector<Row> rows, std::string path)
        : rows_(std::move(rows)), path_(std::move(path)) {
        for (std::size_t index = 0; index < rows_.size(); ++index) {
            children_[rows_[index].Parent].push_back(index);
        }
    }

    BookmarkCollection Collection() {
        BookmarkCollection collection;
        collection.Root = BookmarkNode::Folder(std::string());
        const std::optional<std::int64_t> invisibleRoot = InvisibleRoot();
        if (!invisibleRoot) {
            throw EBookmarkError(EBookmarkError::Reason::Damaged,
                                 path_ + " has no root folder of bookmarks");
        }
        visited_.insert(*invisibleRoot);
        for (const std::size_t index : ChildrenOf(*invisibleRoot)) {
            const Row& row = rows_[index];
            if (row.Guid == kTagsRootGuid) {
                CountTagEntries(row.Id, collection.Skipped);
                continue;
            }
            if (row.Type != kTypeFolder) {
                AddEntry(row, collection.Root, collection.Skipped, 1);
                continue;
            }
            BookmarkNode folder = BookmarkNode::Folder(RootName(row));
            if (visited_.insert(row.Id).second) {
                Fill(row.Id, folder, collection.Skipped, 1);
            }
            if (!folder.Children.empty()) {
                collection.Root.Children.push_back(std::move(folder));
            }
        }
        if (const int unreached = UnreachedBookmarks(); unreached > 0) {
            collection.LeftOut.push_back({LeftOutPart::Kind::Unreached, std::string(), unreached});
        }
        return collection;
    }

private:
    std::optional<std::int64_t> InvisibleRoot() const {
        for (const Row& row : rows_) {
            if (row.Guid == kInvisibleRootGuid) {
                return row.Id;
            }
        }
        // Databases of old versions carry no guids; their root has no parent.
        const auto top = children_.find(0);
        if (top != children_.end() && top->second.size() == 1) {
            return rows_[top->second.front()].Id;
        }
        return std::nullopt;
    }

    const std::vector<std::size_t>& ChildrenOf(std::int64_t id) const {
        static const std::vector<std::size_t> kNone;
        const auto found = children_.find(id);
        return found == children_.end() ? kNone : found->second;
    }

    static std::string RootName(const Row& row) {
        for (const KnownRoot& root : kKnownRoots) {
            if (row.Guid == root.Guid) {
                return std::string(root.Name);
            }
        }
        return row.Title;
    }

    // Each child of the tags root is a tag; each of its entries points at a
    // place that is bookmarked elsewhere already.
    void CountTagEntries(std::int64_t tagsRoot, SkippedPlaces& skipped) {
        for (const std::size_t tag : ChildrenOf(tagsRoot)) {
            for (const std::size_t entry : ChildrenOf(rows_[tag].Id)) {
                reached_.insert(rows_[entry].Id);
                ++skipped.TagEntries;
            }
        }
    }

    // Bookmarks the walk from the roots never met: their folders form a
    // cycle, hang below one of their own descendants or a folder that is
    // gone, or nest too deeply. Only real web links count; what the walk
    // would have skipped anyway is no loss.
    int UnreachedBookmarks() const {
        int unreached = 0;
        SkippedPlaces ignored;
        for (const Row& row : rows_) {
            if (row.Type == kTypeBookmark && !row.Url.empty() && !reached_.contains(row.Id) &&
                !SkipIfNoWebLink(row.Url, ignored)) {
                ++unreached;
            }
        }
        return unreached;
    }

    void AddEntry(const Row& row, BookmarkNode& folder, SkippedPlaces& skipped, int depth) {
        if (row.Type == kTypeSeparator) {
            ++skipped.Separators;
        } else if (row.Type == kTypeFolder) {
            // A folder met twice would make the walk endless.
            // Deeper ones are counted as not reached.
            if (depth >= kMaxBookmarkDepth || !visited_.insert(row.Id).second) {
                return;
            }
            BookmarkNode child = BookmarkNode::Folder(row.Title);
            Fill(row.Id, child, skipped, depth + 1);
            folder.Children.push_back(std::move(child));
        } else if (row.Type == kTypeBookmark && row.Url.empty()) {
            // A row whose place is gone.
            ++skipped.Other;
        } else if (row.Type == kTypeBookmark) {
            reached_.insert(row.Id);
            if (!SkipIfNoWebLink(row.Url, skipped)) {
                folder.Children.push_back(
                    BookmarkNode::Bookmark(row.Title.empty() ? row.PageTitle : row.Title, row.Url));
                folder.Children.back().Identity = std::to_string(row.Id);
            }
        } else {
            ++skipped.Other;
        }
    }

    void Fill(std::int64_t id, BookmarkNode& folder, SkippedPlaces& skipped, int depth) {
        for (const std::size_t index : ChildrenOf(id)) {
            AddEntry(rows_[index], folder, skipped, depth);
        }
    }

    std::vector<Row> rows_;
    std::string path_;
    std::map<std::int64_t, std::vector<std::size_t>> children_;
    std::set<std::int64_t> visited_;
    std::set<std::int64_t> reached_;  // bookmark rows the walk met
};

}  // namespace

BookmarkCollection ReadPlacesDatabase(sqlite3* database, const std::string& path) {
    PlacesTree tree(ReadRowsOf(database, path), path);
    return tree.Collection();
}

BookmarkCollection ReadFirefoxPlaces(const std::string& path) {
    const QTemporaryDir folder;
    if (!folder.isValid()) {
        throw EBookmarkError(EBookmarkError::Reason::Unreadable,
                             "no temporary folder for a copy of " + path);
    }
    const std::string copy = CopyDatabase(path, folder);
    PlacesTree tree(ReadRows(path, copy), path);
    return tree.Collection();
}

}  // namespace vornakle
