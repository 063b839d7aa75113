#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/LinkVerdict.h"
#include "store/Tree.h"

#include "platform/Paths.h"

namespace vornakle {

// A node of the Favorites collection. Folders and links share this one class:
// Status 0 marks a folder, any other value is a link's status. Text is a
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

    bool IsFolder() const { return Status == 0; }

    // Number of all nodes below this one, folders and links alike.
    int CountAll() const;

    // Path becomes NewHead followed by Path from the 1-based position From,
    // here and in the whole subtree: all paths below a node share its prefix.
    void ReplacePathHead(const std::string& NewHead, std::size_t From);
    // Moves this node's path, and its subtree's, below the directory NewDir.
    void RebasePath(const std::string& NewDir);

    std::int32_t Status = 0;
    std::string Path;
    // What the last check under current rules found beyond Status; null
    // when nothing (always under classic rules). Only the status it names
    // counts: a stale verdict is ignored (VerdictOf).
    std::unique_ptr<const LinkVerdict> Verdict;
};

// The node's verdict when it still explains its status, else null.
inline const LinkVerdict* VerdictOf(const TBookTree& node) {
    return node.Verdict != nullptr && node.Verdict->Status == node.Status ? node.Verdict.get()
                                                                          : nullptr;
}

using TBookTreePtr = std::unique_ptr<TBookTree, TreeDeleter>;

// Casts a node of the collection; throws EInvalidCast for a foreign node.
TBookTree* AsBookTree(TTree* node);

// The directory of the collection a node belongs to: its root's Path.
const std::string& CollectionPathOf(const TBookTree& node);

}  // namespace vornakle
