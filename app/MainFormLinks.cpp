// The link list's commands: the shared link actions on the selected link,
// link creation, and the report.
#include <QAction>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

#include "app/MainForm.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/TextDecoding.h"
#include "platform/ui/Application.h"
#include "platform/ui/Dialogs.h"
#include "report/KeyHandler.h"
#include "report/LinkActions.h"
#include "report/ReportForm.h"
#include "store/LinkStatus.h"
#include "store/Shortcut.h"
#include "store/widgets/BookTreeView.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {

void TMainForm::ConnectLinkCommands() {
    ReportForm = new TReportForm(*FTester, *FLinkChanges, this);

    ConnectGuarded(PMOpeninBrowser, &QAction::triggered, this, &TMainForm::PMOpenBrowser);
    ConnectGuarded(PMRename, &QAction::triggered, this, &TMainForm::BEditNameClick);
    ConnectGuarded(PMEditURL, &QAction::triggered, this, &TMainForm::BEditURLClick);
    ConnectGuarded(PMCreateLink, &QAction::triggered, this, &TMainForm::PMCreateLinkClick);
    ConnectGuarded(PMDelete, &QAction::triggered, this, &TMainForm::PMDeleteClick);
    ConnectGuarded(BEditName, &QPushButton::clicked, this, &TMainForm::BEditNameClick);
    ConnectGuarded(BEditURL, &QPushButton::clicked, this, &TMainForm::BEditURLClick);
    ConnectGuarded(BReport, &QPushButton::clicked, this, &TMainForm::BReportClick);
    ConnectGuarded(LVList, &QTreeView::doubleClicked, this, &TMainForm::PMOpenBrowser);
    InstallKeyHandler(LVList, [this](int key) {
        if (!IsCommandKey(key)) {
            return false;
        }
        GuardHandler([this, key] { LVListKeyDown(key); });
        return true;
    });
}

void TMainForm::LVListKeyDown(int Key) {
    if (IsEnterKey(Key)) {
        PMOpenBrowser();
    } else if (Key == Qt::Key_Insert) {
        PMCreateLinkClick();
    } else if (Key == Qt::Key_Delete) {
        PMDeleteClick();
    }
}

void TMainForm::PMOpenBrowser() {
    OpenInBrowser(this, *LVListItems, SelectedLinkRow());
}

void TMainForm::BEditNameClick() {
    RenameLink(*LVListItems, SelectedLinkRow());
}

void TMainForm::BEditURLClick() {
    EditLinkURL(*LVListItems, SelectedLinkRow());
}

void TMainForm::PMDeleteClick() {
    DeleteLink(*LVListItems, SelectedLinkRow());
}

void TMainForm::PMSetStatusClick(int Tag) {
    SetLinkStatus(Tag, *LVListItems, SelectedLinkRow());
}

void TMainForm::PMCreateLinkClick() {
    // Without a folder there is nowhere to put the link: ask nothing.
    TBookTree* folder = SelectedFolder();
    if (folder == nullptr) {
        return;
    }
    const std::optional<QString> name = CurrentDialogs().InputBox(
        QStringLiteral("Name der Verknüpfung"),
        QStringLiteral("Bitte den Namen der Verknüpfung eingeben!"), QString());
    if (!name) {
        return;
    }
    const std::optional<QString> url = CurrentDialogs().InputBox(
        *name, QStringLiteral("Bitte die URL der Verknüpfung eingeben!"), QString());
    if (!url) {
        return;
    }
    const std::string fileName = FileNameBytes(*name);
    const std::string path = JoinPath(folder->Path, LinkFileName(fileName));
    if (!IsPlainFileName(fileName)) {
        CurrentDialogs().ShowMessage(
            QStringLiteral("Ein Name für eine Verknüpfung darf kein \"/\" enthalten!"));
        return;
    }
    const std::string completed = CompleteNewLinkUrl(ShortcutLineValue(TextBytes(*url)));
    // An existing file is never replaced: two links of one name cannot share
    // a folder, and the other file may hold what the user still needs.
    if (PathExists(path)) {
        CurrentDialogs().ShowMessage(
            QStringLiteral("Es gibt hier bereits eine Verknüpfung mit diesem Namen!"));
        return;
    }
    try {
        CreateNewFile(path, NewShortcutText(completed));
    } catch (const EFileError&) {
        // Nothing was written, so no node stands for the link.
        throw EFileError(CreateErrorMessage(path));
    }
    TBookTree* node = folder->AddNode(nullptr);
    node->Path = path;
    node->Text = completed;
    node->FileStatus(kStatusNotTested);
    AddLinkItem(*LVListItems, node);
}

bool TMainForm::FillReport() {
    LinkItems& items = ReportForm->ReportItems();
    items.Clear();
    try {
        LinkItems::FillScope fill(items);
        if (FRoot != nullptr) {
            for (TBookTree* link : CollectLinks(*FRoot)) {
                AddLinkItem(items, link);
            }
        }
        items.RemoveIf([](const TBookTree& link) { return !IsReported(link.Standing()); });
    } catch (const Exception&) {
        ReportException(std::current_exception());
        items.Clear();
        return false;
    }
    return true;
}

void TMainForm::BReportClick() {
    if (ReportForm->isVisible() || !FillReport()) {
        return;
    }
    // During a check of this window the report may be looked at but change
    // nothing: the check uses the nodes and this window's list.
    const bool duringCheck = Busy();
    ReportForm->SetViewOnly(duringCheck);
    ReportForm->exec();
    ReportForm->ReportItems().Clear();
    if (!duringCheck) {
        TVTreeChange(TVTree->currentItem());
    }
}

}  // namespace vornakle
