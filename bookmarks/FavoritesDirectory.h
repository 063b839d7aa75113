#pragma once

#include <string>

#include "bookmarks/BookmarkTree.h"

namespace vornakle {

// Reads a Favorites directory through the program's own scan: folders by
// their directory names, bookmarks by their file names less ".url", in the
// scan's order. Throws EBookmarkError (Unreadable) when the directory cannot
// be listed or a shortcut cannot be read.
BookmarkCollection ReadFavoritesDirectory(std::string directory);

struct WrittenCounts {
    int Folders = 0;
    int Bookmarks = 0;
};

// The file-system name of an entry, before any number that makes it unique
// (".url" not included): "/" becomes "-", control characters a space, a NUL
// is dropped, and a name too long for a file is cut. A bookmark without a
// name is named by its URL. Throws EBookmarkError (BadName) for a name that
// is empty or only dots and slashes: no file name could say what it was.
std::string FavoritesEntryName(const BookmarkNode& node);

// Writes the collection below root as a new Favorites directory at target:
// a directory per folder, a ".url" file per bookmark in the form the program
// writes for a new link. A name taken in its folder (also by letter case
// alone, where the file system ignores it) gets a number, "Name (2)"; nothing
// is ever replaced. target must not exist or be an empty directory.
//
// Every name is checked before anything is written; the files then go into a
// temporary directory beside target that is renamed to target at the end, so
// a failure leaves nothing behind. Throws EBookmarkError (BadName,
// TargetTaken, Unreadable).
WrittenCounts WriteFavoritesDirectory(const BookmarkNode& root, const std::string& target);

// Longest name written, in bytes: a file name holds 255 bytes, and ".url" and
// a number " (NNNN)" must still fit.
inline constexpr std::size_t kMaxEntryNameBytes = 240;

}  // namespace vornakle
