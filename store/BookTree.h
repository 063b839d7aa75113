#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/LinkVerdict.h"
#include "store/Tree.h"

#include "platform/Paths.h"

namespace vornakle {

// A node of the Favorites collection. Folders and links share this one class:
// Status kStatusFolder marks a folder, any other value is a link's status. Text is a
// folder's directory name or a link's URL; Path is the directory or the
// ".url" file on disk.
class TBookTree : public TTree {
public:
    TBookTree() = default;

    void NewNode(TTree*& Node) const override;

    TBookTree* AddNode(TTree* Node);
    TBookTree* AddChild(const std::string& NewText);
    // Throws EListError for a bad index, EInvalidCast for a foreign node.
    TBookTree* Child(int Index) const;

    bool IsFolder() const { return Status == kStatusFolder; }

    // Number of all nodes below this one, folders and links alike.
    int CountAll() const;

    // Path becomes NewHead followed by Path from the 1-based position From,
    // here and in the whole subtree: all paths below a node share its prefix.
    void ReplacePathHead(const std::string& NewHead, std::size_t From);
    // Moves this node's path, and its subtree's, below the directory NewDir.
    void RebasePath(const std::string& NewDir);

    // A link's status, decided by a check or by the user, and what the
    // check found beyond it (none: the status says it all). A verdict never
    // outlives the status it was filed with.
    void FileStatus(LinkStatus NewStatus, std::unique_ptr<const LinkVerdict> NewVerdict = nullptr);
    // How the link stands: by its verdict, else by its status.
    LinkStanding Standing() const;

    LinkStatus Status;
    std::string Path;
    // What the last check under current rules found beyond Status; null
    // when nothing (always under classic rules). Set with the status
    // (FileStatus).
    std::unique_ptr<const LinkVerdict> Verdict;
};

// Every link node below Folder, depth first in Children order: a
// sub-folder's links where the sub-folder stands among its siblings.
std::vector<TBookTree*> CollectLinks(const TBookTree& Folder);

using TBookTreePtr = std::unique_ptr<TBookTree, TreeDeleter>;

// Casts a node of the collection; throws EInvalidCast for a foreign node.
TBookTree* AsBookTree(TTree* node);

// The directory of the collection a node belongs to: its root's Path.
const std::string& CollectionPathOf(const TBookTree& node);

}  // namespace vornakle
