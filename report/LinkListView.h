#pragma once

#include <QString>

#include "check/CheckSettings.h"

class QTreeView;
class QWidget;

namespace vornakle {

class LinkChanges;
class LinkItems;

// A link list as both windows show it: report style with the columns "Name",
// "URL" and "Status" (under current rules then the outcome's class and
// reason: OutcomeListColumns), whole rows selected one at a time, small status images,
// a context menu on request, the rows kept in the order of the window's sort
// state (which must live as long as the list), and every change of a shown
// node that Changes announces followed.
struct LinkListView {
    QTreeView* view;
    LinkItems* items;
};
LinkListView NewLinkListView(const QString& name, QWidget* parent, const int& FSortColumn,
                             const int& FSortDirection, LinkChanges& Changes, CheckRules rules);

}  // namespace vornakle
