// The folder commands of the main window: create, rename in place and delete
// folders, and move links and folders by drag and drop onto a folder.
//
// Every command changes three things: the directory tree on disk, the folder
// nodes and the tree view. The disk goes first, and the nodes and the view
// follow only what the disk really did, so that every node's Path keeps
// naming what is on disk.

#include <QAction>
#include <QSignalBlocker>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <optional>
#include <vector>

#include "app/DoubleClickFilter.h"
#include "app/FolderNameDelegate.h"
#include "app/LinkDragStarter.h"
#include "app/MainForm.h"
#include "app/TreeDropFilter.h"
#include "platform/Collation.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/TextDecoding.h"
#include "platform/ui/Application.h"
#include "platform/ui/Dialogs.h"
#include "report/KeyHandler.h"
#include "report/LinkActions.h"
#include "store/LinkStatus.h"
#include "store/widgets/BookTreeView.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {

namespace {

const QString kCreateTitle = QStringLiteral("Neues Verzeichnis erstellen");
const QString kCreatePrompt =
    QStringLiteral("Bitte geben sie den Namen des neuen Verzeichnisses an:");
const QString kDirectoryExists = QStringLiteral("Dieses Verzeichnis existiert bereits!");
const QString kDeleteQuestion = QStringLiteral("Möchten sie wirklich diese Verzeichnis Löschen?");
const QString kLinkNameTaken =
    QStringLiteral("Es befindet sich bereits eine Datei\rmit dem selben Namen im Zielverzeichnis!");
const QString kFolderNameTaken = QStringLiteral(
    "Es befindet sich bereits ein Verzeichnis oder eine Datei\rmit dem selben "
    "Namen im Zielverzeichnis!");
const QString kInvalidFolderName = QStringLiteral(
    "Ein Verzeichnisname darf kein \"/\" enthalten und nicht \".\" oder "
    "\"..\" lauten!");
const QString kRootNotDeletable =
    QStringLiteral("Das Verzeichnis der Favoriten selbst kann nicht gelöscht werden!");
const QString kIntoItself = QStringLiteral(
    "Ein Verzeichnis kann nicht in sich selbst oder in eines seiner "
    "Unterverzeichnisse verschoben werden!");
const QString kCreateFailed = QStringLiteral("Das Verzeichnis konnte nicht erstellt werden:\r");
const QString kRenameFailed = QStringLiteral("Das Verzeichnis konnte nicht umbenannt werden:\r");
const QString kDeleteFailed =
    QStringLiteral("Das Verzeichnis konnte nicht in den Papierkorb verschoben werden:\r");
const QString kMoveFailed = QStringLiteral("Das Verschieben ist fehlgeschlagen:\r");

void ShowMessage(const QString& text) {
    CurrentDialogs().ShowMessage(text);
}

// A name that would reach outside its parent directory ("a/b", "..", "."),
// or that the file system cannot store (a NUL byte ends a path early), names
// no folder of the collection. An empty name is left to the existence check,
// which finds the parent's own directory.
bool IsForbiddenFolderName(const std::string& name) {
    return name == "." || name == ".." || !IsPlainFileName(name);
}

bool HasChildNamed(const TBookTree* folder, const std::string& name) {
    for (int index = 0; index < folder->Count(); ++index) {
        if (LastPathPart(folder->Child(index)->Path) == name) {
            return true;
        }
    }
    return false;
}

bool IsWithin(const TTree* node, const TTree* ancestor) {
    for (; node != nullptr; node = node->Parent) {
        if (node == ancestor) {
            return true;
        }
    }
    return false;
}

bool IsItemWithin(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
    for (; item != nullptr; item = item->parent()) {
        if (item == ancestor) {
            return true;
        }
    }
    return false;
}

void ExpandSubtree(QTreeWidgetItem* item) {
    item->setExpanded(true);
    for (int index = 0; index < item->childCount(); ++index) {
        ExpandSubtree(item->child(index));
    }
}

// Makes item the current one without telling anybody: the callers put back a
// selection that taking items out of the view had moved for a moment.
void SelectQuietly(QTreeWidget* tree, QTreeWidgetItem* item) {
    const QSignalBlocker blocker(tree);
    tree->setCurrentItem(item);
}

// Orders the children of item by caption, in the user's locale order
// (case-sensitive, the collation CompareStringLocale uses; the captions are
// compared as shown). Returns whether anything moved.
bool SortChildren(QTreeWidgetItem* item) {
    std::vector<QTreeWidgetItem*> sorted;
    for (int index = 0; index < item->childCount(); ++index) {
        sorted.push_back(item->child(index));
    }
    const Collation& collation = SystemCollation();
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](const QTreeWidgetItem* first, const QTreeWidgetItem* second) {
                         return collation.Compare(first->text(0), second->text(0)) < 0;
                     });
    bool moved = false;
    for (int index = 0; index < static_cast<int>(sorted.size()); ++index) {
        if (item->child(index) != sorted[static_cast<std::size_t>(index)]) {
            item->insertChild(
                index,
                item->takeChild(item->indexOfChild(sorted[static_cast<std::size_t>(index)])));
            moved = true;
        }
    }
    for (QTreeWidgetItem* child : sorted) {
        moved = SortChildren(child) || moved;
    }
    return moved;
}

