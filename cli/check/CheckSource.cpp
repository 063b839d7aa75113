#include "cli/check/CheckSource.h"

#include "bookmarks/BookmarkSource.h"
#include "bookmarks/BrowserProfiles.h"

#include <utility>

namespace vornakle {

namespace {

void Collect(const BookmarkNode& folder, const std::string& path, std::vector<LinkRecord>& links) {
    for (const BookmarkNode& child : folder.Children) {
        if (child.IsFolder()) {
            Collect(child, AppendFolderName(path, child.Name), links);
        } else {
            links.push_back({path, child.Name, child.Url});
        }
    }
}

}  // namespace

std::vector<LinkRecord> BookmarkLinks(const BookmarkNode& root) {
    std::vector<LinkRecord> links;
    Collect(root, std::string(), links);
    return links;
}

SourceLinks ReadSourceLinks(const CheckCommand& command) {
    SourceLinks result;
    if (!command.FromBrowser && IsDirectorySource(command.Source)) {
        CollectionScan scan = ScanCollectionLinks(command.Source);
        result.Links = std::move(scan.Links);
        for (ScanProblem& problem : scan.FolderProblems) {
            result.LeftOut.push_back(LeftOutOf(std::move(problem)));
        }
        return result;
    }
    const BookmarkCollection collection = ReadBookmarkFileSource(
        command.FromBrowser
            ? LocateBrowserBookmarks(*command.FromBrowser, UserFoldersFromEnvironment())
            : command.Source);
    result.Links = BookmarkLinks(collection.Root);
    result.Skipped = collection.Skipped;
    result.LeftOut = collection.LeftOut;
    return result;
}

}  // namespace vornakle
