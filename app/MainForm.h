#pragma once

#include <QWidget>

#include <memory>
#include <string>

#include "check/CheckSettings.h"
#include "report/CommandState.h"
#include "report/LinkOrdering.h"
#include "report/LinkTester.h"
#include "store/BookTree.h"

class QAction;
class QFrame;
class QGroupBox;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace vornakle {

class LinkChanges;
class LinkItems;
class TReportForm;

// The main window: the folder tree on the left, the links of the selected
// folder on the right, the command buttons above them and the progress bar
// below. It owns the whole folder tree and the LinkTester both windows
// check with.
class TMainForm : public QWidget {
    Q_OBJECT

public:
    // Asks for the Favorites directory and scans it.
    explicit TMainForm(QWidget* parent = nullptr);
    // The same with the settings of the window's checks: under current rules
    // the verify commands check many links at once.
    explicit TMainForm(const CheckSettings& Settings, QWidget* parent = nullptr);
    ~TMainForm() override;

    // False when the user cancelled the folder dialog: the program ends
    // without showing the window.
    bool FolderChosen() const { return FFolderChosen; }

    // Fills the link list with the links of the item's folder.
    void TVTreeChange(QTreeWidgetItem* Node);
    // Leaves busy mode when Enabled, enters it otherwise.
    void EnableControls(bool Enabled);
    // Closes the window when idle; asks the running command to stop when busy.
    void BExitClick();

    // ---- Link verification (MainFormVerify.cpp) ----
    // Checks the link of a row of Items (either window's list) and files the
    // reply number, or kStatusUnknown when there is no usable one. Never
    // throws for network or protocol failures. While a check is under way a
    // second one does nothing.
    void TestItem(LinkItems& Items, int Row);
    void BVerifyOneClick();
    void BVerifyCurrentClick();
    void BVerifyAllClick();
    // A check is waiting for the network.
    bool CheckRunning() const { return FTester->Running(); }
    // Ends the check under way at once; its links keep the status they had.
    void AbortCheck() { FTester->Abort(); }
    // How long a check waits for a lookup, a connect or the next data
    // (kDefaultTimeOutMilliseconds until changed).
    void SetCheckTimeOut(int milliseconds) { FTester->SetTimeOut(milliseconds); }
    // Under current rules the checks join the history of checks in this
    // file, and the status tooltip shows a link's run of failures; empty (the
    // default): no history.
    void KeepHistoryIn(const std::string& Path) { FTester->KeepHistoryIn(Path); }
    // Under current rules, the links the checks leave out and how old a
    // fine result of the history may be to stand for a check (LinkTester).
    void SetCheckFilter(LinkFilter Filter) { FTester->SetFilter(std::move(Filter)); }
    void SetCheckMaxAge(std::optional<std::chrono::seconds> MaxAge) { FTester->SetMaxAge(MaxAge); }
    // ---- end of link verification ----

    // ---- Link commands and the report (MainFormLinks.cpp) ----
    void PMOpenBrowser();
    void BEditNameClick();
    void BEditURLClick();
    void PMDeleteClick();
    void PMSetStatusClick(int Tag);
    void PMCreateLinkClick();
    // Fills the report with every link that is not fine, shows it, and
    // lists the selected folder anew when it closes.
    void BReportClick();
    // Fills the report's list; false when a shortcut could not be read (the
    // user has been told). Shows nothing.
    bool FillReport();
    // Enter opens, Insert creates, Delete deletes; modifiers do not matter.
    void LVListKeyDown(int Key);
    TReportForm* Report() const { return ReportForm; }
    // ---- end of link commands ----

    // The running command's cancel request.
    bool CancelRequested() const { return FCommand.CancelRequested(); }
    bool Busy() const { return FCommand.Busy(); }
    TBookTree* Root() const { return FRoot.get(); }
    // The folder node of the selected tree item; null when there is none.
    TBookTree* SelectedFolder() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildComponents();
    void BuildButtons();
    void BuildMenus();
    void ConnectEvents();
    void SetTabOrder();

