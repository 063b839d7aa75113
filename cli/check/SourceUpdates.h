#pragma once

#include <string>
#include <vector>

#include "check/CollectionLinks.h"
#include "cli/check/MovedLinks.h"

namespace vornakle {

// Where the links of a run live, for changing them: the shortcut files of
// a Favorites directory (with their stamps from the scan), or the bookmarks
// of one store (with each link's identity there).
struct LinkHome {
    bool IsDirectory = true;
    std::string Root;       // the directory
    std::string StorePath;  // the bookmark file
    std::vector<FileStamp> Stamps;
    std::vector<std::string> Identities;
};

// A change a run asks for one link: a new address, or a place in the
// set-aside folder, or both.
struct WantedChange {
    std::size_t Link = 0;
    std::string NewUrl;  // empty: the address stays
    bool SetAside = false;
};

// What became of the changes: one row each, as printed (a URL change: the
// link's file or bookmark path, the old and new URL; a move: the path, the
// old and new folder), and what went wrong.
struct ChangeReport {
    std::vector<std::vector<std::string>> UrlChanges;
    std::vector<std::vector<std::string>> Moves;
    // Messages for standard error, one each.
    std::vector<std::string> Messages;
    // False when something could not be written (not: left alone because
    // it changed since the scan).
    bool AllWritten = true;
    std::string Backup;
    std::string RestoreHint;
};

// Makes the changes: a shortcut file by file (UpdateLinkUrl, and a move
// into the folder asideFolder below the directory), a bookmark store by
// EditBookmarkStore, all at once.
ChangeReport ApplyChanges(const LinkHome& home, const std::vector<LinkRecord>& links,
                          const std::vector<WantedChange>& changes, const std::string& asideFolder);

}  // namespace vornakle
