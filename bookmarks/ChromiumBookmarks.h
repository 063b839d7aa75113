#pragma once

#include <string>
#include <string_view>

#include "bookmarks/BookmarkTree.h"

namespace vornakle {

// Reads Chromium's and Chrome's "Bookmarks" file (JSON): the bookmarks bar,
// other bookmarks and mobile bookmarks as folders of the root (empty ones
// left out), in the file's order. "javascript:" links are left out and
// counted. path is only for messages.
//
// Throws EBookmarkError: Damaged for JSON that is cut short or broken,
// Unrecognised for JSON without the "roots" object.
BookmarkCollection ParseChromiumBookmarks(std::string_view json, const std::string& path);

}  // namespace vornakle
