// Link verification: one HEAD request per link through the window's one HTTP
// client, with the three commands that drive it.
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeView>
#include <QTreeWidget>

#include "app/MainForm.h"
#include "check/CheckEngine.h"
#include "check/CheckSettings.h"
#include "check/LinkCheck.h"
#include "http/HttpClient.h"
#include "platform/ui/Application.h"
#include "report/BusyScope.h"
#include "report/LinkActions.h"
#include "store/LinkStatus.h"
#include "store/widgets/BookTreeView.h"
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
    HttpClient = new THttpClient(this);
    HttpClient->setObjectName(QStringLiteral("HttpClient"));
    HttpClient->Port = 0;
    HttpClient->ReportLevel = 0;
    // A link check must never wait without end on a host that does not
    // answer: every lookup, connect and read waits this long at most.
    HttpClient->TimeOut = kDefaultTimeOutMilliseconds;

    ConnectGuarded(BVerifyOne, &QPushButton::clicked, this, &TMainForm::BVerifyOneClick);
    ConnectGuarded(PMVerify, &QAction::triggered, this, &TMainForm::BVerifyOneClick);
    ConnectGuarded(BVerifyCurrent, &QPushButton::clicked, this, &TMainForm::BVerifyCurrentClick);
    ConnectGuarded(BVerifyAll, &QPushButton::clicked, this, &TMainForm::BVerifyAllClick);
}

void TMainForm::TestItem(LinkItems& Items, int Row) {
    if (FCheckRunning || Row < 0 || Row >= Items.Count()) {
        return;
    }
    if (ChecksManyAtOnce()) {
        CheckLinksAtOnce({Items.Item(Row).Node}, {});
        return;
    }
    TBookTree* node = Items.Item(Row).Node;
    const std::int32_t before = node->Status;
    Items.Item(Row).ImageIndex = kImageBeingTested;
    Items.ItemChanged(Row);

    FCheckRunning = true;
    FCheckAborted = false;
    const std::int32_t status = CheckLink(*HttpClient, node->Text).Status;
    FCheckRunning = false;
    // A check the user cancelled has found nothing out about the link.
    node->Status = FCheckAborted ? before : status;
    FCheckAborted = false;

    // The user may have re-sorted the list while waiting.
    const int row = Items.IndexOfNode(node);
    if (row >= 0) {
        ShowLinkStatus(Items, row);
    }
}

void TMainForm::SetCheckTimeOut(int milliseconds) {
    HttpClient->TimeOut = milliseconds;
    FCheckSettings.TimeOutMilliseconds = milliseconds;
}

void TMainForm::AbortCheck() {
    if (FEngine != nullptr) {
        FCheckAborted = true;
        FEngine->Stop();
        FEngine = nullptr;
        FEngineLoop->quit();
        return;
    }
    if (FCheckRunning) {
        FCheckAborted = true;
        HttpClient->Abort();
    }
}

void TMainForm::BVerifyOneClick() {
    const int row = SelectedLinkRow();
    if (row == kNoItem || FBusy) {
        return;
    }
    BusyScope busy(*this, ProgressBar);
    TestItem(*LVListItems, row);
}

void TMainForm::BVerifyCurrentClick() {
    if (FBusy) {
        return;
    }
    BusyScope busy(*this, ProgressBar);
    const int count = LVListItems->Count();
    ProgressBar->setMaximum(count);
    LVList->clearSelection();
    if (ChecksManyAtOnce()) {
        std::vector<TBookTree*> nodes;
        nodes.reserve(static_cast<std::size_t>(count));
        for (const LinkItem& item : LVListItems->Items()) {
            nodes.push_back(item.Node);
        }
        CheckLinksAtOnce(nodes, [this] { StepProgress(); });
        return;
    }
    for (int index = 0; index < count && !FCancel; ++index) {
        TestItem(*LVListItems, index);
        StepProgress();
    }
}

void TMainForm::BVerifyAllClick() {
    if (FBusy || FRoot == nullptr) {
        return;
    }
    if (ChecksManyAtOnce()) {
        VerifyAllAtOnce();
        return;
    }
    BusyScope busy(*this, ProgressBar);
    ProgressBar->setMaximum(FRoot->CountAll());
    QTreeWidgetItem* item = TVTree->topLevelItemCount() > 0 ? TVTree->topLevelItem(0) : nullptr;
    while (item != nullptr && !FCancel) {
        {
            // The list is filled here, so that a shortcut that can no longer
            // be read ends the command with its message.
            const QSignalBlocker quiet(TVTree);
            TVTree->setCurrentItem(item);
        }
        TVTreeChange(item);
        const int count = LVListItems->Count();
        for (int index = 0; index < count && !FCancel; ++index) {
            TestItem(*LVListItems, index);
            StepProgress();
        }
        StepProgress();  // the folder itself
        item = NextInPreOrder(item);
    }
}

}  // namespace vornakle