    // ---- Folder commands and drag-and-drop (MainFormFolders.cpp) ----
    // Wires the tree view's menu, keys, in-place editing and drops.
    void ConnectFolderCommands();

public:
    // The folder tree's commands. Each acts on the selected folder, changes
    // the disk first and the tree and its view only when the disk did change,
    // and tells the user when it did not.
    void PMCreateDirClick();
    // Starts the in-place editing of the selected folder's caption.
    void PMRenameDirClick();
    void PMDeleteDirClick();
    // Enter renames, Insert creates, Delete deletes (Key a Qt::Key); modifiers
    // do not matter.
    void TVTreeKeyDown(int Key);
    // AllowEdit becomes false for the root, which has no name of its own.
    void TVTreeEditing(QTreeWidgetItem* Node, bool& AllowEdit);
    // Renames the item's folder to S; when that cannot be, S becomes the
    // item's caption again.
    void TVTreeEdited(QTreeWidgetItem* Node, QString& S);
    // Accept becomes true for drags from the link list and from the tree.
    void TVTreeDragOver(QObject* Source, bool& Accept);
    // Moves the link or folder dragged from Source onto the folder at Point
    // (viewport coordinates of the tree).
    void TVTreeDragDrop(QObject* Source, const QPoint& Point);

private:
    void MoveFolderOnto(QTreeWidgetItem* Target);
    void MoveLinkOnto(QTreeWidgetItem* Target);
    // ---- end of folder commands ----

    void FormCreate();
    void FormShow();
    void FormDestroy();
    void TVTreeCollapsing(QTreeWidgetItem* Node);
    void LVListColumnClick(int Column);
    // The row of the link list's selected item, or kNoItem.
    int SelectedLinkRow() const;
    // Steps the progress bar by one; past its maximum it starts over, as the
    // system's progress bars do.
    void StepProgress();
    void ConnectVerification();
    // Classic checks walk the tree's selection folder by folder, each
    // folder's list shown while its links are checked; current ones check
    // every link of the collection at once, each URL read anew from its
    // shortcut first as filling the list would (an EFileError for one that
    // cannot be read).
    void VerifyFolderByFolder();
    void VerifyAllAtOnce();
    void ConnectLinkCommands();

    TBookTreePtr FRoot;
    int FSortColumn = kSortColumnStart;
    int FSortDirection = kSortDirectionStart;
    bool FFolderChosen = false;
    bool FShown = false;
    // The window was closed during a command; it closes when that ends.
    bool FCloseRequested = false;
    // What the lists of both windows follow of the nodes' changes.
    LinkChanges* FLinkChanges = nullptr;
    std::unique_ptr<LinkTester> FTester;
    CommandState FCommand;
    TReportForm* ReportForm = nullptr;

    // Components; all owned through the widget tree.
    QWidget* PTVTree = nullptr;
    QTreeWidget* TVTree = nullptr;
    QSplitter* Splitter = nullptr;
    QWidget* PLayout = nullptr;
    QGroupBox* GroupBox = nullptr;
    QWidget* PLVList = nullptr;
    QTreeView* LVList = nullptr;
    LinkItems* LVListItems = nullptr;
    QFrame* StatusPanel = nullptr;
    QProgressBar* ProgressBar = nullptr;

    QPushButton* BVerifyOne = nullptr;
    QPushButton* BVerifyCurrent = nullptr;
    QPushButton* BVerifyAll = nullptr;
    QPushButton* BEditName = nullptr;
    QPushButton* BEditURL = nullptr;
    QPushButton* BReport = nullptr;
    QPushButton* BExit = nullptr;

    QMenu* PopupMenuTV = nullptr;
    QAction* PMCreateDir = nullptr;
    QAction* PMRenameDir = nullptr;
    QAction* PMDeleteDir = nullptr;

    QMenu* PopupMenuLV = nullptr;
    QAction* PMOpeninBrowser = nullptr;
    QAction* PMVerify = nullptr;
    QAction* PMRename = nullptr;
    QAction* PMEditURL = nullptr;
    QAction* PMCreateLink = nullptr;
    QAction* PMDelete = nullptr;
    QMenu* PMSetStatus = nullptr;
};

}  // namespace vornakle