// Sorts every level of the tree view. The toolkit's own sort compares texts
// in its own way, so the items are reordered here. The selection and the
// link list stay as they are: moving an item out and back in shifts the
// current item for a moment, which nobody is told of, and it is put back.
void SortTreeView(QTreeWidget* tree) {
    QTreeWidgetItem* current = tree->currentItem();
    bool moved = false;
    {
        const QSignalBlocker blocker(tree);
        for (int index = 0; index < tree->topLevelItemCount(); ++index) {
            moved = SortChildren(tree->topLevelItem(index)) || moved;
        }
    }
    if (moved) {
        SelectQuietly(tree, current);
        // Items taken out and put back come back collapsed; folders never are.
        for (int index = 0; index < tree->topLevelItemCount(); ++index) {
            ExpandSubtree(tree->topLevelItem(index));
        }
    }
}

// The outcome of moving a link's file or a folder's directory into a folder.
struct DiskMove {
    bool moved = false;
    std::string path;  // where it is now
    QString note;      // something the user must still be told
};

// Moves path into targetDirectory. The caller has made sure the name is free
// there; should it have been taken since, the move picks a free name, and the
// path returned is what the caller must learn.
DiskMove MoveIntoFolder(const std::string& path, const std::string& targetDirectory) {
    DiskMove outcome;
    try {
        outcome.path = ShellMovePath(path, targetDirectory);
        outcome.moved = true;
    } catch (const EOriginalNotRemoved& failure) {
        // The copy at the target is whole and is what counts as moved; the
        // user learns what is left at the old place. The name was free, so
        // the copy has it.
        outcome.path = JoinPath(targetDirectory, LastPathPart(path));
        outcome.moved = true;
        outcome.note = DisplayText(failure.Message());
    } catch (const EFileError& failure) {
        ShowMessage(kMoveFailed + DisplayText(failure.Message()));
    }
    return outcome;
}

}  // namespace

void TMainForm::ConnectFolderCommands() {
    ConnectGuarded(PMCreateDir, &QAction::triggered, this, &TMainForm::PMCreateDirClick);
    ConnectGuarded(PMRenameDir, &QAction::triggered, this, &TMainForm::PMRenameDirClick);
    ConnectGuarded(PMDeleteDir, &QAction::triggered, this, &TMainForm::PMDeleteDirClick);

    auto* delegate = new FolderNameDelegate(TVTree);
    InstallKeyHandler(TVTree, [this, delegate](int key) {
        if (!IsCommandKey(key) || delegate->IsEditing()) {
            return false;
        }
        GuardHandler([this, key] { TVTreeKeyDown(key); });
        return true;
    });
    TVTree->viewport()->installEventFilter(
        new DoubleClickFilter(TVTree, [this] { GuardHandler([this] { PMRenameDirClick(); }); }));

    // Editing starts only through PMRenameDirClick, which asks TVTreeEditing.
    TVTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TVTree->setItemDelegate(delegate);
    // Connected after the view's own handler, so the editor is gone when the
    // rename runs.
    ConnectGuarded(delegate, &QAbstractItemDelegate::closeEditor, this, [this, delegate] {
        const std::optional<FolderNameDelegate::Edit> edit = delegate->TakeConfirmed();
        if (edit) {
            QString text = edit->text;
            TVTreeEdited(edit->item, text);
        }
    });

    TVTree->viewport()->setAcceptDrops(true);
    TVTree->viewport()->installEventFilter(new TreeDropFilter(
        TVTree,
        [this](QObject* source) {
            bool accept = false;
            TVTreeDragOver(source, accept);
            return accept;
        },
        [this](QObject* source, const QPoint& point) {
            GuardHandler([&] { TVTreeDragDrop(source, point); });
        }));
    LVList->viewport()->installEventFilter(new LinkDragStarter(LVList));
}

