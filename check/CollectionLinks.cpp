#include "check/CollectionLinks.h"

#include <set>
#include <string_view>
#include <utility>

#include "platform/ErrorMessages.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "store/BookTree.h"
#include "store/Scan.h"
#include "store/Shortcut.h"

namespace vornakle {

namespace {

// The links below Root in scan order, as the checker reports them.
void Collect(const TBookTree& root, std::vector<LinkRecord>& links,
             const std::set<std::string>& unreadable) {
    for (const TBookTree* link : CollectLinks(root)) {
        links.push_back({AsBookTree(link->Parent)->Path, LinkNameOf(LastPathPart(link->Path)),
                         link->Text, unreadable.contains(link->Path)});
    }
}

}  // namespace

CollectionScan ScanCollectionLinks(std::string directory) {
    directory = WithoutTrailingSeparators(directory);
    // The scan shows a directory it cannot list as an empty folder; for the
    // collection itself that would report "no bad links" for nothing.
    if (directory.empty() || !DirectoryListing(directory).IsOpen()) {
        throw EFileError(CannotText(FailedObject::Folder, FailedAction::Read, directory));
    }
    TBookTreePtr root(new TBookTree);
    root->Text = "Favoriten";
    CollectionScan scan;
    std::set<std::string> unreadable;
    for (ScanProblem& problem : ScanDirectory(directory, root.get(), UnreadableLinks::Collect)) {
        if (problem.What == ScanProblem::Kind::UnreadableLink) {
            unreadable.insert(std::move(problem.Path));
        } else {
            scan.FolderProblems.push_back(std::move(problem));
        }
    }
    Collect(*root, scan.Links, unreadable);
    return scan;
}

}  // namespace vornakle
