#include "store/widgets/BookTreeView.h"

#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include "platform/TextDecoding.h"
#include "store/BookTree.h"
#include "store/LinkStatus.h"
#include "store/Shortcut.h"
#include "store/widgets/ImageList.h"
#include "store/widgets/LinkChanges.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {

namespace {

QTreeWidgetItem* NewFolderItem(TBookTree* node, QTreeWidgetItem* parentItem,
                               QTreeWidget* treeView) {
    auto* item =
        parentItem != nullptr ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(treeView);
    item->setText(0, DisplayFileName(node->Text));
    // As a number, which a drag can serialize with the item, unlike a pointer.
    item->setData(0, kFolderNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
    item->setIcon(0, TImageList::Shared().Icon(kImageFolder));
    return item;
}

void AddFolderItems(TBookTree* node, QTreeWidgetItem* parentItem, QTreeWidget* treeView,
                    std::vector<QTreeWidgetItem*>& expand) {
    QTreeWidgetItem* item = NewFolderItem(node, parentItem, treeView);
    for (int index = 0; index < node->Count(); ++index) {
        TBookTree* child = node->Child(index);
        if (child->IsFolder()) {
            AddFolderItems(child, item, treeView, expand);
        }
    }
    expand.push_back(item);
}

}  // namespace

void AddTreeItems(TBookTree* Node, QTreeWidgetItem* ParentItem, QTreeWidget* TreeView) {
    std::vector<QTreeWidgetItem*> expand;
    AddFolderItems(Node, ParentItem, TreeView, expand);
    // Expanding after the items exist lays the tree out once, not per level.
    for (QTreeWidgetItem* item : expand) {
        item->setExpanded(true);
    }
}

void ShowInTreeView(TBookTree* Node, QTreeWidget* TreeView) {
    TreeView->clear();
    AddTreeItems(Node, nullptr, TreeView);
}

TBookTree* FolderNodeOf(const QTreeWidgetItem* item) {
    if (item == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<TBookTree*>(item->data(0, kFolderNodeRole).value<quintptr>());
}

int AddLinkItem(LinkItems& Items, TBookTree* Node) {
    Node->Text = ReadShortcutUrl(Node->Path);
    return Items.Add(Node);
}

void ShowLinkStatus(LinkItems& Items, int Row) {
    if (Row >= 0 && Row < Items.Count()) {
        Items.Changes().Changed(Items.Node(Row));
    }
}

}  // namespace vornakle
