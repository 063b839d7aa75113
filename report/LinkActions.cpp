#include "report/LinkActions.h"

#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/ShellOpen.h"
#include "platform/TextDecoding.h"
#include "platform/Trash.h"
#include "platform/ui/Dialogs.h"
#include "store/BookTree.h"
#include "store/LinkStatus.h"
#include "store/Shortcut.h"
#include "store/widgets/BookTreeView.h"
#include "store/widgets/LinkChanges.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {

namespace {

bool IsItem(const LinkItems& items, int row) {
    return row >= 0 && row < items.Count() && items.Node(row) != nullptr;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    try {
        MovePathNoReplace(from, to);
        return true;
    } catch (const EFileError&) {
        return false;
    }
}

}  // namespace

void OpenInBrowser(QWidget* /*Owner*/, LinkItems& Items, int Row) {
    if (!IsItem(Items, Row)) {
        return;
    }
    // The node holds the URL's own bytes, which the column shows decoded.
    const std::string& url = Items.Node(Row)->Text;
    const std::optional<std::string> address = AddressToOpen(url);
    if (!address) {
        CurrentDialogs().ShowMessage(
            QStringLiteral("Die Adresse \"%1\" kann nicht geöffnet werden: Sie ist keine Web- "
                           "oder Dateiadresse, oder sie nennt ein Programm.")
                .arg(DisplayText(url)));
        return;
    }
    if (!CurrentDialogs().OpenUrl(*address)) {
        CurrentDialogs().ShowMessage(
            QStringLiteral("Die Adresse \"%1\" konnte keinem Programm zum Öffnen übergeben werden.")
                .arg(DisplayText(*address)));
    }
}

void RenameLink(LinkItems& Items, int Row) {
    if (!IsItem(Items, Row)) {
        return;
    }
    const std::optional<QString> entered = CurrentDialogs().InputBox(
        QStringLiteral("Neuer Name"), QStringLiteral("Bitte neuen Namen eingeben:"),
        Items.Text(Row, LinkItems::kColumnName));
    if (!entered) {
        return;
    }
    TBookTree* node = Items.Node(Row);
    const std::string name = FileNameBytes(*entered);
    const std::string newPath = DirectoryWithSeparator(node->Path) + LinkFileName(name);
    const bool renamed =
        newPath == node->Path || (IsPlainFileName(name) && RenameNoReplace(node->Path, newPath));
    if (!renamed) {
        CurrentDialogs().ShowMessage(QStringLiteral("Konnte Name nicht ändern!"));
        return;
    }
    node->Path = newPath;
    Items.Renamed(Row);
}

void EditLinkURL(LinkItems& Items, int Row) {
    if (!IsItem(Items, Row)) {
        return;
    }
    TBookTree* node = Items.Node(Row);
    const std::optional<QString> entered = CurrentDialogs().InputBox(
        QStringLiteral("Neue URL"), QStringLiteral("Bitte neue URL eingeben:"),
        DisplayText(node->Text));
    if (!entered) {
        return;
    }
    std::string text = ReadShortcutText(node->Path);
    if (ShortcutUrlFromText(text) != node->Text) {
        CurrentDialogs().ShowMessage(
            QStringLiteral("Dieser Link wurde im Hintergrund bereits verändert!"));
    } else {
        text = RewriteShortcutText(text, ShortcutLineValue(TextBytes(*entered)));
        WriteShortcutText(CollectionPathOf(*node), node->Path, text);
    }
    node->Text = ShortcutUrlFromText(text);
    node->FileStatus(kStatusNotTested);
    ShowLinkStatus(Items, Row);
}

void DeleteLink(LinkItems& Items, int Row) {
    if (!IsItem(Items, Row)) {
        return;
    }
    TBookTree* node = Items.Node(Row);
    ShellDeletePath(node->Path);
    Items.Changes().Removing(node);
    node->Delete(ChildNodes::Free);
}

void SetLinkStatus(int SenderTag, LinkItems& Items, int Row) {
    if (!IsItem(Items, Row)) {
        return;
    }
    TBookTree* node = Items.Node(Row);
    // The user's word replaces whatever a check found out. A tag is an own
    // code as stored.
    node->FileStatus(LinkStatus::FromStored(SenderTag));
    ShowLinkStatus(Items, Row);
}

void ShellDeletePath(const std::string& Path) {
    MoveToTrash(Path);
}

std::string ShellMovePath(const std::string& Source, const std::string& TargetDir) {
    return MoveIntoDirectory(Source, TargetDir);
}

}  // namespace vornakle
