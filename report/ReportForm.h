#pragma once

#include <QDialog>

#include "report/CommandState.h"
#include "report/LinkOrdering.h"

class QAction;
class QMenu;
class QProgressBar;
class QPushButton;
class QTreeView;
class QWidget;

namespace vornakle {

class LinkChanges;
class LinkItems;
class LinkTester;
class TBookTree;

// The report window: every link of the collection that is not fine, to be
// checked again, opened, renamed, re-addressed, marked or deleted in one
// place. Made once at start-up; the main window fills it and shows it
// modally. Its items are the tree's own link nodes, which it checks with
// the main window's LinkTester.
class TReportForm : public QDialog {
    Q_OBJECT

public:
    TReportForm(LinkTester& Tester, LinkChanges& Changes, QWidget* parent = nullptr);

    // The list's items, which the main window fills before showing.
    LinkItems& ReportItems() { return *LVReportItems; }

    // View only: while the main window's own check runs the report may be
    // looked at and its links opened, but it neither checks (one check runs
    // at a time) nor changes a link (the running check uses the nodes and
    // the main list).
    void SetViewOnly(bool ViewOnly);
    bool ViewOnly() const { return FViewOnly; }

    // Idle layout when Enabled, busy layout otherwise.
    void EnableControls(bool Enabled);

    void PMOpeninBrowserClick();
    void PMVerifyClick();
    void PMRenameClick();
    void PMEditURLClick();
    void PMDeleteClick();
    void PMSetStatusClick(int Tag);
    void BVerifyAllClick();
    void BCancelClick();
    void LVReportColumnClick(int Column);
    // Enter opens, Insert checks, Delete deletes; modifiers do not matter.
    void LVReportKeyDown(int Key);

    bool CancelRequested() const { return FCommand.CancelRequested(); }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildComponents(LinkChanges& Changes);
    void BuildMenu();
    void ConnectEvents();
    void LayOut();
    void FormShow();
    void ApplyViewOnly();
    int SelectedRow() const;
    // Drops the node's row when its link is fine now, or not checked at all.
    void RemoveWhenFine(const TBookTree* Node);

    LinkTester& Tester;
    CommandState FCommand;
    int FSortColumn = kSortColumnStart;
    int FSortDirection = kSortDirectionStart;
    bool FViewOnly = false;

    QWidget* Panel = nullptr;
    QTreeView* LVReport = nullptr;
    LinkItems* LVReportItems = nullptr;
    QPushButton* BOK = nullptr;
    QPushButton* BVerifyAll = nullptr;
    QPushButton* BCancel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QMenu* PopupMenuLV = nullptr;
    QAction* PMOpeninBrowser = nullptr;
    QAction* PMVerify = nullptr;
    QAction* PMRename = nullptr;
    QAction* PMEditURL = nullptr;
    QAction* PMDelete = nullptr;
    QMenu* PMSetStatus = nullptr;
};

}  // namespace vornakle
