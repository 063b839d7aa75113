#pragma once

#include <QObject>

#include <unordered_set>

namespace vornakle {

class TBookTree;

// The changes of link nodes that every list showing them follows, whichever
// list or command made them: a node's status, URL or name changed, a check
// of it began or ended, or it is about to be deleted. The window that owns
// the tree holds one; the lists of both windows listen to it.
class LinkChanges : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The node's texts or image changed: every row showing it is painted
    // anew.
    void Changed(const TBookTree* node) { emit NodeChanged(node); }
    // The node goes: every row showing it is removed before it is freed.
    void Removing(const TBookTree* node) { emit NodeRemoving(node); }

    // A check of the node began: its rows show the "being tested" image,
    // beside the status it had, until the check ends (with its result
    // filed, or stopped).
    void CheckBegun(const TBookTree* node);
    void CheckEnded(const TBookTree* node);
    bool BeingTested(const TBookTree* node) const { return testing_.contains(node); }

signals:
    void NodeChanged(const TBookTree* node);
    void NodeRemoving(const TBookTree* node);

private:
    std::unordered_set<const TBookTree*> testing_;
};

}  // namespace vornakle
