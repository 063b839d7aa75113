#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <functional>
#include <unordered_map>
#include <vector>

namespace vornakle {

class TBookTree;

// One row of a link list: what AddLinkItem built for one link node.
struct LinkItem {
    TBookTree* Node = nullptr;  // the link node; the list never owns it
    QString Caption;            // column "Name": the file name less ".url"
    QString Url;                // column "URL"
    QString StatusText;         // column "Status"
    int ImageIndex = 0;         // the status image
    // What the status column's tooltip says beyond StatusText: why a check
    // found what it did (current rules only); empty: StatusText itself.
    QString StatusToolTip;
};

// The item collection of a report-style link list with the columns "Name",
// "URL" and "Status". A plain vector behind a table model holds a hundred
// thousand rows without a widget per item.
class LinkItems : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kColumnName = 0, kColumnUrl = 1, kColumnStatus = 2, kColumnCount = 3 };
    // The role under which every row hands out its link node (TBookTree*).
    static constexpr int kNodeRole = Qt::UserRole + 1;
    // Texts longer than this are cut for display only: a hostile shortcut
    // with a megabyte-long URL line must not stall the painting of the list.
    static constexpr int kMaxShownLength = 2048;

    explicit LinkItems(QObject* parent = nullptr);

    int Count() const { return static_cast<int>(items_.size()); }
    const LinkItem& Item(int row) const { return items_.at(static_cast<std::size_t>(row)); }
    LinkItem& Item(int row) { return items_.at(static_cast<std::size_t>(row)); }
    const std::vector<LinkItem>& Items() const { return items_; }

    // Appends an item and returns its row.
    int Add(LinkItem item);
    void Remove(int row);
    // Removes every item for which remove is true, in one pass.
    void RemoveIf(const std::function<bool(const LinkItem&)>& remove);
    void Clear();
    // The row showing Node, or -1. Results of a parallel check arrive one
    // by one for any row, so the rows are looked up in an index built once
    // per change of the list rather than searched each time.
    int IndexOfNode(const TBookTree* node) const;
    // Tells the views that a row's texts or image changed. The list keeps
    // its order: only new items and new names re-sort it.
    void ItemChanged(int row);
    // Gives a row a new caption and re-sorts the list.
    void Rename(int row, const QString& caption);

    // The order the list keeps: given the items, the rows in their new
    // order. Applied when an item is added, a caption changes, or on Resort.
    using Ordering = std::function<std::vector<int>(const std::vector<LinkItem>&)>;
    void SetOrdering(Ordering ordering);
    void Resort();

    // The image a column header shows, or -1 for none.
    void SetHeaderImage(int column, int imageIndex);
    int HeaderImage(int column) const;

    // While a fill scope lives, additions are announced to the views once, at
    // its end, and the list is sorted once then, instead of row by row.
    class FillScope {
    public:
        explicit FillScope(LinkItems& items);
        ~FillScope();
        FillScope(const FillScope&) = delete;
        FillScope& operator=(const FillScope&) = delete;

    private:
        LinkItems& items_;
    };

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // Reorders the rows to the ordering's result, keeping selections and
    // the current item on the same links.
    void ApplyOrdering();
    // The rows moved, came or went: the node index is built anew when next
    // asked.
    void ForgetRows();

    std::vector<LinkItem> items_;
    mutable std::unordered_map<const TBookTree*, int> rowOfNode_;
    mutable bool rowsIndexed_ = false;
    int fillDepth_ = 0;
    Ordering ordering_;
    std::array<int, kColumnCount> headerImages_{-1, -1, -1};
};

}  // namespace vornakle
