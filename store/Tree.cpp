#include "store/Tree.h"

#include <algorithm>

#include "platform/Exception.h"

namespace vornakle {

void TTree::NewNode(TTree*& Node) const {
    Node = new TTree;
}

TTree* TTree::AddNode(TTree* Node) {
    if (Node == nullptr) {
        NewNode(Node);
    }
    Node->RemoveFromParent();
    Node->Parent = this;
    Children.push_back(Node);
    return Node;
}

TTree* TTree::AddChild(const std::string& NewText) {
    TTree* Node = AddNode(nullptr);
    Node->Text = NewText;
    return Node;
}

void TTree::RemoveFromParent() {
    if (Parent == nullptr) {
        return;
    }
    auto& siblings = Parent->Children;
    // Searching from the back keeps deleting a folder's children, which goes
    // from the last to the first, linear overall.
    auto position = std::find(siblings.rbegin(), siblings.rend(), this);
    if (position != siblings.rend()) {
        siblings.erase(std::next(position).base());
    }
    Parent = nullptr;
}

void TTree::Delete(ChildNodes Below) {
    RemoveFromParent();
    while (!Children.empty()) {
        TTree* last = Children.back();
        if (Below == ChildNodes::Free) {
            last->Delete(ChildNodes::Free);  // removes itself from Children
        } else {
            last->Parent = nullptr;
            Children.pop_back();
        }
    }
    delete this;
}

TTree* TTree::Child(int Index) const {
    if (Index < 0 || Index >= Count()) {
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    }
    return Children[static_cast<std::size_t>(Index)];
}

}  // namespace vornakle
