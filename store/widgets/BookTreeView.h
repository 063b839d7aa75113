#pragma once

#include <QtCore/qnamespace.h>

class QTreeWidget;
class QTreeWidgetItem;

namespace vornakle {

class TBookTree;
class LinkItems;

// The widget side of the store: how folder nodes become tree view items and
// link nodes become link list items.

// Role under which a folder item of the tree view keeps its node.
inline constexpr int kFolderNodeRole = Qt::UserRole + 1;

// Adds Node's folder and every folder below it under ParentItem (at top level
// when null), in Children order, each expanded; link children are skipped.
void AddTreeItems(TBookTree* Node, QTreeWidgetItem* ParentItem, QTreeWidget* TreeView);
// Empties the tree view and shows Node's folders with Node as the only
// top-level item.
void ShowInTreeView(TBookTree* Node, QTreeWidget* TreeView);
// The folder node of a tree view item; null for none.
TBookTree* FolderNodeOf(const QTreeWidgetItem* item);

// Re-reads the link's shortcut file into Node->Text and appends a row for
// the node to Items; leaves Node->Status. Throws EFileError before adding
// anything when the file cannot be read. Returns the new row.
int AddLinkItem(LinkItems& Items, TBookTree* Node);
// The status of the row's node changed: every list that shows the node
// shows its image and status text anew (a link whose check found it in
// doubt shows the warning image beside its reply's text, and the tooltip
// says what the check found).
void ShowLinkStatus(LinkItems& Items, int Row);

}  // namespace vornakle
