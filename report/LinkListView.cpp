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
constexpr int kClassColumnWidth = 80;
constexpr int kReasonColumnWidth = 200;
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
    view->header()->setStretchLastSection(false);
    view->setColumnWidth(LinkItems::kColumnName, kNameColumnWidth);
    view->setColumnWidth(LinkItems::kColumnUrl, kUrlColumnWidth);
    view->setColumnWidth(LinkItems::kColumnStatus, kStatusColumnWidth);
    if (items->ColumnCount() > LinkItems::kColumnCount) {
        view->setColumnWidth(LinkItems::kColumnCount, kClassColumnWidth);
        view->setColumnWidth(LinkItems::kColumnCount + 1, kReasonColumnWidth);
    }
    return {view, items};
}

}  // namespace vornakle
