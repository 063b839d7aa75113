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

class Scanner {
public:
    explicit Scanner(UnreadableLinks unreadable) : unreadable_(unreadable) {}

    void Scan(const DirectoryListing& listing, const std::string& path, TBookTree* node,
              int depth) {
        node->Status = kStatusFolder;
        node->Path = path;
        for (const DirectoryEntry& entry : listing.Entries()) {
            if (entry.kind == EntryKind::Directory) {
                TBookTree* child = node->AddChild(entry.name);
                std::string childPath = JoinPath(path, entry.name);
                if (depth >= kMaxFolderDepth) {
                    Problems.push_back({ScanProblem::Kind::TooDeep, childPath});
                    child->Path = std::move(childPath);
                } else if (const DirectoryListing childListing(listing, entry.name);
                           childListing.IsOpen()) {
                    Scan(childListing, childPath, child, depth + 1);
                } else {
                    Problems.push_back({ScanProblem::Kind::UnlistableFolder, childPath});
                    child->Status = kStatusFolder;
                    child->Path = std::move(childPath);
                }
                child->Children.shrink_to_fit();
            } else if (entry.kind == EntryKind::File && HasLinkExtension(entry.name)) {
                std::string filePath = JoinPath(path, entry.name);
                TBookTree* child = node->AddChild(ReadUrl(listing, entry.name, filePath));
                child->Status = kStatusNotTested;
                child->Path = std::move(filePath);
            }
        }
    }

    std::vector<ScanProblem> Problems;

private:
    std::string ReadUrl(const DirectoryListing& listing, const std::string& name,
                        const std::string& filePath) {
        try {
            const UniqueFd file = listing.OpenFile(name);
            if (!file.IsValid()) {
                throw EFileError(OpenErrorMessage(filePath));
            }
            return ReadShortcutUrl(file.Get(), filePath);
        } catch (const EFileError&) {
            if (unreadable_ == UnreadableLinks::Stop) {
                throw;
            }
            Problems.push_back({ScanProblem::Kind::UnreadableLink, filePath});
            return std::string();
        }
    }

    UnreadableLinks unreadable_;
};

}  // namespace

std::vector<ScanProblem> ScanDirectory(const std::string& Path, TBookTree* Node,
                                       UnreadableLinks unreadable) {
    const DirectoryListing listing(Path);
    Scanner scanner(unreadable);
    scanner.Scan(listing, Path, Node, 0);
    return std::move(scanner.Problems);
}

}  // namespace vornakle