void TMainForm::TVTreeKeyDown(int Key) {
    if (IsEnterKey(Key)) {
        PMRenameDirClick();
    } else if (Key == Qt::Key_Insert) {
        PMCreateDirClick();
    } else if (Key == Qt::Key_Delete) {
        PMDeleteDirClick();
    }
}

void TMainForm::PMCreateDirClick() {
    QTreeWidgetItem* parentItem = TVTree->currentItem();
    if (parentItem == nullptr) {
        parentItem = TVTree->topLevelItem(0);
    }
    TBookTree* parent = FolderNodeOf(parentItem);
    if (parent == nullptr) {
        return;  // no tree after a failed scan
    }
    const std::optional<QString> entered =
        CurrentDialogs().InputBox(kCreateTitle, kCreatePrompt, QString());
    if (!entered) {
        return;
    }
    const std::string name = FileNameBytes(*entered);
    if (IsForbiddenFolderName(name)) {
        ShowMessage(kInvalidFolderName);
        return;
    }
    const std::string newPath = JoinPath(parent->Path, name);
    if (DirectoryExists(newPath)) {
        ShowMessage(kDirectoryExists);
        return;
    }
    try {
        CreateDirectory(newPath);
    } catch (const EDirectoryExists&) {
        // Made by someone else since the look above.
        ShowMessage(kDirectoryExists);
        return;
    } catch (const EFileError& failure) {
        ShowMessage(kCreateFailed + DisplayText(failure.Message()));
        return;
    }
    TBookTree* node = parent->AddNode(nullptr);
    node->Path = newPath;
    node->Status = kStatusFolder;
    // The directory's name, from which the item takes its caption: the
    // caption shows what the file system holds.
    node->Text = name;
    AddTreeItems(node, parentItem, TVTree);
    SortTreeView(TVTree);
}

void TMainForm::PMRenameDirClick() {
    QTreeWidgetItem* item = TVTree->currentItem();
    if (item == nullptr) {
        return;
    }
    bool allowEdit = true;
    TVTreeEditing(item, allowEdit);
    if (!allowEdit) {
        return;
    }
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    auto* delegate = static_cast<FolderNameDelegate*>(TVTree->itemDelegate());
    delegate->BeginEdit(item, TVTree->currentIndex());
    TVTree->editItem(item);
}

void TMainForm::TVTreeEditing(QTreeWidgetItem* Node, bool& AllowEdit) {
    // The root is the collection itself: its caption is not a directory name.
    AllowEdit = Node != nullptr && Node != TVTree->topLevelItem(0);
}

void TMainForm::TVTreeEdited(QTreeWidgetItem* Node, QString& S) {
    TBookTree* node = FolderNodeOf(Node);
    if (node == nullptr || Node->parent() == nullptr) {
        return;
    }
    const QString caption = Node->text(0);
    const std::string name = FileNameBytes(S);
    if (IsForbiddenFolderName(name)) {
        S = caption;
        ShowMessage(kInvalidFolderName);
        return;
    }
    const std::string newPath = DirectoryWithSeparator(node->Path) + name;
    // The unchanged name and the empty one name existing directories too.
    if (DirectoryExists(newPath)) {
        S = caption;
        ShowMessage(kDirectoryExists);
        return;
    }
    try {
        MovePathNoReplace(node->Path, newPath);
    } catch (const EFileError& failure) {
        S = caption;
        ShowMessage(kRenameFailed + DisplayText(failure.Message()));
        return;
    }
    // The link list keeps its items: their nodes get the new paths here.
    for (int index = 0; index < node->Count(); ++index) {
        node->Child(index)->RebasePath(newPath);
    }
    node->Path = newPath;
    S = DisplayFileName(name);
    Node->setText(0, S);
    SortTreeView(TVTree);
}

