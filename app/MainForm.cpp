#include "app/MainForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/FavoritesFolder.h"
#include "platform/Paths.h"
#include "platform/ui/Application.h"
#include "platform/ui/Dialogs.h"
#include "report/LinkActions.h"
#include "report/LinkListView.h"
#include "report/LinkOrdering.h"
#include "report/ReportForm.h"
#include "report/StatusMenu.h"
#include "store/LinkStatus.h"
#include "store/Scan.h"
#include "store/widgets/BookTreeView.h"
#include "store/widgets/ImageList.h"
#include "store/widgets/LinkChanges.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {

namespace {

// Geometry in pixels at 96 dots per inch; Qt scales it on high-DPI screens.
constexpr QRect kStartGeometry(200, 112, 697, 480);
constexpr int kTreePanelWidth = 185;
constexpr int kSplitterWidth = 4;
constexpr QRect kGroupBoxGeometry(8, 8, 481, 97);
constexpr int kListPanelTop = 112;
constexpr int kStatusPanelHeight = 21;
constexpr int kTreeIndent = 19;
constexpr int kButtonWidth = 113;
constexpr qreal kButtonFontPoints = 7.5;

const QColor kIdleTextColour(0x00, 0x00, 0x00);
const QColor kBusyTextColour(0xC0, 0xC0, 0xC0);

const QString kExitCaption = QStringLiteral("&Exit");
const QString kCancelCaption = QStringLiteral("&Cancel");
const QString kRootCaption = QStringLiteral("Favoriten");
const QString kFolderPrompt = QStringLiteral("Bitte Verzeichnis mit Favoriten auswählen");

void SetTextColour(QWidget* view, const QColor& colour) {
    QPalette palette = view->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Text, colour);
    }
    view->setPalette(palette);
}

QWidget* NewPanel(const QString& name, QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    return panel;
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : TMainForm(CheckSettings(), parent) {}

TMainForm::TMainForm(const CheckSettings& Settings, QWidget* parent)
    : QWidget(parent),
      FLinkChanges(new LinkChanges(this)),
      FTester(std::make_unique<LinkTester>(Settings, *FLinkChanges)),
      FCommand(*FTester) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Vornakle"));
    setGeometry(kStartGeometry);
    BuildComponents();
    ConnectEvents();
    ConnectVerification();
    ConnectLinkCommands();
    ConnectFolderCommands();
    SetTabOrder();
    FormCreate();
}

TMainForm::~TMainForm() {
    FormDestroy();
}

void TMainForm::BuildComponents() {
    auto* windowLayout = new QVBoxLayout(this);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->setSpacing(0);

    Splitter = new QSplitter(Qt::Horizontal, this);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setHandleWidth(kSplitterWidth);
    Splitter->setChildrenCollapsible(false);
    windowLayout->addWidget(Splitter, 1);

    PTVTree = NewPanel(QStringLiteral("PTVTree"), Splitter);
    auto* treeLayout = new QVBoxLayout(PTVTree);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    TVTree = new QTreeWidget(PTVTree);
    TVTree->setObjectName(QStringLiteral("TVTree"));
    TVTree->setHeaderHidden(true);
    TVTree->setColumnCount(1);
    TVTree->setIndentation(kTreeIndent);
    TVTree->setRootIsDecorated(false);
    // Folders never collapse: the whole tree stays open.
    TVTree->setItemsExpandable(false);
    TVTree->setExpandsOnDoubleClick(false);
    TVTree->setIconSize(QSize(16, 16));
    TVTree->setSelectionMode(QAbstractItemView::SingleSelection);
    TVTree->setDragEnabled(true);
    TVTree->setContextMenuPolicy(Qt::CustomContextMenu);
    treeLayout->addWidget(TVTree);

    PLayout = NewPanel(QStringLiteral("PLayout"), Splitter);
    auto* layoutPanelLayout = new QVBoxLayout(PLayout);
    // The layout keeps a band above the list free for the button group, which
    // has a fixed place and size whatever the window's width.
    layoutPanelLayout->setContentsMargins(0, kListPanelTop, 0, 0);
    GroupBox = new QGroupBox(PLayout);
    GroupBox->setObjectName(QStringLiteral("GroupBox"));
    GroupBox->setGeometry(kGroupBoxGeometry);
    // The buttons have a fixed width that fits the longest caption, "Verify
    // &Available Links", at this font size: at a larger one it would be cut.
    QFont buttonFont = GroupBox->font();
    buttonFont.setPointSizeF(kButtonFontPoints);
    GroupBox->setFont(buttonFont);
    BuildButtons();

    PLVList = NewPanel(QStringLiteral("PLVList"), PLayout);
    auto* listLayout = new QVBoxLayout(PLVList);
    listLayout->setContentsMargins(0, 0, 0, 0);
    const LinkListView list =
        NewLinkListView(QStringLiteral("LVList"), PLVList, FSortColumn, FSortDirection,
                        *FLinkChanges, FTester->Settings().Rules);
    LVList = list.view;
    LVListItems = list.items;
    LVList->setDragEnabled(true);
    listLayout->addWidget(LVList);
    layoutPanelLayout->addWidget(PLVList, 1);

    Splitter->addWidget(PTVTree);
    Splitter->addWidget(PLayout);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);
    Splitter->setSizes({kTreePanelWidth, kStartGeometry.width() - kTreePanelWidth});

    StatusPanel = new QFrame(this);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusPanel->setFixedHeight(kStatusPanelHeight);
    auto* statusLayout = new QVBoxLayout(StatusPanel);
    statusLayout->setContentsMargins(1, 1, 1, 1);
    ProgressBar = new QProgressBar(StatusPanel);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    statusLayout->addWidget(ProgressBar);
    windowLayout->addWidget(StatusPanel);

    BuildMenus();
}

