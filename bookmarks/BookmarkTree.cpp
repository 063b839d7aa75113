#include "bookmarks/BookmarkTree.h"

#include "platform/AsciiCase.h"

#include <string_view>
#include <utility>

namespace vornakle {

namespace {

void AppendCount(std::string& text, int count, const char* singular, const char* plural) {
    if (count == 0) {
        return;
    }
    if (!text.empty()) {
        text += ", ";
    }
    text += std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace

BookmarkNode BookmarkNode::Folder(std::string name) {
    BookmarkNode node;
    node.NodeKind = Kind::Folder;
    node.Name = std::move(name);
    return node;
}

BookmarkNode BookmarkNode::Bookmark(std::string name, std::string url) {
    BookmarkNode node;
    node.NodeKind = Kind::Bookmark;
    node.Name = std::move(name);
    node.Url = std::move(url);
    return node;
}

bool SkipIfNoWebLink(const std::string& url, SkippedPlaces& skipped) {
    if (StartsWithAsciiLower(url, "place:")) {
        ++skipped.Queries;
    } else if (StartsWithAsciiLower(url, "javascript:")) {
        ++skipped.Scripts;
    } else {
        return false;
    }
    return true;
}

std::string SkippedPlacesText(const SkippedPlaces& skipped) {
    std::string counts;
    AppendCount(counts, skipped.Queries, "place: query", "place: queries");
    AppendCount(counts, skipped.Separators, "separator", "separators");
    AppendCount(counts, skipped.Scripts, "javascript: link", "javascript: links");
    AppendCount(counts, skipped.TagEntries, "tag entry", "tag entries");
    AppendCount(counts, skipped.Other, "other entry", "other entries");
    if (counts.empty()) {
        return counts;
    }
    const int total = skipped.Total();
    return std::to_string(total) +
           (total == 1 ? " place that is not a web link was skipped: "
                       : " places that are not web links were skipped: ") +
           counts;
}

}  // namespace vornakle
