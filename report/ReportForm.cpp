#include "report/ReportForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>

#include "platform/ui/Application.h"
#include "report/BusyScope.h"
#include "report/KeyHandler.h"
#include "report/LinkActions.h"
#include "report/LinkListView.h"
#include "report/LinkOrdering.h"
#include "report/LinkTester.h"
#include "report/StatusMenu.h"
#include "store/BookTree.h"
#include "store/LinkStatus.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {

namespace {

// Geometry in pixels at 96 dots per inch; Qt scales it on high-DPI screens.
constexpr int kClientWidth = 511;
constexpr int kClientHeight = 433;
constexpr int kButtonWidth = 105;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 7;  // between the list panel and the buttons
constexpr int kSecondButtonLeft = 112;
constexpr int kProgressWidth = 399;
constexpr qreal kFontPoints = 8.0;

}  // namespace

TReportForm::TReportForm(LinkTester& tester, LinkChanges& changes, QWidget* parent)
    : QDialog(parent), Tester(tester), FCommand(tester) {
    setObjectName(QStringLiteral("ReportForm"));
    setWindowTitle(QStringLiteral("ReportForm"));
    // No title-bar buttons: the window closes through "&OK" only, which the
    // busy layout hides.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    QFont designFont = font();
    designFont.setPointSizeF(kFontPoints);
    setFont(designFont);
    BuildComponents(changes);
    BuildMenu();
    ConnectEvents();
    resize(kClientWidth, kClientHeight);
}

void TReportForm::BuildComponents(LinkChanges& Changes) {
    Panel = new QWidget(this);
    Panel->setObjectName(QStringLiteral("Panel"));
    const LinkListView list = NewLinkListView(QStringLiteral("LVReport"), Panel, FSortColumn,
                                              FSortDirection, Changes, Tester.Settings().Rules);
    LVReport = list.view;
    LVReportItems = list.items;
    InstallKeyHandler(LVReport, [this](int key) {
        if (!IsCommandKey(key)) {
            return false;
        }
        GuardHandler([this, key] { LVReportKeyDown(key); });
        return true;
    });

    const auto newButton = [this](const char* name, const char* caption) {
        auto* button = new QPushButton(QString::fromUtf8(caption), this);
        button->setObjectName(QString::fromUtf8(name));
        button->setAutoDefault(false);
        return button;
    };
    BOK = newButton("BOK", "&OK");
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setEnabled(false);
    BVerifyAll = newButton("BVerifyAll", "Verify All &Links");
    BCancel = newButton("BCancel", "&Cancel");
    BCancel->hide();
    // The button and the bar share the place right of "&OK": the button lies
    // over the left end of the idle bar.
    BVerifyAll->raise();
}

void TReportForm::BuildMenu() {
    PopupMenuLV = new QMenu(this);
    PopupMenuLV->setObjectName(QStringLiteral("PopupMenuLV"));
    const auto addItem = [this](const char* name, const char* caption) {
        QAction* action = PopupMenuLV->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromUtf8(name));
        return action;
    };
    PMOpeninBrowser = addItem("PMOpeninBrowser", "&Open in Browser");
    PMVerify = addItem("PMVerify", "&Verify");
    PMRename = addItem("PMRename", "&Rename");
    PMEditURL = addItem("PMEditURL", "&Edit URL");
    PMDelete = addItem("PMDelete", "&Delete");
    PopupMenuLV->setDefaultAction(PMOpeninBrowser);
    PMSetStatus = AddStatusMenu(PopupMenuLV, this, [this](int tag) {
        GuardHandler([this, tag] { PMSetStatusClick(tag); });
    });
}

void TReportForm::ConnectEvents() {
    ConnectGuarded(PMOpeninBrowser, &QAction::triggered, this, &TReportForm::PMOpeninBrowserClick);
    ConnectGuarded(PMVerify, &QAction::triggered, this, &TReportForm::PMVerifyClick);
    ConnectGuarded(PMRename, &QAction::triggered, this, &TReportForm::PMRenameClick);
    ConnectGuarded(PMEditURL, &QAction::triggered, this, &TReportForm::PMEditURLClick);
    ConnectGuarded(PMDelete, &QAction::triggered, this, &TReportForm::PMDeleteClick);
    connect(BOK, &QPushButton::clicked, this, &QDialog::accept);
    ConnectGuarded(BVerifyAll, &QPushButton::clicked, this, &TReportForm::BVerifyAllClick);
    ConnectGuarded(BCancel, &QPushButton::clicked, this, &TReportForm::BCancelClick);
    ConnectGuarded(LVReport->header(), &QHeaderView::sectionClicked, this,
                   [this](int column) { LVReportColumnClick(column); });
    ConnectGuarded(LVReport, &QTreeView::doubleClicked, this, &TReportForm::PMOpeninBrowserClick);
    connect(LVReport, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        PopupMenuLV->popup(LVReport->viewport()->mapToGlobal(position));
    });
}

