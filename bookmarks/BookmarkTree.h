#pragma once

#include <string>
#include <vector>

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

    bool IsFolder() const { return NodeKind == Kind::Folder; }

    static BookmarkNode Folder(std::string name);
    static BookmarkNode Bookmark(std::string name, std::string url);
};

// Entries of a source that are no web links and so were left out.
struct SkippedPlaces {
    int Queries = 0;     // "place:" URLs: saved searches of Firefox's visits
    int Separators = 0;  // separator lines between entries
    int Scripts = 0;     // "javascript:" bookmarklets
    int TagEntries = 0;  // Firefox's tag rows, repeating bookmarks listed elsewhere
    int Other = 0;       // entries of no known kind, or a bookmark without an address

    int Total() const { return Queries + Separators + Scripts + TagEntries + Other; }
};

// What a reader makes of a source: its folders and bookmarks below an
// unnamed root, and what it left out.
struct BookmarkCollection {
    BookmarkNode Root;
    SkippedPlaces Skipped;
};

// Whether a bookmark with this address is left out ("place:" and
// "javascript:" in any letter case); counts it when it is. An empty address
// is kept: a shortcut without a URL is a link too.
bool SkipIfNoWebLink(const std::string& url, SkippedPlaces& skipped);

// "3 places that are not web links were skipped: 1 place: query, ..."; empty
// when nothing was skipped.
std::string SkippedPlacesText(const SkippedPlaces& skipped);

// Folders below a collection's root nested deeper than this are refused: a
// source built to nest without end must not exhaust the stack.
inline constexpr int kMaxBookmarkDepth = 400;

}  // namespace vornakle
