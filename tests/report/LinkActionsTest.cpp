#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QDir>
#include <memory>

#include "platform/Exception.h"
#include "report/LinkActions.h"
#include "report/LinkOrdering.h"
#include "store/CollectionFile.h"
#include "store/LinkStatus.h"
#include "store/Scan.h"
#include "store/widgets/BookTreeView.h"
#include "store/widgets/LinkItems.h"
#include "support/ScriptedDialogs.h"
#include "support/ShownLinks.h"
#include "support/TempTree.h"

namespace vornakle {
namespace {

using testing::ShortcutText;
using testing::Shown;
using testing::ShownLink;
using testing::ShownLinks;
using testing::TempTree;

// A folder of links listed as the main window lists them, with scripted
// dialogs and a trash of its own.
class LinkActionsTest : public ::testing::Test {
protected:
    LinkActionsTest() : savedDataHome_(qgetenv("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data_.Root()));
        auto dialogs = std::make_unique<ScriptedDialogs>();
        dialogs_ = dialogs.get();
        installation_ = std::make_unique<DialogsInstallation>(std::move(dialogs));
        KeepLinkItemsSorted(items_, sortColumn_, sortDirection_);
        SortByColumn(items_, LinkItems::kColumnName, sortColumn_, sortDirection_);
    }

    ~LinkActionsTest() override {
        items_.Clear();
        root_.reset();
        qputenv("XDG_DATA_HOME", savedDataHome_);
    }

    void List() {
        root_.reset(new TBookTree);
        ScanDirectory(folder_.Root(), root_.get());
        items_.Clear();
        for (int index = 0; index < root_->Count(); ++index) {
            if (!root_->Child(index)->IsFolder()) {
                AddLinkItem(items_, root_->Child(index));
            }
        }
    }

    int RowOf(const char* caption) const {
        for (int row = 0; row < items_.Count(); ++row) {
            if (Shown(items_, row).Caption == caption) {
                return row;
            }
        }
        ADD_FAILURE() << "no item " << caption;
        return kNoItem;
    }

    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (const ShownLink& item : ShownLinks(items_)) {
            captions.push_back(item.Caption.toStdString());
        }
        return captions;
    }

    TempTree folder_;
    TempTree data_;
    ScriptedDialogs* dialogs_ = nullptr;
    LinkItems items_;
    TBookTreePtr root_;
    int sortColumn_ = kSortColumnStart;
    int sortDirection_ = kSortDirectionStart;

private:
    QByteArray savedDataHome_;
    std::unique_ptr<DialogsInstallation> installation_;
};

TEST_F(LinkActionsTest, RenameMovesTheFileAndResorts) {
    folder_.WriteFile("Alt.url", ShortcutText("http://alt/"));
    folder_.WriteFile("Mitte.url", ShortcutText("http://mitte/"));
    List();
    TBookTree* node = Shown(items_, RowOf("Alt")).Node;
    node->Status = LinkStatus::Reply(404);

    dialogs_->AnswerInput("Zuletzt");
    RenameLink(items_, RowOf("Alt"));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Mitte", "Zuletzt"}));
    EXPECT_EQ(node->Path, folder_.Path("Zuletzt.url"));
    EXPECT_FALSE(folder_.Exists("Alt.url"));
    EXPECT_EQ(folder_.ReadFile("Zuletzt.url"), ShortcutText("http://alt/"));
    EXPECT_EQ(node->Status, LinkStatus::Reply(404));
    ASSERT_EQ(dialogs_->Questions().size(), 1u);
    EXPECT_EQ(dialogs_->Questions()[0].caption, "Neuer Name");
    EXPECT_EQ(dialogs_->Questions()[0].text, "Bitte neuen Namen eingeben:");
    EXPECT_EQ(dialogs_->Questions()[0].defaultText, "Alt");

    dialogs_->AnswerInput("Neu.url");
    RenameLink(items_, RowOf("Zuletzt"));
    EXPECT_TRUE(folder_.Exists("Neu.url.url"));
    EXPECT_EQ(Shown(items_, RowOf("Neu.url")).Node, node);
}

TEST_F(LinkActionsTest, RenameNeverReplacesOrLeavesTheFolder) {
    folder_.WriteFile("a.url", ShortcutText("http://a/"));
    folder_.WriteFile("b.url", ShortcutText("http://b/"));
    folder_.MakeDirectory("sub");
    List();
    for (const char* name : {"b", "sub/x", "../a"}) {
        dialogs_->AnswerInput(name);
        RenameLink(items_, RowOf("a"));
    }
    const std::vector<QString> messages = dialogs_->Texts(DialogKind::Message);
    EXPECT_EQ(messages, std::vector<QString>(3, "Konnte Name nicht ändern!"));
    EXPECT_EQ(folder_.ReadFile("a.url"), ShortcutText("http://a/"));
    EXPECT_EQ(folder_.ReadFile("b.url"), ShortcutText("http://b/"));
    EXPECT_FALSE(folder_.Exists("sub/x.url"));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Shown(items_, 0).Node->Path, folder_.Path("a.url"));