void TMainForm::BuildButtons() {
    struct ButtonDesign {
        QPushButton* TMainForm::*field;
        const char* name;
        const char* caption;
        int left;
        int top;
        int height;
    };
    const ButtonDesign designs[] = {
        {&TMainForm::BVerifyOne, "BVerifyOne", "&Verify Link", 16, 24, 25},
        {&TMainForm::BVerifyCurrent, "BVerifyCurrent", "Verify &Available Links", 128, 24, 25},
        {&TMainForm::BVerifyAll, "BVerifyAll", "Verify All &Links", 240, 24, 25},
        {&TMainForm::BEditName, "BEditName", "Edit &Name", 16, 56, 25},
        {&TMainForm::BEditURL, "BEditURL", "Edit &URL", 128, 56, 25},
        {&TMainForm::BReport, "BReport", "Show &Report", 240, 56, 25},
        {&TMainForm::BExit, "BExit", "&Exit", 352, 24, 57},
    };
    for (const ButtonDesign& design : designs) {
        auto* button = new QPushButton(QString::fromUtf8(design.caption), GroupBox);
        button->setObjectName(QString::fromUtf8(design.name));
        button->setGeometry(design.left, design.top, kButtonWidth, design.height);
        button->setAutoDefault(false);
        this->*design.field = button;
    }
}

void TMainForm::BuildMenus() {
    const auto addItem = [](QMenu* menu, const char* name, const char* caption) {
        QAction* action = menu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromUtf8(name));
        return action;
    };

    PopupMenuTV = new QMenu(this);
    PopupMenuTV->setObjectName(QStringLiteral("PopupMenuTV"));
    PMCreateDir = addItem(PopupMenuTV, "PMCreateDir", "&Create Directory");
    PMRenameDir = addItem(PopupMenuTV, "PMRenameDir", "&Rename Directory");
    PMDeleteDir = addItem(PopupMenuTV, "PMDeleteDir", "&Delete Directory");
    PopupMenuTV->setDefaultAction(PMRenameDir);

    PopupMenuLV = new QMenu(this);
    PopupMenuLV->setObjectName(QStringLiteral("PopupMenuLV"));
    PMOpeninBrowser = addItem(PopupMenuLV, "PMOpeninBrowser", "&Open in Browser");
    PMVerify = addItem(PopupMenuLV, "PMVerify", "&Verify");
    PMRename = addItem(PopupMenuLV, "PMRename", "Edit &Name");
    PMEditURL = addItem(PopupMenuLV, "PMEditURL", "Edit &URL");
    PMCreateLink = addItem(PopupMenuLV, "PMCreateLink", "&Create Link");
    PMDelete = addItem(PopupMenuLV, "PMDelete", "&Delete");
    PopupMenuLV->setDefaultAction(PMOpeninBrowser);
    PMSetStatus = AddStatusMenu(PopupMenuLV, this, [this](int tag) {
        GuardHandler([this, tag] { PMSetStatusClick(tag); });
    });
}

void TMainForm::ConnectEvents() {
    ConnectGuarded(TVTree, &QTreeWidget::currentItemChanged, this,
                   [this](QTreeWidgetItem* current) { TVTreeChange(current); });
    ConnectGuarded(TVTree, &QTreeWidget::itemCollapsed, this,
                   [this](QTreeWidgetItem* item) { TVTreeCollapsing(item); });
    connect(TVTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        PopupMenuTV->popup(TVTree->viewport()->mapToGlobal(position));
    });
    connect(LVList, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        PopupMenuLV->popup(LVList->viewport()->mapToGlobal(position));
    });
    ConnectGuarded(LVList->header(), &QHeaderView::sectionClicked, this,
                   [this](int column) { LVListColumnClick(column); });
    ConnectGuarded(BExit, &QPushButton::clicked, this, &TMainForm::BExitClick);
}