void TMainForm::PMDeleteDirClick() {
    QTreeWidgetItem* item = TVTree->currentItem();
    TBookTree* node = FolderNodeOf(item);
    if (node == nullptr) {
        return;
    }
    // The root is the window's whole collection: without it there would be
    // nothing left to show, so the question is not even asked.
    if (item->parent() == nullptr) {
        ShowMessage(kRootNotDeletable);
        return;
    }
    if (!CurrentDialogs().Confirm(kDeleteQuestion)) {
        return;
    }
    QString note;
    try {
        ShellDeletePath(node->Path);
    } catch (const EOriginalNotRemoved& failure) {
        // The trash holds all of it; what could not be removed stays on disk
        // and is named to the user.
        note = DisplayText(failure.Message());
    } catch (const EFileError& failure) {
        ShowMessage(kDeleteFailed + DisplayText(failure.Message()));
        return;
    }
    // The view selects another folder as the item goes, which fills the list
    // with that folder's links before the nodes below are freed.
    delete item;
    const std::vector<TBookTree*>& listed = LVListItems->Nodes();
    if (std::any_of(listed.begin(), listed.end(),
                    [node](const TBookTree* link) { return IsWithin(link, node); })) {
        TVTreeChange(TVTree->currentItem());
    }
    node->Delete(ChildNodes::Free);
    if (!note.isEmpty()) {
        ShowMessage(note);
    }
}

void TMainForm::TVTreeDragOver(QObject* Source, bool& Accept) {
    Accept = Source != nullptr && (Source == LVList || Source == TVTree);
}

void TMainForm::TVTreeDragDrop(QObject* Source, const QPoint& Point) {
    QTreeWidgetItem* target = TVTree->itemAt(Point);
    if (FolderNodeOf(target) == nullptr) {
        return;
    }
    if (Source == TVTree) {
        MoveFolderOnto(target);
    } else if (Source == LVList) {
        MoveLinkOnto(target);
    }
}

void TMainForm::MoveFolderOnto(QTreeWidgetItem* Target) {
    QTreeWidgetItem* dragged = TVTree->currentItem();
    TBookTree* moved = FolderNodeOf(dragged);
    TBookTree* targetNode = FolderNodeOf(Target);
    if (moved == nullptr || dragged == Target) {
        return;
    }
    // The root has no parent to leave, and every other folder is below it.
    if (dragged->parent() == nullptr || IsItemWithin(Target, dragged)) {
        ShowMessage(kIntoItself);
        return;
    }
    if (dragged->parent() == Target) {
        return;  // it is there already
    }
    const std::string oldPath = moved->Path;
    const std::string name = LastPathPart(oldPath);
    if (HasChildNamed(targetNode, name) || PathExists(JoinPath(targetNode->Path, name))) {
        ShowMessage(kFolderNameTaken);
        return;
    }
    const DiskMove disk = MoveIntoFolder(oldPath, targetNode->Path);
    if (!disk.moved) {
        return;
    }
    // Every path below follows the directory to the place, and the name,
    // it really has now.
    moved->ReplacePathHead(disk.path, oldPath.size() + 1);
    targetNode->AddNode(moved);
    {
        const QSignalBlocker blocker(TVTree);
        QTreeWidgetItem* oldParent = dragged->parent();
        oldParent->takeChild(oldParent->indexOfChild(dragged));
        Target->addChild(dragged);
        dragged->setText(0, DisplayFileName(LastPathPart(disk.path)));
    }
    // The dragged folder was selected when the drag began and the list shows
    // its links, whose nodes now have their new paths.
    SelectQuietly(TVTree, dragged);
    ExpandSubtree(Target);
    SortTreeView(TVTree);
    if (!disk.note.isEmpty()) {
        ShowMessage(disk.note);
    }
}

void TMainForm::MoveLinkOnto(QTreeWidgetItem* Target) {
    const int row = SelectedLinkRow();
    if (row == kNoItem) {
        return;
    }
    TBookTree* moved = LVListItems->Node(row);
    TBookTree* targetNode = FolderNodeOf(Target);
    const std::string name = LastPathPart(moved->Path);
    // Onto its own folder the link finds itself here, and is refused.
    if (HasChildNamed(targetNode, name) || PathExists(JoinPath(targetNode->Path, name))) {
        ShowMessage(kLinkNameTaken);
        return;
    }
    const DiskMove disk = MoveIntoFolder(moved->Path, targetNode->Path);
    if (!disk.moved) {
        return;
    }
    LVListItems->Remove(row);
    moved->Path = disk.path;
    targetNode->AddNode(moved);
    if (!disk.note.isEmpty()) {
        ShowMessage(disk.note);
    }
}

}  // namespace vornakle
