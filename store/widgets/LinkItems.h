#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <functional>
#include <unordered_map>
#include <vector>

namespace vornakle {

class LinkChanges;
class TBookTree;

// A report-style link list with the columns "Name", "URL" and "Status", and
// after them any a program adds (ExtraColumn): a table model over link nodes that reads every text
// and image from the node it shows, when the view asks, so a row never holds a copy to refresh. A
// node changed anywhere (LinkChanges) is painted anew in every list that
// shows it. A plain vector of node pointers holds a hundred thousand rows
// without a widget per item; the list never owns the nodes.
class LinkItems : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kColumnName = 0, kColumnUrl = 1, kColumnStatus = 2, kColumnCount = 3 };
    // The role under which every row hands out its link node (TBookTree*).
    static constexpr int kNodeRole = Qt::UserRole + 1;
    // Texts longer than this are cut for display only: a hostile shortcut
    // with a megabyte-long URL line must not stall the painting of the list.
    static constexpr int kMaxShownLength = 2048;

    // The list follows the node changes Changes announces; without one it
    // makes a set of its own, for a list that shares its nodes with none.
    explicit LinkItems(LinkChanges* changes = nullptr, QObject* parent = nullptr);

    // A column after the three: its heading and its text of a link node,
    // read from the node when the view asks.
    struct ExtraColumn {
        QString Heading;
        std::function<QString(const TBookTree&)> Text;
    };
    // Appends the columns, before the list has rows.
    void AddColumns(std::vector<ExtraColumn> columns);
    int ColumnCount() const { return kColumnCount + static_cast<int>(extraColumns_.size()); }

    // A link node's text in a column, whole: the file name less ".url", the
    // URL, the status's German text. Empty for another column.
    static QString ColumnText(const TBookTree& node, int column);
    // The same, the added columns' texts included.
    QString NodeText(const TBookTree& node, int column) const;

    LinkChanges& Changes() const { return *changes_; }
    int Count() const { return static_cast<int>(nodes_.size()); }
    TBookTree* Node(int row) const { return nodes_.at(static_cast<std::size_t>(row)); }
    const std::vector<TBookTree*>& Nodes() const { return nodes_; }
    // What the row shows, read from its node.
    QString Text(int row, int column) const { return NodeText(*Node(row), column); }
    int ImageIndex(int row) const;
    // What the status column's tooltip says beyond the status text: the
    // status text and below it the status note; empty when the note is
    // (the tooltip is then the status text).
    QString StatusToolTip(int row) const;
    // What the tooltip says of a link node below its status, made from the
    // node when a view asks; none: nothing.
    using StatusNote = std::function<QString(const TBookTree&)>;
    void SetStatusNote(StatusNote note) { statusNote_ = std::move(note); }

    // Appends a row for the node and returns its row.
    int Add(TBookTree* node);
    void Remove(int row);
    // Removes every row whose node remove picks, in one pass.
    void RemoveIf(const std::function<bool(const TBookTree&)>& remove);
    void Clear();
    // The row showing Node, or -1. Results of a check arrive one by one for
    // any row, so the rows are looked up in an index built once per change
    // of the rows rather than searched each time.
    int IndexOfNode(const TBookTree* node) const;
    // The row's node has a new name: the row is painted anew and the list
    // re-sorted. A status or URL change leaves the row where it is.
    void Renamed(int row);

    // The order the list keeps: given the list, the rows in their new order.
    // Applied when a row is added or renamed, or on Resort.
    using Ordering = std::function<std::vector<int>(const LinkItems&)>;
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
    // Repaints the row that shows node, if any.
    void ShowNode(const TBookTree* node);
    // Reorders the rows to the ordering's result, keeping selections and
    // the current item on the same links.
    void ApplyOrdering();
    // The rows moved, came or went: the node index is built anew when next
    // asked.
    void ForgetRows();

    LinkChanges* changes_;
    std::vector<TBookTree*> nodes_;
    mutable std::unordered_map<const TBookTree*, int> rowOfNode_;
    mutable bool rowsIndexed_ = false;
    int fillDepth_ = 0;
    Ordering ordering_;
    std::vector<ExtraColumn> extraColumns_;
    StatusNote statusNote_;
    std::vector<int> headerImages_ = std::vector<int>(kColumnCount, -1);
};

}  // namespace vornakle
