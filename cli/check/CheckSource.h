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
};

// A directory through the desktop program's scan (folders as directory
// paths); a bookmark file, or the bookmarks of the browser the command
// names, through the bookmarks library (folders as paths of folder names,
// "Bookmarks Menu/News", AppendFolderName). Throws EFileError or
// EBookmarkError.
SourceLinks ReadSourceLinks(const CheckCommand& command);

// The bookmarks below root in order, depth first.
std::vector<LinkRecord> BookmarkLinks(const BookmarkNode& root);

}  // namespace vornakle
