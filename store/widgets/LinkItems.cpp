#include "store/widgets/LinkItems.h"

#include "platform/Paths.h"
#include "platform/TextDecoding.h"
#include "store/BookTree.h"
#include "store/LinkStatus.h"
#include "store/Shortcut.h"
#include "store/widgets/ImageList.h"
#include "store/widgets/LinkChanges.h"

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

LinkItems::LinkItems(LinkChanges* changes, QObject* parent)
    : QAbstractTableModel(parent), changes_(changes != nullptr ? changes : new LinkChanges(this)) {
    connect(changes_, &LinkChanges::NodeChanged, this, &LinkItems::ShowNode);
    connect(changes_, &LinkChanges::NodeRemoving, this, [this](const TBookTree* node) {
        // A list must never keep a row whose node is freed, whichever list
        // the deletion came from.
        Remove(IndexOfNode(node));
    });
}

QString LinkItems::ColumnText(const TBookTree& node, int column) {
    switch (column) {
        case kColumnName:
            return DisplayFileName(LinkNameOf(LastPathPart(node.Path)));
        case kColumnUrl:
            return DisplayText(node.Text);
        case kColumnStatus:
            return QString::fromUtf8(StatusText(node.Status));
        default:
            return QString();
    }
}

void LinkItems::AddColumns(std::vector<ExtraColumn> columns) {
    beginInsertColumns(QModelIndex(), ColumnCount(),
                       ColumnCount() + static_cast<int>(columns.size()) - 1);
    for (ExtraColumn& column : columns) {
        extraColumns_.push_back(std::move(column));
    }
    headerImages_.resize(static_cast<std::size_t>(ColumnCount()), -1);
    endInsertColumns();
}

QString LinkItems::NodeText(const TBookTree& node, int column) const {
    if (column >= kColumnCount && column < ColumnCount()) {
        return extraColumns_[static_cast<std::size_t>(column - kColumnCount)].Text(node);
    }
    return ColumnText(node, column);
}

int LinkItems::ImageIndex(int row) const {
    const TBookTree& node = *Node(row);
    if (changes_->BeingTested(&node)) {
        return kImageBeingTested;
    }
    return StandingImageIndex(node.Standing(), node.Status);
}

QString LinkItems::StatusToolTip(int row) const {
    if (!statusNote_) {
        return QString();
    }
    const TBookTree& node = *Node(row);
    const QString note = statusNote_(node);
    if (note.isEmpty()) {
        return QString();
    }
    const QString status = ColumnText(node, kColumnStatus);
    return status.isEmpty() ? note : status + QLatin1Char('\n') + note;
}

int LinkItems::Add(TBookTree* node) {
    const int row = Count();
    ForgetRows();
    if (fillDepth_ > 0) {
        nodes_.push_back(node);
        return row;
    }
    beginInsertRows(QModelIndex(), row, row);
    nodes_.push_back(node);
    endInsertRows();
    Resort();
    return nodes_[static_cast<std::size_t>(row)] == node ? row : IndexOfNode(node);
}

void LinkItems::Renamed(int row) {
    if (row < 0 || row >= Count()) {
        return;
    }
    changes_->Changed(Node(row));
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
    if (!ordering_ || nodes_.size() < 2) {
        return;
    }
    const std::vector<int> order = ordering_(*this);
    if (order.size() != nodes_.size()) {
        return;
    }
    const bool announce = fillDepth_ == 0;
    if (announce) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    }
    ForgetRows();
    std::vector<TBookTree*> sorted;
    sorted.reserve(nodes_.size());
    std::vector<int> newRowOf(nodes_.size());
    for (std::size_t row = 0; row < order.size(); ++row) {
        sorted.push_back(nodes_[static_cast<std::size_t>(order[row])]);
        newRowOf[static_cast<std::size_t>(order[row])] = static_cast<int>(row);
    }
    nodes_ = std::move(sorted);
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
    if (column < 0 || column >= ColumnCount() ||
        headerImages_[static_cast<std::size_t>(column)] == imageIndex) {
        return;
    }
    headerImages_[static_cast<std::size_t>(column)] = imageIndex;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int LinkItems::HeaderImage(int column) const {
    return column >= 0 && column < ColumnCount() ? headerImages_[static_cast<std::size_t>(column)]
                                                 : -1;
}

void LinkItems::Remove(int row) {
    if (row < 0 || row >= Count()) {
        return;
    }
    // The index stays, the rows below moved up by one: a report removes
    // links one at a time while results come in, and rebuilding the index
    // for each would cost as much as the whole list each time.
    const auto indexed = rowOfNode_.find(nodes_[static_cast<std::size_t>(row)]);
    if (!rowsIndexed_ || indexed == rowOfNode_.end() || indexed->second != row) {
        ForgetRows();
    } else {
        rowOfNode_.erase(indexed);
        for (auto& [node, index] : rowOfNode_) {
            index -= index > row ? 1 : 0;
        }
    }
    beginRemoveRows(QModelIndex(), row, row);
    nodes_.erase(nodes_.begin() + row);
    endRemoveRows();
}

void LinkItems::RemoveIf(const std::function<bool(const TBookTree&)>& remove) {
    const auto picked = [&remove](const TBookTree* node) { return remove(*node); };
    if (std::none_of(nodes_.begin(), nodes_.end(), picked)) {
        return;
    }
    if (fillDepth_ == 0) {
        beginResetModel();
    }
    ForgetRows();
    std::erase_if(nodes_, picked);
    if (fillDepth_ == 0) {
        endResetModel();
    }
}

void LinkItems::Clear() {
    ForgetRows();
    beginResetModel();
    nodes_.clear();
    endResetModel();
}

int LinkItems::IndexOfNode(const TBookTree* node) const {
    if (!rowsIndexed_) {
        rowOfNode_.reserve(nodes_.size());
        for (std::size_t row = 0; row < nodes_.size(); ++row) {
            rowOfNode_.emplace(nodes_[row], static_cast<int>(row));
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

void LinkItems::ShowNode(const TBookTree* node) {
    const int row = IndexOfNode(node);
    if (row >= 0 && fillDepth_ == 0) {
        emit dataChanged(index(row, 0), index(row, ColumnCount() - 1));
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
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant LinkItems::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) {
        return QVariant();
    }
    const int row = index.row();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            if (index.column() == kColumnStatus && role == Qt::ToolTipRole) {
                const QString toolTip = StatusToolTip(row);
                if (!toolTip.isEmpty()) {
                    return toolTip;
                }
            }
            return Shown(Text(row, index.column()));
        case Qt::DecorationRole:
            if (index.column() == kColumnName) {
                return TImageList::Shared().Icon(ImageIndex(row));
            }
            return QVariant();
        case kNodeRole:
            return QVariant::fromValue(static_cast<void*>(Node(row)));
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
            return section >= kColumnCount && section < ColumnCount()
                       ? QVariant(extraColumns_[static_cast<std::size_t>(section - kColumnCount)]
                                      .Heading)
                       : QVariant();
    }
}

}  // namespace vornakle
