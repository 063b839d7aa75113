#include "bookmarks/BookmarkSource.h"

#include <string_view>

#include "bookmarks/ChromiumBookmarks.h"
#include "bookmarks/FavoritesDirectory.h"
#include "bookmarks/FirefoxPlaces.h"
#include "bookmarks/HtmlBookmarks.h"
#include "bookmarks/SourceFile.h"
#include "platform/FileSystem.h"

namespace vornakle {

namespace {

// The first bytes of every SQLite database file, its terminating NUL included.
constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr char kBlanks[] = " \t\r\n";
constexpr std::size_t kSniffedBytes = 64 * 1024;

bool IsJsonObject(std::string_view text) {
    if (text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
        text.remove_prefix(kUtf8ByteOrderMark.size());
    }
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

}  // namespace

bool IsDirectorySource(const std::string& path) {
    return DirectoryExists(path);
}

BookmarkCollection ReadBookmarkFileSource(const std::string& path) {
    // A places database may be large: its first bytes tell it.
    if (ReadBookmarkFileStart(path, kSqliteMagic.size()) == kSqliteMagic) {
        return ReadFirefoxPlaces(path);
    }
    // An HTML file is read in pieces, never held whole: its first bytes
    // tell it from JSON, unless they are all blanks.
    const std::string start = ReadBookmarkFileStart(path, kSniffedBytes);
    if (!IsJsonObject(start) && start.find_first_not_of(kBlanks) != std::string::npos) {
        return ReadHtmlBookmarkFile(path);
    }
    const std::string bytes = ReadBookmarkFile(path);
    if (IsJsonObject(bytes)) {
        return ParseChromiumBookmarks(bytes, path);
    }
    return ParseHtmlBookmarks(bytes, path);
}

BookmarkCollection ReadBookmarkSource(const std::string& path) {
    return IsDirectorySource(path) ? ReadFavoritesDirectory(path) : ReadBookmarkFileSource(path);
}

}  // namespace vornakle
