#pragma once

#include <string>

#include "bookmarks/BookmarkTree.h"

namespace vornakle::testing {

// A collection's shape in one line: "Name[...]" for a folder with its
// entries, "Name=URL" for a bookmark, entries separated by blanks.
inline std::string Shape(const BookmarkNode& folder) {
    std::string shape;
    for (const BookmarkNode& child : folder.Children) {
        if (!shape.empty()) {
            shape += ' ';
        }
        shape +=
            child.IsFolder() ? child.Name + "[" + Shape(child) + "]" : child.Name + "=" + child.Url;
    }
    return shape;
}

}  // namespace vornakle::testing
