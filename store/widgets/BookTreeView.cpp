#include "store/widgets/BookTreeView.h"

#include <QStringList>
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

void ShowStatusIn(LinkItem& item) {
    const TBookTree& node = *item.Node;
    const LinkVerdict* verdict = VerdictOf(node);
    const LinkVerdict::Image shownAs =
        verdict != nullptr ? verdict->ShowAs : LinkVerdict::Image::OfStatus;
    switch (shownAs) {
        case LinkVerdict::Image::Fine:
            item.ImageIndex = kImageOk;
            break;
        case LinkVerdict::Image::Doubtful:
            item.ImageIndex = kImageUnknown;
            break;
        case LinkVerdict::Image::OfStatus:
            item.ImageIndex = StatusImageIndex(node.Status);
            break;
    }
    item.StatusText = QString::fromUtf8(StatusText(node.Status));
    item.StatusToolTip.clear();
    if (verdict != nullptr && !verdict->Explanation.empty()) {
        const QString text = QString::fromStdString(verdict->Explanation);
        item.StatusToolTip =
            item.StatusText.isEmpty() ? text : item.StatusText + QLatin1Char('\n') + text;
    }
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
    std::string url = ReadShortcutUrl(Node->Path);
    const std::string fileName = LastPathPart(Node->Path);
    LinkItem item;
    item.Node = Node;
    item.Caption = DisplayFileName(LinkNameOf(fileName));
    item.Url = DisplayText(url);
    Node->Text = std::move(url);
    ShowStatusIn(item);
    return Items.Add(std::move(item));
}

void ShowLinkStatus(LinkItems& Items, int Row) {
    if (Row < 0 || Row >= Items.Count()) {
        return;
    }
    ShowStatusIn(Items.Item(Row));
    Items.ItemChanged(Row);
}

}  // namespace vornakle
