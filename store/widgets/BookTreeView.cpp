#include "store/widgets/BookTreeView.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

#include "platform/TextDecoding.h"
#include "store/BookTree.h"
#include "store/LinkStatus.h"
#include "store/Shortcut.h"
#include "store/widgets/ImageList.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {

namespace {

constexpr std::size_t kLinkExtensionLength = 4;  // ".url"

QTreeWidgetItem* NewFolderItem(TBookTree* Node, QTreeWidgetItem* ParentItem,
                               QTreeWidget* TreeView) {
    auto* item =
        ParentItem != nullptr ? new QTreeWidgetItem(ParentItem) : new QTreeWidgetItem(TreeView);
    item->setText(0, DisplayFileName(Node->Text));
    // As a number, which a drag can serialize with the item, unlike a pointer.
    item->setData(0, kFolderNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(Node)));
    item->setIcon(0, TImageList::Shared().Icon(kImageFolder));
    return item;
}

void AddFolderItems(TBookTree* Node, QTreeWidgetItem* ParentItem, QTreeWidget* TreeView,
                    std::vector<QTreeWidgetItem*>& expand) {
    QTreeWidgetItem* item = NewFolderItem(Node, ParentItem, TreeView);
    for (int index = 0; index < Node->Count(); ++index) {
        TBookTree* child = Node->Child(index);
        if (child->IsFolder()) {
            AddFolderItems(child, item, TreeView, expand);
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

TBookTree* FolderNodeOf(const QTreeWidgetItem* Item) {
    if (Item == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<TBookTree*>(Item->data(0, kFolderNodeRole).value<quintptr>());
}

int AddLinkItem(TLinkItems& Items, TBookTree* Node) {
    std::string url = ReadShortcutUrl(Node->Path);
    const std::string fileName = LastPathPart(Node->Path);
    TLinkItem item;
    item.Node = Node;
    item.Caption = DisplayFileName(fileName.size() > kLinkExtensionLength
                                       ? fileName.substr(0, fileName.size() - kLinkExtensionLength)
                                       : std::string());
    item.Url = DisplayText(url);
    Node->Text = std::move(url);
    item.ImageIndex = StatusImageIndex(Node->Status);
    item.StatusText = QString::fromUtf8(StatusText(Node->Status));
    return Items.Add(std::move(item));
}

void ShowLinkStatus(TLinkItems& Items, int Row) {
    if (Row < 0 || Row >= Items.Count()) {
        return;
    }
    TLinkItem& item = Items.Item(Row);
    item.ImageIndex = StatusImageIndex(item.Node->Status);
    item.StatusText = QString::fromUtf8(StatusText(item.Node->Status));
    Items.ItemChanged(Row);
}

}  // namespace vornakle
