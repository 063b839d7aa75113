#pragma once

#include <string>

#include "bookmarks/BookmarkTree.h"

namespace vornakle {

// Whether path names a directory (a Favorites collection) rather than a
// bookmark file.
bool IsDirectorySource(const std::string& path);

// Reads the bookmark file at path, whatever its name, by what it holds: an
// SQLite database is Firefox's places.sqlite, a JSON object Chromium's
// Bookmarks, anything else must be an HTML bookmark file. Throws
// EBookmarkError with a message for the user.
BookmarkCollection ReadBookmarkFileSource(const std::string& path);

// A directory through ReadFavoritesDirectory, a file as above.
BookmarkCollection ReadBookmarkSource(const std::string& path);

}  // namespace vornakle
