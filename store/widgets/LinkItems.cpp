#include "store/widgets/LinkItems.h"

#include "store/widgets/ImageList.h"

#include <algorithm>

namespace vornakle {

namespace {

QString Shown(const QString& text) {
    if (text.size() <= LinkItems::kMaxShownLength) {
        return text;
    }
    return text.left(LinkItems::kMaxShownLength) + QChar(0x2026);
}

}  // namespace

LinkItems::LinkItems(QObject* parent) : QAbstractTableModel(parent) {}

int LinkItems::Add(LinkItem item) {
    const int row = Count();
    ForgetRows();
    if (fillDepth_ > 0) {
        items_.push_back(std::move(item));
        return row;
    }
    beginInsertRows(QModelIndex(), row, row);
    items_.push_back(std::move(item));
    endInsertRows();
    const TBookTree* node = items_.back().Node;
    Resort();
    return items_[static_cast<std::size_t>(row)].Node == node ? row : IndexOfNode(node);
}

void LinkItems::Rename(int row, const QString& caption) {
    if (row < 0 || row >= Count()) {
        return;
    }
    Item(row).Caption = caption;
    ItemChanged(row);
    Resort();
}

void LinkItems::SetOrdering(Ordering ordering) {
    ordering_ = std::move(ordering);
}

void LinkItems::Resort() {
    if (fillDepth_ == 0) {
        ApplyOrdering();
    }
}

void LinkItems::ApplyOrdering() {
    if (!ordering_ || items_.size() < 2) {
        return;
    }
    const std::vector<int> order = ordering_(items_);
    if (order.size() != items_.size()) {
        return;
    }
    const bool announce = fillDepth_ == 0;
    if (announce) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    }
    ForgetRows();
    std::vector<LinkItem> sorted;
    sorted.reserve(items_.size());
    std::vector<int> newRowOf(items_.size());
    for (std::size_t row = 0; row < order.size(); ++row) {
        sorted.push_back(std::move(items_[static_cast<std::size_t>(order[row])]));
        newRowOf[static_cast<std::size_t>(order[row])] = static_cast<int>(row);
    }
    items_ = std::move(sorted);
    if (announce) {
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& index : before) {
            after.push_back(
                index.isValid() && index.row() < Count()
                    ? this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column())
                    : QModelIndex());
        }
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
}

void LinkItems::SetHeaderImage(int column, int imageIndex) {
    if (column < 0 || column >= kColumnCount || headerImages_[column] == imageIndex) {
        return;
    }
    headerImages_[column] = imageIndex;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int LinkItems::HeaderImage(int column) const {
    return column >= 0 && column < kColumnCount ? headerImages_[column] : -1;
}

void LinkItems::Remove(int row) {
    if (row < 0 || row >= Count()) {
        return;
    }
    ForgetRows();
    beginRemoveRows(QModelIndex(), row, row);
    items_.erase(items_.begin() + row);
    endRemoveRows();
}

void LinkItems::RemoveIf(const std::function<bool(const LinkItem&)>& remove) {
    if (std::none_of(items_.begin(), items_.end(), remove)) {
        return;
    }
    if (fillDepth_ == 0) {
        beginResetModel();
    }
    ForgetRows();
    std::erase_if(items_, remove);
    if (fillDepth_ == 0) {
        endResetModel();
    }
}

void LinkItems::Clear() {
    ForgetRows();
    beginResetModel();
    items_.clear();
    endResetModel();
}

int LinkItems::IndexOfNode(const TBookTree* node) const {
    if (!rowsIndexed_) {
        rowOfNode_.reserve(items_.size());
        for (std::size_t row = 0; row < items_.size(); ++row) {
            rowOfNode_.emplace(items_[row].Node, static_cast<int>(row));
        }
        rowsIndexed_ = true;
    }
    const auto found = rowOfNode_.find(node);
    return found == rowOfNode_.end() ? -1 : found->second;
}

void LinkItems::ForgetRows() {
    if (rowsIndexed_) {
        rowsIndexed_ = false;
        rowOfNode_.clear();
    }
}

void LinkItems::ItemChanged(int row) {
    if (row >= 0 && row < Count() && fillDepth_ == 0) {
        emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
    }
}

LinkItems::FillScope::FillScope(LinkItems& items) : items_(items) {
    if (items_.fillDepth_++ == 0) {
        items_.beginResetModel();
    }
}

LinkItems::FillScope::~FillScope() {
    if (items_.fillDepth_ == 1) {
        // Still inside the reset: the views learn the sorted rows at once.
        items_.ApplyOrdering();
    }
    if (--items_.fillDepth_ == 0) {
        items_.endResetModel();
    }
}

int LinkItems::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int LinkItems::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant LinkItems::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) {
        return QVariant();
    }
    const LinkItem& item = Item(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            switch (index.column()) {
                case kColumnName:
                    return Shown(item.Caption);
                case kColumnUrl:
                    return Shown(item.Url);
                case kColumnStatus:
                    return role == Qt::ToolTipRole && !item.StatusToolTip.isEmpty()
                               ? item.StatusToolTip
                               : item.StatusText;
                default:
                    return QVariant();
            }
        case Qt::DecorationRole:
            if (index.column() == kColumnName) {
                return TImageList::Shared().Icon(item.ImageIndex);
            }
            return QVariant();
        case kNodeRole:
            return QVariant::fromValue(static_cast<void*>(item.Node));
        default:
            return QVariant();
    }
}

QVariant LinkItems::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return QVariant();
    }
    if (role == Qt::DecorationRole) {
        const int image = HeaderImage(section);
        return image >= 0 ? QVariant(TImageList::Shared().Icon(image)) : QVariant();
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
    switch (section) {
        case kColumnName:
            return QStringLiteral("Name");
        case kColumnUrl:
            return QStringLiteral("URL");
        case kColumnStatus:
            return QStringLiteral("Status");
        default:
            return QVariant();
    }
}

}  // namespace vornakle
