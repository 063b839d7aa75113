#include "cli/check/CheckSource.h"

#include "bookmarks/BookmarkSource.h"
#include "bookmarks/BrowserProfiles.h"

#include <utility>

namespace vornakle {

namespace {

void Collect(const BookmarkNode& folder, const std::string& path, std::vector<LinkRecord>& links,
             std::vector<std::string>* identities) {
    for (const BookmarkNode& child : folder.Children) {
        if (child.IsFolder()) {
            Collect(child, AppendFolderName(path, child.Name), links, identities);
        } else {
            links.push_back({path, child.Name, child.Url});
            if (identities != nullptr) {
                identities->push_back(child.Identity);
            }
        }
    }
}

}  // namespace

std::vector<LinkRecord> BookmarkLinks(const BookmarkNode& root,
                                      std::vector<std::string>* identities) {
    std::vector<LinkRecord> links;
    Collect(root, std::string(), links, identities);
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
    result.StorePath = command.FromBrowser ? LocateBrowserBookmarks(*command.FromBrowser,
                                                                    UserFoldersFromEnvironment())
                                           : command.Source;
    const BookmarkCollection collection = ReadBookmarkFileSource(result.StorePath);
    result.Links = BookmarkLinks(collection.Root, &result.Identities);
    result.Skipped = collection.Skipped;
    result.LeftOut = collection.LeftOut;
    return result;
}

}  // namespace vornakle
