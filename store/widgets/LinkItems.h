#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace vornakle {

class TBookTree;

// One row of a link list: what AddLinkItem built for one link node.
struct TLinkItem {
    TBookTree* Node = nullptr;  // the link node; the list never owns it
    QString Caption;            // column "Name": the file name less ".url"
    QString Url;                // column "URL"
    QString StatusText;         // column "Status"
    int ImageIndex = 0;         // the status image
};

// The item collection of a report-style link list with the columns "Name",
// "URL" and "Status". A plain vector behind a table model holds a hundred
// thousand rows without a widget per item.
class TLinkItems : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kColumnName = 0, kColumnUrl = 1, kColumnStatus = 2, kColumnCount = 3 };
    // The role under which every row hands out its link node (TBookTree*).
    static constexpr int kNodeRole = Qt::UserRole + 1;
    // Texts longer than this are cut for display only: a hostile shortcut
    // with a megabyte-long URL line must not stall the painting of the list.
    static constexpr int kMaxShownLength = 2048;

    explicit TLinkItems(QObject* parent = nullptr);

    int Count() const { return static_cast<int>(items_.size()); }
    const TLinkItem& Item(int row) const { return items_.at(static_cast<std::size_t>(row)); }
    TLinkItem& Item(int row) { return items_.at(static_cast<std::size_t>(row)); }
    const std::vector<TLinkItem>& Items() const { return items_; }

    // Appends an item and returns its row.
    int Add(TLinkItem item);
    void Remove(int row);
    void Clear();
    // The row showing Node, or -1.
    int IndexOfNode(const TBookTree* Node) const;
    // Tells the views that a row's texts or image changed.
    void ItemChanged(int row);

    // While a fill scope lives, additions are announced to the views once, at
    // its end, instead of row by row.
    class FillScope {
    public:
        explicit FillScope(TLinkItems& items);
        ~FillScope();
        FillScope(const FillScope&) = delete;
        FillScope& operator=(const FillScope&) = delete;

    private:
        TLinkItems& items_;
    };

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

protected:
    std::vector<TLinkItem>& MutableItems() { return items_; }

private:
    std::vector<TLinkItem> items_;
    int fillDepth_ = 0;
};

}  // namespace vornakle
