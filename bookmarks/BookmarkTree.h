#pragma once

#include <string>
#include <vector>

#include "store/Scan.h"

namespace vornakle {

// One folder or bookmark of a browser's collection, or of a Favorites
// directory read for export. Children keep the order the source gives them.
struct BookmarkNode {
    enum class Kind { Folder, Bookmark };

    Kind NodeKind = Kind::Folder;
    // As the source holds it: UTF-8 from a browser, the file system's bytes
    // from a Favorites directory.
    std::string Name;
    std::string Url;                     // a bookmark's address
    std::vector<BookmarkNode> Children;  // a folder's entries
    // Which entry of its store a bookmark is, for an edit to find it again
    // (BookmarkEdit): Firefox's row id, the path of child indices in
    // Chromium's roots, the how-manieth bookmark with this address in an
    // HTML file; empty where the source has no store of its own.
    std::string Identity;

    bool IsFolder() const { return NodeKind == Kind::Folder; }

    static BookmarkNode Folder(std::string name);
    static BookmarkNode Bookmark(std::string name, std::string url);
};

// How many folders and bookmarks lie below a folder, at any depth.
struct EntryCounts {
    int Folders = 0;
    int Bookmarks = 0;
};
EntryCounts CountEntries(const BookmarkNode& folder);

// Entries of a source that are no web links and so were left out.
struct SkippedPlaces {
    int Queries = 0;     // "place:" URLs: saved searches of Firefox's visits
    int Separators = 0;  // separator lines between entries
    int Scripts = 0;     // "javascript:" bookmarklets
    int TagEntries = 0;  // Firefox's tag rows, repeating bookmarks listed elsewhere
    int Other = 0;       // entries of no known kind, or a bookmark without an address

    int Total() const { return Queries + Separators + Scripts + TagEntries + Other; }
};

// A part of a source that holds bookmarks but could not be taken in. Unlike
// skipped places these are losses: a program names each on standard error
// and ends with a failure status.
struct LeftOutPart {
    enum class Kind {
        UnreadableLink,    // a shortcut file that could not be read
        UnreadableFolder,  // a directory that could not be listed
        TooDeepFolder,     // a directory nested deeper than the scan goes
        Unreached,         // database rows no root folder leads to
        Unplaced,          // HTML entries in lists nested too deeply to place
    };
    Kind What;
    std::string Path;   // the file or directory; empty for the counted kinds
    int Bookmarks = 0;  // how many bookmarks, for the counted kinds
};

// What a reader makes of a source: its folders and bookmarks below an
// unnamed root, what it skipped, and what it could not take in.
struct BookmarkCollection {
    BookmarkNode Root;
    SkippedPlaces Skipped;
    std::vector<LeftOutPart> LeftOut;
};

// What the scan of a Favorites directory could not take in, as a left-out
// part.
LeftOutPart LeftOutOf(ScanProblem problem);

// What a left-out part is, for a message: "folder /x/y cannot be read",
// "3 bookmarks lie in folders no root folder leads to (...)".
std::string LeftOutText(const LeftOutPart& part);

// "2 folders that cannot be read, 5 bookmarks no root folder leads to":
// the parts counted by kind; empty when nothing was left out.
std::string LeftOutCounts(const std::vector<LeftOutPart>& parts);

// The path of bookmark folders a program prints, one name appended: the
// names joined by "/", and inside a name a "/" written "\/" and a backslash
// "\\", so that a browser's folder "AC/DC" stays one folder.
std::string AppendFolderName(const std::string& path, const std::string& name);

// Whether a bookmark with this address is left out ("place:" and
// "javascript:" in any letter case); counts it when it is. An empty address
// is kept: a shortcut without a URL is a link too.
bool SkipIfNoWebLink(const std::string& url, SkippedPlaces& skipped);

// "3 places that are not web links were skipped: 1 place: query, ..."; empty
// when nothing was skipped.
std::string SkippedPlacesText(const SkippedPlaces& skipped);

// Folders below a collection's root nested deeper than this are not read: a
// source built to nest without end must not exhaust the stack.
inline constexpr int kMaxBookmarkDepth = 400;

}  // namespace vornakle
