#include "store/BookTree.h"

#include "platform/Exception.h"
#include "platform/Paths.h"

namespace vornakle {

void TBookTree::NewNode(TTree*& Node) const {
    Node = new TBookTree;
}

TBookTree* AsBookTree(TTree* node) {
    if (node == nullptr) {
        return nullptr;
    }
    auto* bookNode = dynamic_cast<TBookTree*>(node);
    if (bookNode == nullptr) {
        throw EInvalidCast("Invalid class typecast");
    }
    return bookNode;
}

const std::string& CollectionPathOf(const TBookTree& node) {
    const TTree* root = &node;
    while (root->Parent != nullptr) {
        root = root->Parent;
    }
    const auto* bookRoot = dynamic_cast<const TBookTree*>(root);
    if (bookRoot == nullptr) {
        throw EInvalidCast("Invalid class typecast");
    }
    return bookRoot->Path;
}

TBookTree* TBookTree::AddNode(TTree* Node) {
    return AsBookTree(TTree::AddNode(Node));
}

TBookTree* TBookTree::AddChild(const std::string& NewText) {
    return AsBookTree(TTree::AddChild(NewText));
}

TBookTree* TBookTree::Child(int Index) const {
    return AsBookTree(TTree::Child(Index));
}

int TBookTree::CountAll() const {
    int total = Count();
    for (TTree* child : Children) {
        total += AsBookTree(child)->CountAll();
    }
    return total;
}

void TBookTree::FileStatus(LinkStatus NewStatus, std::unique_ptr<const LinkVerdict> NewVerdict) {
    Status = NewStatus;
    Verdict = std::move(NewVerdict);
}

LinkStanding TBookTree::Standing() const {
    return Verdict != nullptr ? Verdict->Standing : StandingOfStatus(Status);
}

std::vector<TBookTree*> CollectLinks(const TBookTree& Folder) {
    // Iterative, so that the deepest nest the scan allows costs no stack.
    struct Position {
        const TBookTree* Folder;
        int Next;
    };
    std::vector<TBookTree*> links;
    std::vector<Position> stack{{&Folder, 0}};
    while (!stack.empty()) {
        Position& top = stack.back();
        if (top.Next >= top.Folder->Count()) {
            stack.pop_back();
            continue;
        }
        TBookTree* child = top.Folder->Child(top.Next++);
        if (child->IsFolder()) {
            stack.push_back({child, 0});
        } else {
            links.push_back(child);
        }
    }
    return links;
}

void TBookTree::ReplacePathHead(const std::string& NewHead, std::size_t From) {
    // Positions before the first character count as the first.
    const std::size_t start = From < 1 ? 0 : From - 1;
    std::string tail = start < Path.size() ? Path.substr(start) : std::string();
    Path = NewHead + tail;
    for (TTree* child : Children) {
        AsBookTree(child)->ReplacePathHead(NewHead, From);
    }
}

void TBookTree::RebasePath(const std::string& NewDir) {
    const std::string name = LastPathPart(Path);
    // The position, 1-based, of the separator in front of the node's own name.
    const std::size_t from = Path.size() - name.size();
    ReplacePathHead(NewDir, from);
}

}  // namespace vornakle
