#pragma once

#include <string>
#include <vector>

#include "bookmarks/BookmarkEdits.h"
#include "bookmarks/BookmarkTree.h"

struct sqlite3;

namespace vornakle {

// The pieces every store's editor shares, and the editors themselves, which
// EditBookmarkStore chooses among.

// Copies the file at path to a new file beside it,
// "NAME.before-vornakle-YYYYMMDD-HHMMSS" (a number added when taken), with
// the original's mode; its path. Throws EBookmarkError (Unwritable).
std::string BackupBeside(const std::string& path, const std::string& contents);

// Whether after is before with the applied edits made: every bookmark kept
// once, the changed ones at their new address, the set-aside ones in their
// result's NewFolder. Otherwise a description of the first difference;
// empty when they agree.
std::string DifferenceFromExpected(const BookmarkCollection& before,
                                   const BookmarkCollection& after,
                                   const std::vector<BookmarkEdit>& edits,
                                   const std::vector<EditResult>& results);

// The folder path of each bookmark by its identity.
void FolderOfEachBookmark(const BookmarkNode& folder, const std::string& path,
                          std::vector<std::pair<std::string, std::string>>& identityFolders);

// Firefox's bookmarks as ReadFirefoxPlaces reads them, from a database open
// already (inside a transaction, it sees the transaction's changes).
BookmarkCollection ReadPlacesDatabase(sqlite3* database, const std::string& path);

StoreEditRun EditHtmlBookmarks(const std::string& path, const std::vector<BookmarkEdit>& edits,
                               const std::string& asideFolder);
StoreEditRun EditChromiumBookmarks(const std::string& path, const std::vector<BookmarkEdit>& edits,
                                   const std::string& asideFolder);
StoreEditRun EditFirefoxPlaces(const std::string& path, const std::vector<BookmarkEdit>& edits,
                               const std::string& asideFolder);

}  // namespace vornakle