void TMainForm::SetTabOrder() {
    QWidget* const order[] = {TVTree,   BVerifyOne, BVerifyAll, BVerifyCurrent, BEditName,
                              BEditURL, BExit,      BReport,    LVList};
    for (std::size_t index = 1; index < std::size(order); ++index) {
        QWidget::setTabOrder(order[index - 1], order[index]);
    }
}

void TMainForm::FormCreate() {
    // The lookup offers only a directory that exists.
    const std::string suggestion = FindFavoritesFolder().value_or(std::string());
    const std::optional<std::string> chosen =
        CurrentDialogs().BrowseForFolder(kFolderPrompt, suggestion);
    if (!chosen) {
        return;
    }
    FFolderChosen = true;
    FRoot.reset(new TBookTree);
    FRoot->Text = kRootCaption.toStdString();
    bool scanned = false;
    GuardHandler([&] {
        ScanDirectory(WithoutTrailingSeparators(*chosen), FRoot.get());
        scanned = true;
    });
    // A failed scan leaves the tree view empty: the folders read so far are
    // not shown as if they were the whole collection.
    if (scanned) {
        ShowInTreeView(FRoot.get(), TVTree);
    }
    FSortDirection = kSortDirectionStart;
    FSortColumn = kSortColumnStart;
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FShown) {
        FShown = true;
        GuardHandler([this] { FormShow(); });
    }
}

void TMainForm::FormShow() {
    if (TVTree->topLevelItemCount() > 0) {
        TVTree->setCurrentItem(TVTree->topLevelItem(0));
    }
    SortByColumn(*LVListItems, LinkItems::kColumnName, FSortColumn, FSortDirection);
}

void TMainForm::FormDestroy() {
    // The lists refer to the nodes: empty them before the tree goes.
    LVListItems->Clear();
    FRoot.reset();
}

TBookTree* TMainForm::SelectedFolder() const {
    return FolderNodeOf(TVTree->currentItem());
}

void TMainForm::TVTreeChange(QTreeWidgetItem* Node) {
    LVListItems->Clear();
    TBookTree* folder = FolderNodeOf(Node);
    if (folder == nullptr) {
        return;
    }
    LinkItems::FillScope fill(*LVListItems);
    for (int index = 0; index < folder->Count(); ++index) {
        TBookTree* child = folder->Child(index);
        if (!child->IsFolder()) {
            AddLinkItem(*LVListItems, child);
        }
    }
}

void TMainForm::TVTreeCollapsing(QTreeWidgetItem* Node) {
    if (Node != nullptr) {
        Node->setExpanded(true);
    }
}

void TMainForm::LVListColumnClick(int Column) {
    SortByColumn(*LVListItems, Column, FSortColumn, FSortDirection);
}

int TMainForm::SelectedLinkRow() const {
    const QModelIndexList selected = LVList->selectionModel()->selectedRows();
    return selected.isEmpty() ? kNoItem : selected.first().row();
}

void TMainForm::StepProgress() {
    const int next = ProgressBar->value() + 1;
    ProgressBar->setValue(next > ProgressBar->maximum() ? ProgressBar->minimum() : next);
}

void TMainForm::EnableControls(bool Enabled) {
    FCommand.SetBusy(!Enabled);
    for (QWidget* control :
         {PLVList, PTVTree, static_cast<QWidget*>(BVerifyOne), static_cast<QWidget*>(BVerifyAll),
          static_cast<QWidget*>(BVerifyCurrent), static_cast<QWidget*>(BEditName),
          static_cast<QWidget*>(BEditURL)}) {
        control->setEnabled(Enabled);
    }
    if (Enabled && FCloseRequested) {
        // Closed during the command that ends now: the close takes effect
        // once control is back in the message loop.
        FCloseRequested = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
    BExit->setText(Enabled ? kExitCaption : kCancelCaption);
    const QColor& colour = Enabled ? kIdleTextColour : kBusyTextColour;
    SetTextColour(TVTree, colour);
    SetTextColour(LVList, colour);
}

void TMainForm::BExitClick() {
    // The button cancels a running command once; after that, and whenever
    // nothing runs, it shows "&Exit" and closes the window.
    if (!Busy() || CancelRequested()) {
        close();
    }
    BExit->setText(kExitCaption);
    // A host that never answers must not hold the user: the request under
    // way ends now, not after its time-out.
    FCommand.Cancel();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // The program ends once the running command has stopped: the window
    // stays until then, showing the command end. The request under way is
    // aborted, so that a host that never answers cannot hold the close.
    if (Busy()) {
        FCloseRequested = true;
        FCommand.Cancel();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace vornakle