    // The same name again changes nothing and reports nothing.
    dialogs_->AnswerInput("a");
    RenameLink(items_, RowOf("a"));
    EXPECT_EQ(dialogs_->Texts(DialogKind::Message).size(), 3u);
    dialogs_->CancelInput();
    RenameLink(items_, RowOf("a"));
    EXPECT_TRUE(folder_.Exists("a.url"));
}

TEST_F(LinkActionsTest, EditUrlRewritesOnlyTheUrlLine) {
    folder_.WriteFile(
        "a.url", "[DEFAULT]\r\nBASEURL=http://old/\r\n[InternetShortcut]\r\nurl=http://old/\r\n");
    List();
    TBookTree* node = Shown(items_, 0).Node;
    node->Status = LinkStatus::Reply(404);
    dialogs_->AnswerInput("www.new.de");
    EditLinkURL(items_, 0);
    EXPECT_EQ(folder_.ReadFile("a.url"),
              "[DEFAULT]\r\nBASEURL=http://old/\r\n[InternetShortcut]\r\nURL=www.new.de\r\n");
    EXPECT_EQ(Shown(items_, 0).Url, "www.new.de");
    EXPECT_EQ(node->Text, "www.new.de");
    EXPECT_EQ(node->Status, kStatusNotTested);
    EXPECT_EQ(Shown(items_, 0).ImageIndex, kImageNotTested);
    EXPECT_EQ(Shown(items_, 0).StatusText, "");
    EXPECT_EQ(dialogs_->Questions()[0].caption, "Neue URL");
    EXPECT_EQ(dialogs_->Questions()[0].text, "Bitte neue URL eingeben:");
    EXPECT_EQ(dialogs_->Questions()[0].defaultText, "http://old/");
}

TEST_F(LinkActionsTest, EditUrlAfterAnOutsideChangeKeepsTheOtherUrl) {
    folder_.WriteFile("a.url", ShortcutText("http://listed/"));
    List();
    folder_.WriteFile("a.url", ShortcutText("http://outside/"));
    Shown(items_, 0).Node->Status = LinkStatus::Reply(200);
    dialogs_->AnswerInput("http://mine/");
    EditLinkURL(items_, 0);
    EXPECT_EQ(dialogs_->Texts(DialogKind::Message),
              std::vector<QString>{"Dieser Link wurde im Hintergrund bereits verändert!"});
    EXPECT_EQ(folder_.ReadFile("a.url"), ShortcutText("http://outside/"));
    EXPECT_EQ(Shown(items_, 0).Url, "http://outside/");
    EXPECT_EQ(Shown(items_, 0).Node->Text, "http://outside/");
    EXPECT_EQ(Shown(items_, 0).Node->Status, kStatusNotTested);
}

TEST_F(LinkActionsTest, EditUrlEdgeCases) {
    folder_.WriteFile("a.url", "[I]\r\nURL=http://a/\r\nIconIndex=0\r\n");
    folder_.WriteFile("b.url", ShortcutText("http://b/"));
    List();
    dialogs_->AnswerInput("");
    EditLinkURL(items_, 0);
    EXPECT_EQ(folder_.ReadFile("a.url"), "[I]\r\nIconIndex=0\r\n");
    EXPECT_EQ(Shown(items_, 0).Url, "");

    // Pasted line breaks must not add lines to the file.
    dialogs_->AnswerInput("http://x/\r\nIconFile=evil");
    EditLinkURL(items_, 1);
    EXPECT_EQ(folder_.ReadFile("b.url"), "[InternetShortcut]\r\nURL=http://x/IconFile=evil\r\n");

    // A read-only file stays as it is, and so does the item.
    ASSERT_EQ(::chmod(folder_.Path("a.url").c_str(), 0444), 0);
    dialogs_->AnswerInput("http://z/");
    EXPECT_THROW(EditLinkURL(items_, 0), ERewriteRefused);
    EXPECT_EQ(folder_.ReadFile("a.url"), "[I]\r\nIconIndex=0\r\n");

    // A vanished file is the open error; the item stays as it was.
    std::remove(folder_.Path("b.url").c_str());
    Shown(items_, 1).Node->Status = LinkStatus::Reply(404);
    dialogs_->AnswerInput("http://y/");
    EXPECT_THROW(EditLinkURL(items_, 1), EFileError);
    EXPECT_EQ(Shown(items_, 1).Node->Status, LinkStatus::Reply(404));
    EXPECT_EQ(Shown(items_, 1).Url, "http://x/IconFile=evil");
    EXPECT_FALSE(folder_.Exists("b.url"));
}

TEST_F(LinkActionsTest, DeleteGoesIntoTheTrashAndFreesTheNode) {
    folder_.WriteFile("a.url", ShortcutText("http://a/"));
    folder_.WriteFile("b.url", ShortcutText("http://b/"));
    List();
    DeleteLink(items_, RowOf("a"));
    EXPECT_TRUE(dialogs_->Questions().empty());
    EXPECT_EQ(Captions(), std::vector<std::string>{"b"});
    EXPECT_EQ(root_->Count(), 1);
    EXPECT_FALSE(folder_.Exists("a.url"));
    EXPECT_EQ(data_.ReadFile("Trash/files/a.url"), ShortcutText("http://a/"));
    EXPECT_NE(data_.ReadFile("Trash/info/a.url.trashinfo").find("Path="), std::string::npos);
}

TEST_F(LinkActionsTest, DeleteThatTheTrashRefusesKeepsEverything) {
    folder_.WriteFile("a.url", ShortcutText("http://a/"));
    List();
    data_.WriteFile("Trash", "a file where the trash should be");
    EXPECT_THROW(DeleteLink(items_, 0), EFileError);
    EXPECT_TRUE(folder_.Exists("a.url"));
    EXPECT_EQ(items_.Count(), 1);
    EXPECT_EQ(root_->Count(), 1);
}

TEST_F(LinkActionsTest, StatusByHandAndNoSelection) {
    folder_.WriteFile("a.url", ShortcutText("http://a/"));
    List();
    Shown(items_, 0).Node->Status = LinkStatus::Reply(404);
    SetLinkStatus(kStatusOkByHand, items_, 0);
    EXPECT_EQ(Shown(items_, 0).Node->Status, kStatusOkByHand);
    EXPECT_EQ(Shown(items_, 0).ImageIndex, kImageOk);
    EXPECT_EQ(Shown(items_, 0).StatusText, "");

    OpenInBrowser(nullptr, items_, kNoItem);
    RenameLink(items_, kNoItem);
    EditLinkURL(items_, kNoItem);
    DeleteLink(items_, kNoItem);
    SetLinkStatus(kStatusUnknown, items_, kNoItem);
    EXPECT_TRUE(dialogs_->Questions().empty());
    EXPECT_EQ(items_.Count(), 1);
    EXPECT_EQ(Shown(items_, 0).Node->Status, kStatusOkByHand);

    OpenInBrowser(nullptr, items_, 0);
    EXPECT_EQ(dialogs_->OpenedUrls(), std::vector<std::string>{"http://a/"});
}

// An address without a scheme is opened as the shell would open it; what
// cannot be opened is said, never silently dropped.
TEST_F(LinkActionsTest, OpenInBrowserOpensWhatTheShellWouldAndSaysWhenItCannot) {
    const struct {
        const char* url;
        const char* opened;  // null: refused with a message
    } cases[] = {
        {"http://a.example/", "http://a.example/"},
        {"www.b.example/x", "http://www.b.example/x"},
        {"WWW.c.example", "http://WWW.c.example"},
        {"d.example", nullptr},
        {"C:\\Fav\\e.html", nullptr},
        {"", nullptr},
    };
    for (const auto& link : cases) {
        SCOPED_TRACE(link.url);
        folder_.WriteFile("link.url", ShortcutText(link.url));
        List();
        dialogs_->ClearRecord();
        OpenInBrowser(nullptr, items_, 0);
        if (link.opened != nullptr) {
            EXPECT_EQ(dialogs_->OpenedUrls(), std::vector<std::string>{link.opened});
            EXPECT_TRUE(dialogs_->Texts(DialogKind::Message).empty());
        } else {
            EXPECT_TRUE(dialogs_->OpenedUrls().empty());
            EXPECT_EQ(dialogs_->Texts(DialogKind::Message),
                      std::vector<QString>{QStringLiteral("Die Adresse \"%1\" kann nicht "
                                                          "geöffnet werden: Sie ist keine Web- "
                                                          "oder Dateiadresse, oder sie nennt ein "
                                                          "Programm.")
                                               .arg(QString::fromUtf8(link.url))});
        }
    }

    // A desktop without a browser.
    folder_.WriteFile("link.url", ShortcutText("www.f.example"));
    List();
    dialogs_->ClearRecord();
    dialogs_->RefuseUrls();
    OpenInBrowser(nullptr, items_, 0);
    EXPECT_EQ(dialogs_->Texts(DialogKind::Message),
              std::vector<QString>{QStringLiteral("Die Adresse \"http://www.f.example\" konnte "
                                                  "keinem Programm zum Öffnen übergeben werden.")});
}

TEST_F(LinkActionsTest, MoveIntoAFolderPicksAFreeName) {
    folder_.WriteFile("a.url", ShortcutText("http://a/"));
    folder_.WriteFile("target/a.url", ShortcutText("http://other/"));
    const std::string moved = ShellMovePath(folder_.Path("a.url"), folder_.Path("target"));
    EXPECT_EQ(moved, folder_.Path("target/a (2).url"));
    EXPECT_EQ(folder_.ReadFile("target/a (2).url"), ShortcutText("http://a/"));
    EXPECT_EQ(folder_.ReadFile("target/a.url"), ShortcutText("http://other/"));
}

}  // namespace
}  // namespace vornakle
