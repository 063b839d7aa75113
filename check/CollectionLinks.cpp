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

// Iterative, so that the deepest nest the scan allows costs no stack.
void Collect(const TBookTree& root, std::vector<LinkRecord>& links,
             const std::set<std::string>& unreadable = {}) {
    struct Position {
        const TBookTree* Folder;
        int Next;
    };
    std::vector<Position> stack{{&root, 0}};
    while (!stack.empty()) {
        Position& top = stack.back();
        if (top.Next >= static_cast<int>(top.Folder->Children.size())) {
            stack.pop_back();
            continue;
        }
        const TBookTree* child = top.Folder->Child(top.Next++);
        if (child->IsFolder()) {
            stack.push_back({child, 0});
        } else {
            links.push_back({top.Folder->Path, LinkNameOf(LastPathPart(child->Path)), child->Text,
                             unreadable.contains(child->Path)});
        }
    }
}

}  // namespace

std::vector<LinkRecord> CollectLinks(const TBookTree& root) {
    std::vector<LinkRecord> links;
    Collect(root, links);
    return links;
}

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