void TReportForm::LayOut() {
    const int buttonTop = height() - kButtonHeight;
    Panel->setGeometry(0, 0, width(), buttonTop - kButtonGap);
    LVReport->setGeometry(Panel->rect());
    BOK->setGeometry(0, buttonTop, kButtonWidth, kButtonHeight);
    BCancel->setGeometry(0, buttonTop, kButtonWidth, kButtonHeight);
    BVerifyAll->setGeometry(kSecondButtonLeft, buttonTop, kButtonWidth, kButtonHeight);
    ProgressBar->setGeometry(kSecondButtonLeft, buttonTop, kProgressWidth, kButtonHeight);
}

void TReportForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOut();
}

void TReportForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    GuardHandler([this] { FormShow(); });
}

void TReportForm::FormShow() {
    FSortColumn = kSortColumnStart;
    FSortDirection = kSortDirectionStart;
    SortByColumn(*LVReportItems, LinkItems::kColumnName, FSortColumn, FSortDirection);
}

void TReportForm::closeEvent(QCloseEvent* event) {
    // Only "&OK" closes the window, and only when it is idle.
    if (FCommand.Busy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TReportForm::keyPressEvent(QKeyEvent* event) {
    // Escape would close the window in the middle of a check.
    if (event->key() == Qt::Key_Escape && FCommand.Busy()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TReportForm::LVReportKeyDown(int Key) {
    if (IsEnterKey(Key)) {
        PMOpeninBrowserClick();
    } else if (Key == Qt::Key_Insert) {
        PMVerifyClick();
    } else if (Key == Qt::Key_Delete) {
        PMDeleteClick();
    }
}

void TReportForm::LVReportColumnClick(int Column) {
    SortByColumn(*LVReportItems, Column, FSortColumn, FSortDirection);
}

int TReportForm::SelectedRow() const {
    const QModelIndexList selected = LVReport->selectionModel()->selectedRows();
    return selected.isEmpty() ? kNoItem : selected.first().row();
}

void TReportForm::RemoveWhenFine(const TBookTree* Node) {
    if (!IsReported(Node->Standing())) {
        LVReportItems->Remove(LVReportItems->IndexOfNode(Node));
    }
}

void TReportForm::SetViewOnly(bool ViewOnly) {
    FViewOnly = ViewOnly;
    ApplyViewOnly();
}

void TReportForm::ApplyViewOnly() {
    const bool changes = !FViewOnly;
    for (QAction* action : {PMVerify, PMRename, PMEditURL, PMDelete}) {
        action->setEnabled(changes);
    }
    PMSetStatus->setEnabled(changes);
    BVerifyAll->setEnabled(changes);
}

void TReportForm::EnableControls(bool Enabled) {
    FCommand.SetBusy(!Enabled);
    BOK->setEnabled(Enabled);
    BOK->setVisible(Enabled);
    Panel->setEnabled(Enabled);
    BCancel->setEnabled(!Enabled);
    BCancel->setVisible(!Enabled);
    BVerifyAll->setVisible(Enabled);
    ProgressBar->setVisible(!Enabled);
}

void TReportForm::PMOpeninBrowserClick() {
    OpenInBrowser(this, *LVReportItems, SelectedRow());
}

void TReportForm::PMVerifyClick() {
    const int row = SelectedRow();
    if (row == kNoItem || FViewOnly || FCommand.Busy()) {
        return;
    }
    const BusyScope busy(*this, ProgressBar);
    TBookTree* node = LVReportItems->Node(row);
    Tester.Test({node});
    RemoveWhenFine(node);
}

void TReportForm::PMRenameClick() {
    if (!FViewOnly) {
        RenameLink(*LVReportItems, SelectedRow());
    }
}

void TReportForm::PMEditURLClick() {
    if (!FViewOnly) {
        EditLinkURL(*LVReportItems, SelectedRow());
    }
}

void TReportForm::PMDeleteClick() {
    if (!FViewOnly) {
        DeleteLink(*LVReportItems, SelectedRow());
    }
}

void TReportForm::PMSetStatusClick(int Tag) {
    const int row = SelectedRow();
    if (row == kNoItem || FViewOnly) {
        return;
    }
    TBookTree* node = LVReportItems->Node(row);
    SetLinkStatus(Tag, *LVReportItems, row);
    RemoveWhenFine(node);
}

void TReportForm::BVerifyAllClick() {
    if (FViewOnly || FCommand.Busy()) {
        return;
    }
    const BusyScope busy(*this, ProgressBar);
    ProgressBar->setMaximum(LVReportItems->Count());
    ProgressBar->setValue(0);
    // A link that comes back fine leaves the list at once; the rows of the
    // others are found by their nodes, wherever they have moved.
    Tester.Test(LVReportItems->Nodes(), [this](TBookTree* node) {
        ProgressBar->setValue(std::min(ProgressBar->value() + 1, ProgressBar->maximum()));
        RemoveWhenFine(node);
    });
}

void TReportForm::BCancelClick() {
    // The request under way ends now rather than at its time-out.
    FCommand.Cancel();
}

}  // namespace vornakle
