#include "report/LinkListView.h"

#include <QHeaderView>
#include <QTreeView>

#include "report/LinkOrdering.h"
#include "report/OutcomeListColumns.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {

namespace {
constexpr int kNameColumnWidth = 150;
constexpr int kUrlColumnWidth = 250;
constexpr int kStatusColumnWidth = 80;
// With the class and the reason, all five fit the lists of both windows at
// their first size (about 500 pixels): name and URL give way, the class
// holds its longest token ("not-checked"), and the reason takes what is
// left, growing with the window.
constexpr int kNarrowNameColumnWidth = 105;
constexpr int kNarrowUrlColumnWidth = 130;
constexpr int kClassColumnWidth = 75;
constexpr int kImageSize = 16;
}  // namespace

LinkListView NewLinkListView(const QString& name, QWidget* parent, const int& FSortColumn,
                             const int& FSortDirection, LinkChanges& Changes, CheckRules rules) {
    auto* view = new QTreeView(parent);
    view->setObjectName(name);
    auto* items = new LinkItems(&Changes, view);
    items->setObjectName(name + QStringLiteral("Items"));
    if (rules == CheckRules::Current) {
        items->AddColumns(OutcomeListColumns());
    }
    // Empty where no check kept an outcome: always under classic rules.
    items->SetStatusNote(OutcomeStatusNote);
    KeepLinkItemsSorted(*items, FSortColumn, FSortDirection);
    view->setModel(items);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setIconSize(QSize(kImageSize, kImageSize));
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->setSortingEnabled(false);
    // The list sorts itself on header clicks, showing the arrows as images.
    view->header()->setSectionsClickable(true);
    view->header()->setSortIndicatorShown(false);
    const bool outcomeColumns = items->ColumnCount() > LinkItems::kColumnCount;
    view->header()->setStretchLastSection(outcomeColumns);
    view->setColumnWidth(LinkItems::kColumnName,
                         outcomeColumns ? kNarrowNameColumnWidth : kNameColumnWidth);
    view->setColumnWidth(LinkItems::kColumnUrl,
                         outcomeColumns ? kNarrowUrlColumnWidth : kUrlColumnWidth);
    view->setColumnWidth(LinkItems::kColumnStatus, kStatusColumnWidth);
    if (outcomeColumns) {
        view->setColumnWidth(LinkItems::kColumnCount, kClassColumnWidth);
    }
    return {view, items};
}

}  // namespace vornakle
