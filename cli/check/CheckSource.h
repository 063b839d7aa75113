#pragma once

#include <string>
#include <vector>

#include "bookmarks/BookmarkTree.h"
#include "check/CollectionLinks.h"
#include "cli/check/CheckOptions.h"

namespace vornakle {

// The links a collection command checks, the places its source skipped,
// and what could not be read: folders of a directory, bookmarks of a damaged
// file.
struct SourceLinks {
    std::vector<LinkRecord> Links;
    SkippedPlaces Skipped;
    std::vector<LeftOutPart> LeftOut;
    // A bookmark file's path (the browser's, for --browser), and each
    // link's identity in it (BookmarkNode::Identity); empty for a
    // directory.
    std::string StorePath;
    std::vector<std::string> Identities;
};

// A directory through the desktop program's scan (folders as directory
// paths); a bookmark file, or the bookmarks of the browser the command
// names, through the bookmarks library (folders as paths of folder names,
// "Bookmarks Menu/News", AppendFolderName). Throws EFileError or
// EBookmarkError.
SourceLinks ReadSourceLinks(const CheckCommand& command);

// The bookmarks below root in order, depth first; their identities into
// identities when given.
std::vector<LinkRecord> BookmarkLinks(const BookmarkNode& root,
                                      std::vector<std::string>* identities = nullptr);

}  // namespace vornakle
