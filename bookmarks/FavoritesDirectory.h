#pragma once

#include <string>
#include <vector>

#include "bookmarks/BookmarkTree.h"

namespace vornakle {

// Reads a Favorites directory through the program's own scan: folders by
// their directory names, bookmarks by their file names less ".url", in the
// scan's order. A URL longer than the scan reads (kMaxUrlLength) is read
// whole from its file. What the scan could not take in (a shortcut or folder it
// could not read, a folder too deep) is left out and listed in LeftOut.
// Throws EBookmarkError (Unreadable) when the directory cannot be listed.
BookmarkCollection ReadFavoritesDirectory(std::string directory);

// An entry written under another name than its own because no file can
// carry that one.
struct RenamedEntry {
    bool IsFolder = false;
    std::string Folder;  // the path of folder names (AppendFolderName)
    std::string Given;
    std::string Written;     // before any number that makes it unique
    bool Shortened = false;  // cut to fit a file name: part of the name is lost
};

struct WrittenCounts : EntryCounts {
    std::vector<RenamedEntry> Renamed;
};

struct EntryFileName {
    std::string Name;
    bool MadeSafe = false;   // the name had to be changed beyond the usual rules
    bool Shortened = false;  // the entry's own name was cut to kMaxEntryNameBytes
};

// The file-system name of an entry, before any number that makes it unique
// (".url" not included): "/" becomes "-", control characters a space, a NUL
// is dropped, and a name too long for a file is cut (Shortened and MadeSafe,
// unless the name was the URL of a bookmark without one). A bookmark without
// a name is named by its URL. A name no file can carry even so (an empty one,
// a folder "." or "..") gets "_" in front ("_..") and MadeSafe.
EntryFileName FavoritesEntryName(const BookmarkNode& node);

// Writes the collection below root as a new Favorites directory at target:
// a directory per folder, a ".url" file per bookmark in the form the program
// writes for a new link. A name taken in its folder (also by letter case
// alone, where the file system ignores it) gets a number, "Name (2)"; nothing
// is ever replaced. target must not exist or be an empty directory.
//
// The files go into a temporary directory beside target that is renamed to
// target at the end, so a failure leaves nothing behind. Throws
// EBookmarkError (BadName for a name taken too often, TargetTaken,
// Unwritable).
WrittenCounts WriteFavoritesDirectory(const BookmarkNode& root, const std::string& target);

// Longest name written, in bytes: a file name holds 255 bytes, and ".url" and
// a number " (NNNN)" must still fit.
inline constexpr std::size_t kMaxEntryNameBytes = 240;

}  // namespace vornakle
