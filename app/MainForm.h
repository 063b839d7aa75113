#pragma once

#include <QWidget>

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

class TLinkItems;

// The main window: the folder tree on the left, the links of the selected
// folder on the right, the command buttons above them and the progress bar
// below. It owns the whole folder tree.
class TMainForm : public QWidget {
    Q_OBJECT

public:
    // Runs FormCreate: asks for the Favorites directory and scans it.
    explicit TMainForm(QWidget* parent = nullptr);
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

    // The running command's cancel request.
    bool CancelRequested() const { return FCancel; }
    TBookTree* Root() const { return FRoot.get(); }
    // The folder node of the selected tree item; null when there is none.
    TBookTree* SelectedFolder() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildComponents();
    void BuildButtons();
    void BuildMenus();
    void ConnectEvents();
    void SetTabOrder();

    // ---- Folder commands and drag-and-drop (MainFormFolders.cpp) ----
    // Wires the tree view's menu, keys, in-place editing and drops.
    void ConnectFolderCommands();
    // ---- end of folder commands ----

    void FormCreate();
    void FormShow();
    void FormDestroy();
    void TVTreeCollapsing(QTreeWidgetItem* Node);
    void LVListColumnClick(int Column);

    TBookTreePtr FRoot;
    bool FCancel = false;
    int FSortColumn = 1;
    int FSortDirection = 1;
    bool FFolderChosen = false;
    bool FShown = false;

    // Components; all owned through the widget tree.
    QWidget* PTVTree = nullptr;
    QTreeWidget* TVTree = nullptr;
    QSplitter* Splitter = nullptr;
    QWidget* PLayout = nullptr;
    QGroupBox* GroupBox = nullptr;
    QWidget* PLVList = nullptr;
    QTreeView* LVList = nullptr;
    TLinkItems* LVListItems = nullptr;
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
    QAction* PMSSOK = nullptr;
    QAction* PMSSNotTested = nullptr;
    QAction* PMSSInvalid = nullptr;
    QAction* PMSSUnknown = nullptr;
};

}  // namespace vornakle
