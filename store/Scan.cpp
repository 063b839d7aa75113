#include "store/Scan.h"

#include <string_view>
#include <utility>

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "store/LinkStatus.h"
#include "store/Shortcut.h"

namespace vornakle {

namespace {

void ScanListing(const DirectoryListing& listing, const std::string& path, TBookTree* node,
                 int depth) {
    node->Status = kStatusFolder;
    node->Path = path;
    for (const DirectoryEntry& entry : listing.Entries()) {
        if (entry.kind == EntryKind::Directory) {
            TBookTree* child = node->AddChild(entry.name);
            std::string childPath = JoinPath(path, entry.name);
            if (depth < kMaxFolderDepth) {
                const DirectoryListing childListing(listing, entry.name);
                ScanListing(childListing, childPath, child, depth + 1);
            } else {
                child->Path = std::move(childPath);
            }
            child->Children.shrink_to_fit();
        } else if (entry.kind == EntryKind::File && HasLinkExtension(entry.name)) {
            std::string filePath = JoinPath(path, entry.name);
            const UniqueFd file = listing.OpenFile(entry.name);
            if (!file.IsValid()) {
                throw EFileError(OpenErrorMessage(filePath));
            }
            TBookTree* child = node->AddChild(ReadShortcutUrl(file.Get(), filePath));
            child->Status = kStatusNotTested;
            child->Path = std::move(filePath);
        }
    }
}

}  // namespace

void ScanDirectory(const std::string& Path, TBookTree* Node) {
    const DirectoryListing listing(Path);
    ScanListing(listing, Path, Node, 0);
}

}  // namespace vornakle
