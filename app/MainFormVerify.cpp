// Link verification: the three commands that check links, all through the
// window's LinkTester.
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeView>
#include <QTreeWidget>

#include "app/MainForm.h"
#include "platform/ui/Application.h"
#include "report/BusyScope.h"
#include "report/LinkActions.h"
#include "store/Shortcut.h"
#include "store/widgets/BookTreeView.h"
#include "store/widgets/LinkChanges.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {

namespace {

// The next folder in the order the tree shows them: first child, else next
// sibling, else the next sibling of the nearest ancestor that has one.
QTreeWidgetItem* NextInPreOrder(QTreeWidgetItem* item) {
    if (item->childCount() > 0) {
        return item->child(0);
    }
    for (QTreeWidgetItem* current = item; current != nullptr; current = current->parent()) {
        QTreeWidgetItem* parent = current->parent();
        if (parent == nullptr) {
            QTreeWidget* tree = current->treeWidget();
            const int index = tree->indexOfTopLevelItem(current);
            return index + 1 < tree->topLevelItemCount() ? tree->topLevelItem(index + 1) : nullptr;
        }
        const int index = parent->indexOfChild(current);
        if (index + 1 < parent->childCount()) {
            return parent->child(index + 1);
        }
    }
    return nullptr;
}

}  // namespace

void TMainForm::ConnectVerification() {
    ConnectGuarded(BVerifyOne, &QPushButton::clicked, this, &TMainForm::BVerifyOneClick);
    ConnectGuarded(PMVerify, &QAction::triggered, this, &TMainForm::BVerifyOneClick);
    ConnectGuarded(BVerifyCurrent, &QPushButton::clicked, this, &TMainForm::BVerifyCurrentClick);
    ConnectGuarded(BVerifyAll, &QPushButton::clicked, this, &TMainForm::BVerifyAllClick);
}

void TMainForm::TestItem(LinkItems& Items, int Row) {
    if (Row >= 0 && Row < Items.Count()) {
        FTester->Test({Items.Node(Row)});
    }
}

void TMainForm::BVerifyOneClick() {
    const int row = SelectedLinkRow();
    if (row == kNoItem || Busy()) {
        return;
    }
    BusyScope busy(*this, ProgressBar);
    TestItem(*LVListItems, row);
}

void TMainForm::BVerifyCurrentClick() {
    if (Busy()) {
        return;
    }
    BusyScope busy(*this, ProgressBar);
    ProgressBar->setMaximum(LVListItems->Count());
    LVList->clearSelection();
    FTester->Test(LVListItems->Nodes(), [this](TBookTree*) { StepProgress(); });
}

void TMainForm::BVerifyAllClick() {
    if (Busy() || FRoot == nullptr) {
        return;
    }
    if (FTester->Settings().Rules == CheckRules::Classic) {
        VerifyFolderByFolder();
    } else {
        VerifyAllAtOnce();
    }
}

void TMainForm::VerifyFolderByFolder() {
    BusyScope busy(*this, ProgressBar);
    ProgressBar->setMaximum(FRoot->CountAll());
    QTreeWidgetItem* item = TVTree->topLevelItemCount() > 0 ? TVTree->topLevelItem(0) : nullptr;
    while (item != nullptr && !CancelRequested()) {
        {
            // The list is filled here, so that a shortcut that can no longer
            // be read ends the command with its message.
            const QSignalBlocker quiet(TVTree);
            TVTree->setCurrentItem(item);
        }
        TVTreeChange(item);
        FTester->Test(LVListItems->Nodes(), [this](TBookTree*) { StepProgress(); });
        StepProgress();  // the folder itself
        item = NextInPreOrder(item);
    }
}

void TMainForm::VerifyAllAtOnce() {
    // Read first: a shortcut that can no longer be read ends the command
    // with its message before any request goes out.
    const std::vector<TBookTree*> links = CollectLinks(*FRoot);
    for (TBookTree* link : links) {
        link->Text = ReadShortcutUrl(link->Path);
        FLinkChanges->Changed(link);
    }
    BusyScope busy(*this, ProgressBar);
    ProgressBar->setMaximum(static_cast<int>(links.size()));
    FTester->Test(links, [this](TBookTree*) { StepProgress(); });
}

}  // namespace vornakle
