#pragma once

#include <QPersistentModelIndex>
#include <QString>
#include <QStyledItemDelegate>
#include <optional>

class QTreeWidgetItem;

namespace vornakle {

// The in-place editor of the folder tree hands over the confirmed text
// instead of writing it into the item: whether the caption changes is decided
// by the rename, after the editor is gone. (A message box shown while the
// editor still existed would take its focus, and the lost focus would commit
// the edit a second time.)
class FolderNameDelegate : public QStyledItemDelegate {
public:
    struct Edit {
        QPersistentModelIndex index;
        QTreeWidgetItem* item = nullptr;
        QString text;
    };

    explicit FolderNameDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

    // The item whose caption the editor about to open edits.
    void BeginEdit(QTreeWidgetItem* item, const QModelIndex& index);

    // An editor is open. Keys it does not use itself reach the tree view as
    // well, where they must not start commands.
    bool IsEditing() const { return editing_; }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

    // The confirmed edit, once, when its item still exists. None after
    // Escape, which closes the editor without confirming.
    std::optional<Edit> TakeConfirmed();

private:
    QTreeWidgetItem* editedItem_ = nullptr;
    QPersistentModelIndex editedIndex_;
    mutable std::optional<Edit> confirmed_;
    mutable bool editing_ = false;
};

}  // namespace vornakle
