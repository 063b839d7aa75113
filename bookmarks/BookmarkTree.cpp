#include "bookmarks/BookmarkTree.h"

#include <array>
#include <string_view>
#include <utility>

#include "platform/AsciiCase.h"
#include "platform/ErrorMessages.h"

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

EntryCounts CountEntries(const BookmarkNode& folder) {
    EntryCounts counts;
    for (const BookmarkNode& child : folder.Children) {
        if (child.IsFolder()) {
            const EntryCounts below = CountEntries(child);
            counts.Folders += 1 + below.Folders;
            counts.Bookmarks += below.Bookmarks;
        } else {
            ++counts.Bookmarks;
        }
    }
    return counts;
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

LeftOutPart LeftOutOf(ScanProblem problem) {
    LeftOutPart part{LeftOutPart::Kind::TooDeepFolder, std::move(problem.Path)};
    if (problem.What == ScanProblem::Kind::UnreadableLink) {
        part.What = LeftOutPart::Kind::UnreadableLink;
    } else if (problem.What == ScanProblem::Kind::UnlistableFolder) {
        part.What = LeftOutPart::Kind::UnreadableFolder;
    }
    return part;
}

std::string LeftOutText(const LeftOutPart& part) {
    const std::string bookmarks = std::to_string(part.Bookmarks) +
                                  (part.Bookmarks == 1 ? " bookmark lies" : " bookmarks lie");
    switch (part.What) {
        case LeftOutPart::Kind::UnreadableLink:
            return "shortcut file " + MessagePath(part.Path) + " cannot be read";
        case LeftOutPart::Kind::UnreadableFolder:
            return "folder " + MessagePath(part.Path) + " cannot be read";
        case LeftOutPart::Kind::TooDeepFolder:
            return "folder " + MessagePath(part.Path) + " is nested deeper than " +
                   std::to_string(kMaxFolderDepth) + " folders";
        case LeftOutPart::Kind::Unreached:
            return bookmarks +
                   " in folders no root folder leads to (folders that form a cycle, lie below "
                   "a missing folder or nest deeper than " +
                   std::to_string(kMaxBookmarkDepth) + ")";
        case LeftOutPart::Kind::Unplaced:
            return bookmarks + " in lists nested deeper than " + std::to_string(kMaxBookmarkDepth);
    }
    return std::string();
}

std::string LeftOutCounts(const std::vector<LeftOutPart>& parts) {
    // Indexed by LeftOutPart::Kind.
    std::array<int, 5> counts{};
    for (const LeftOutPart& part : parts) {
        const bool counted =
            part.What == LeftOutPart::Kind::Unreached || part.What == LeftOutPart::Kind::Unplaced;
        counts.at(static_cast<std::size_t>(part.What)) += counted ? part.Bookmarks : 1;
    }
    std::string text;
    AppendCount(text, counts[0], "shortcut file that cannot be read",
                "shortcut files that cannot be read");
    AppendCount(text, counts[1], "folder that cannot be read", "folders that cannot be read");
    AppendCount(text, counts[2], "folder nested too deeply", "folders nested too deeply");
    AppendCount(text, counts[3], "bookmark no root folder leads to",
                "bookmarks no root folder leads to");
    AppendCount(text, counts[4], "bookmark in lists nested too deeply",
                "bookmarks in lists nested too deeply");
    return text;
}

std::string AppendFolderName(const std::string& path, const std::string& name) {
    std::string escaped;
    escaped.reserve(name.size());
    for (const char character : name) {
        if (character == '/' || character == '\\') {
            escaped.push_back('\\');
        }
        escaped.push_back(character);
    }
    return path.empty() ? escaped : path + '/' + escaped;
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
