#include "app/FolderNameDelegate.h"

#include <QLineEdit>

namespace vornakle {

void FolderNameDelegate::BeginEdit(QTreeWidgetItem* item, const QModelIndex& index) {
    editedItem_ = item;
    editedIndex_ = index;
    confirmed_.reset();
}

QWidget* FolderNameDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
    editing_ = true;
    return QStyledItemDelegate::createEditor(parent, option, index);
}

void FolderNameDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    editing_ = false;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void FolderNameDelegate::setModelData(QWidget* editor, QAbstractItemModel* /*model*/,
                                      const QModelIndex& index) const {
    const auto* line = qobject_cast<const QLineEdit*>(editor);
    if (line != nullptr && index == editedIndex_) {
        confirmed_ = Edit{editedIndex_, editedItem_, line->text()};
    }
}

std::optional<FolderNameDelegate::Edit> FolderNameDelegate::TakeConfirmed() {
    std::optional<Edit> edit = std::move(confirmed_);
    confirmed_.reset();
    if (edit && !edit->index.isValid()) {
        return std::nullopt;
    }
    return edit;
}

}  // namespace vornakle
