#pragma once

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "check/CheckSettings.h"
#include "report/LinkOrdering.h"
#include "report/LinkTester.h"
#include "store/BookTree.h"

class QAction;
class QEventLoop;
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

struct AddressHistory;
class CheckEngine;
struct CheckResult;
class THttpClient;
class LinkItems;
class TReportForm;

// The main window: the folder tree on the left, the links of the selected
// folder on the right, the command buttons above them and the progress bar
// below. It owns the whole folder tree.
class TMainForm : public QWidget, public LinkTester {
    Q_OBJECT

public:
    // Runs FormCreate: asks for the Favorites directory and scans it.
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
    // Checks the link of a row of Items (either window's list) with one HEAD
    // request and files the reply number, or kStatusUnknown when there is no
    // usable one.
    // Never throws for network or protocol failures. While a check is under
    // way a second one does nothing: the one client serves one request.
    void TestItem(LinkItems& Items, int Row) override;
    void BVerifyOneClick();
    void BVerifyCurrentClick();
    void BVerifyAllClick();
    // A check is waiting for the network.
    bool CheckRunning() const override { return FCheckRunning; }
    // Ends the request under way at once; its link keeps the status it had.
    void AbortCheck() override;
    // How long a check waits for a lookup, a connect or the next data
    // (kDefaultTimeOutMilliseconds until changed).
    void SetCheckTimeOut(int milliseconds);
    bool ChecksManyAtOnce() const override { return FCheckSettings.Rules == CheckRules::Current; }
    void TestItems(LinkItems& Items, const std::function<void()>& Step) override;
    // Under current rules the checks join the history of checks in this
    // file, and the status tooltip shows a link's run of failures; empty (the
    // default): no history.
    void KeepHistoryIn(const std::string& Path) { FHistoryPath = Path; }
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
    bool CancelRequested() const { return FCancel; }
    bool Busy() const { return FBusy; }
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
    // Enter (13) renames, Insert (45) creates, Delete (46) deletes.
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
    // ---- Checks of many links at once (MainFormParallelVerify.cpp) ----
    // Runs the engine over the nodes' links until every result is in or the
    // command is cancelled; each result is filed on its node and shown in
    // whichever list shows the node, and Step runs after it.
    void CheckLinksAtOnce(const std::vector<TBookTree*>& Nodes, const std::function<void()>& Step);
    // History: what the history of checks knows of the link after it; null
    // without one.
    void FileResult(TBookTree* Node, const CheckResult& Result, const AddressHistory* History);
    // Shows the node's status (and its URL, which the check may have read
    // anew) in every list that shows it; Image overrides the status image.
    void ShowNodeInLists(TBookTree* Node, int Image = -1);
    // Every link of the collection, each folder's links before its
    // subfolders, every URL read anew from its shortcut as filling the list
    // would. Throws EFileError for a shortcut that cannot be read.
    std::vector<TBookTree*> AllLinksReadAnew() const;
    void VerifyAllAtOnce();
    // ---- end of checks at once ----
    void ConnectLinkCommands();

    TBookTreePtr FRoot;
    bool FCancel = false;
    int FSortColumn = kSortColumnStart;
    int FSortDirection = kSortDirectionStart;
    bool FFolderChosen = false;
    bool FShown = false;
    bool FBusy = false;
    // The window was closed during a command; it closes when that ends.
    bool FCloseRequested = false;
    bool FCheckRunning = false;
    bool FCheckAborted = false;
    THttpClient* HttpClient = nullptr;
    CheckSettings FCheckSettings;
    std::string FHistoryPath;
    // The running engine and the loop that waits for it; null when none runs.
    CheckEngine* FEngine = nullptr;
    QEventLoop* FEngineLoop = nullptr;
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
