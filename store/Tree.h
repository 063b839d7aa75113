#pragma once

#include <string>
#include <vector>

namespace vornakle {

// A generic ordered tree node: a text, a parent and the children in the order
// they were added. It knows nothing of files or links.
//
// Children are owned by the tree, but only Delete frees them: destroying a
// node frees its list, never the nodes in it, so a node can be detached and
// kept (Delete with ChildNodes::Keep) or moved to another parent (AddNode).
// What Delete does with the node's children: free them with it, or detach
// them so that they live on without a parent.
enum class ChildNodes { Free, Keep };

class TTree {
public:
    TTree() = default;
    TTree(const TTree&) = delete;
    TTree& operator=(const TTree&) = delete;
    virtual ~TTree() = default;

    // Makes a fresh node of the class's own kind, so that a tree only grows
    // nodes of the class of the node it grows from.
    virtual void NewNode(TTree*& Node) const;

    // Appends Node (a fresh one when null) at the end of Children, first
    // taking it out of its former parent's Children.
    TTree* AddNode(TTree* Node);
    TTree* AddChild(const std::string& NewText);

    // Takes the node out of its parent and frees it, and its children as
    // Below says.
    void Delete(ChildNodes Below);

    int Count() const { return static_cast<int>(Children.size()); }
    // Throws EListError for an index outside 0 .. Count() - 1.
    TTree* Child(int Index) const;

    std::string Text;
    TTree* Parent = nullptr;
    std::vector<TTree*> Children;

private:
    void RemoveFromParent();
};

// Frees a whole subtree; lets a std::unique_ptr own a root node.
struct TreeDeleter {
    void operator()(TTree* Node) const {
        if (Node != nullptr) {
            Node->Delete(ChildNodes::Free);
        }
    }
};

}  // namespace vornakle
