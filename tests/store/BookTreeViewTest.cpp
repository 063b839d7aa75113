#include <gtest/gtest.h>

#include <QTreeWidget>
#include <map>
#include <memory>

#include "platform/Exception.h"
#include "store/BookTree.h"
#include "store/LinkStatus.h"
#include "store/LinkVerdict.h"
#include "store/Scan.h"
#include "store/widgets/BookTreeView.h"
#include "store/widgets/ImageList.h"
#include "store/widgets/LinkItems.h"
#include "support/ShownLinks.h"
#include "support/TempTree.h"

namespace vornakle {
namespace {

using testing::ShortcutText;
using testing::Shown;
using testing::ShownLink;
using testing::TempTree;

TBookTreePtr ScanTree(const TempTree& tree) {
    TBookTreePtr root(new TBookTree);
    root->Text = "Favoriten";
    ScanDirectory(tree.Root(), root.get());
    return root;
}

std::string Captions(const QTreeWidgetItem* item) {
    std::string text = item->text(0).toStdString();
    if (item->childCount() > 0) {
        text += "[";
        for (int index = 0; index < item->childCount(); ++index) {
            text += (index > 0 ? " " : "") + Captions(item->child(index));
        }
        text += "]";
    }
    return text;
}

TEST(BookTreeViewTest, TreeViewShowsFoldersOnlyExpandedInChildrenOrder) {
    TempTree tree;
    tree.WriteFile("b/x.url", ShortcutText("x"));
    tree.WriteFile("a/inner/y.url", ShortcutText("y"));
    tree.WriteFile("M\xc3\xbcnchen/z.url", ShortcutText("z"));
    tree.WriteFile("top.url", ShortcutText("t"));
    const TBookTreePtr root = ScanTree(tree);

    QTreeWidget view;
    view.addTopLevelItem(new QTreeWidgetItem(QStringList{"stale"}));
    ShowInTreeView(root.get(), &view);
    ASSERT_EQ(view.topLevelItemCount(), 1);
    const QTreeWidgetItem* top = view.topLevelItem(0);
    EXPECT_EQ(Captions(top), "Favoriten[a[inner] b M\xc3\xbcnchen]");
    EXPECT_TRUE(top->isExpanded());
    EXPECT_TRUE(top->child(0)->isExpanded());
    EXPECT_EQ(FolderNodeOf(top), root.get());
    EXPECT_EQ(FolderNodeOf(top->child(1)), root->Child(1));
    EXPECT_FALSE(top->icon(0).isNull());
    EXPECT_EQ(FolderNodeOf(nullptr), nullptr);
}

TEST(BookTreeViewTest, RootWithOnlyLinksIsTheSingleItem) {
    TempTree tree;
    tree.WriteFile("a.url", ShortcutText("a"));
    const TBookTreePtr root = ScanTree(tree);
    QTreeWidget view;
    ShowInTreeView(root.get(), &view);
    ASSERT_EQ(view.topLevelItemCount(), 1);
    EXPECT_EQ(view.topLevelItem(0)->childCount(), 0);
}

TEST(BookTreeViewTest, LinkItemRereadsTheFileAndKeepsTheStatus) {
    TempTree tree;
    tree.WriteFile("News.url", ShortcutText("http://old/"));
    tree.WriteFile(".url", ShortcutText("http://nameless/"));
    tree.WriteFile("latin1.url", ShortcutText("http://m\xfcnchen/"));
    const TBookTreePtr root = ScanTree(tree);
    // Listing order: ".url", "latin1.url", "News.url".
    TBookTree* news = root->Child(2);
    ASSERT_EQ(news->Text, "http://old/");
    news->Status = LinkStatus::Reply(404);
    tree.WriteFile("News.url", ShortcutText("http://new/"));

    LinkItems items;
    for (int index = 0; index < root->Count(); ++index) {
        AddLinkItem(items, root->Child(index));
    }
    ASSERT_EQ(items.Count(), 3);
    EXPECT_EQ(Shown(items, 0).Caption, "");
    const ShownLink& item = Shown(items, 2);
    EXPECT_EQ(item.Node, news);
    EXPECT_EQ(item.Caption, "News");
    EXPECT_EQ(item.Url, "http://new/");
    EXPECT_EQ(news->Text, "http://new/");
    EXPECT_EQ(news->Status, LinkStatus::Reply(404));
    EXPECT_EQ(item.ImageIndex, kImageInvalid);
    EXPECT_EQ(item.StatusText, "Nicht gefunden");
    EXPECT_EQ(Shown(items, 1).Url, QString::fromUtf8("http://m\xc3\xbcnchen/"));

    const QModelIndex nameCell = items.index(2, LinkItems::kColumnName);
    EXPECT_EQ(items.data(nameCell).toString(), "News");
    EXPECT_EQ(items.data(items.index(2, LinkItems::kColumnStatus)).toString(), "Nicht gefunden");
    EXPECT_EQ(items.data(nameCell, LinkItems::kNodeRole).value<void*>(), news);
    EXPECT_FALSE(items.data(nameCell, Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(items.headerData(2, Qt::Horizontal).toString(), "Status");
}

TEST(BookTreeViewTest, ShowLinkStatusFollowsTheNode) {
    TempTree tree;
    tree.WriteFile("a.url", ShortcutText("http://a/"));
    const TBookTreePtr root = ScanTree(tree);
    // The program's words for what a check found, made from the node when
    // a view asks.
    std::map<const LinkVerdict*, QString> notes;
    const auto note = [&notes](const TBookTree& node) {
        const auto found = notes.find(node.Verdict.get());
        return found != notes.end() ? found->second : QString();
    };
    LinkItems items;
    items.SetStatusNote(note);
    const int row = AddLinkItem(items, root->Child(0));
    EXPECT_EQ(Shown(items, row).ImageIndex, kImageNotTested);
    EXPECT_EQ(Shown(items, row).StatusText, "");

    int changes = 0;
    QObject::connect(&items, &LinkItems::dataChanged, &items, [&] { ++changes; });
    // What a current check found rides on the node with the status it was
    // filed with, and never shows as the text of the column.
    const auto verdict = [&notes](LinkStanding standing, const char* explanation) {
        auto made = std::make_unique<LinkVerdict>();
        made->Standing = standing;
        notes[made.get()] = QString::fromUtf8(explanation);
        return made;
    };
    struct Case {
        LinkStatus status;
        std::unique_ptr<LinkVerdict> verdict;
        int image;
        const char* text;
        const char* toolTip;  // empty: the status text
    };
    Case cases[] = {
        {LinkStatus::Reply(504), nullptr, kImageUnknown, "Unbekannt", ""},
        {LinkStatus::Reply(502), nullptr, kImageUnknown, "Gateway-Zeitüberschreitung", ""},
        {LinkStatus::Reply(301), nullptr, kImageInvalid, "Verzogen", ""},
        {LinkStatus::Reply(302), nullptr, kImageOk, "Gefunden", ""},
        {kStatusInvalidByHand, nullptr, kImageInvalid, "", ""},
        {kStatusUnknown, verdict(LinkStanding::Bad, "Abgelehnt (refused)"), kImageUnknown, "",
         "Abgelehnt (refused)"},
        {LinkStatus::Reply(200), verdict(LinkStanding::Fine, "Weitergeleitet nach http://b/x"),
         kImageOk, "OK", "OK\nWeitergeleitet nach http://b/x"},
        // A page behind a sign-in is fine; a suspect one bad and a blocked
        // one in doubt, both with the warning image.
        {LinkStatus::Reply(401), verdict(LinkStanding::Fine, "Anmeldung"), kImageOk,
         "Nicht autorisiert", "Nicht autorisiert\nAnmeldung"},
        {LinkStatus::Reply(200), verdict(LinkStanding::Bad, "Verdächtig"), kImageUnknown, "OK",
         "OK\nVerdächtig"},
        {LinkStatus::Reply(403), verdict(LinkStanding::Doubtful, "Prüfseite"), kImageUnknown,
         "Verboten", "Verboten\nPrüfseite"},
        {kStatusUnknown, verdict(LinkStanding::NotChecked, "Kein Web-Link"), kImageNotChecked, "",
         "Kein Web-Link"},
        // A status set by hand drops what the check found.
        {LinkStatus::Reply(404), nullptr, kImageInvalid, "Nicht gefunden", ""},
    };
    for (Case& test : cases) {
        TBookTree* node = root->Child(0);
        node->FileStatus(test.status, std::move(test.verdict));
        ShowLinkStatus(items, row);
        EXPECT_EQ(Shown(items, row).ImageIndex, test.image) << test.status.Shown();
        EXPECT_EQ(Shown(items, row).StatusText, QString::fromUtf8(test.text))
            << test.status.Shown();
        const QString toolTip = QString::fromUtf8(*test.toolTip != '\0' ? test.toolTip : test.text);
        EXPECT_EQ(items.data(items.index(row, LinkItems::kColumnStatus), Qt::ToolTipRole), toolTip)
            << test.toolTip;
        // A new list item of the node shows the same.
        LinkItems fresh;
        fresh.SetStatusNote(note);
        const int freshRow = AddLinkItem(fresh, node);
        EXPECT_EQ(Shown(fresh, freshRow).ImageIndex, test.image) << test.status.Shown();
        EXPECT_EQ(Shown(fresh, freshRow).StatusToolTip, Shown(items, row).StatusToolTip);
    }
    EXPECT_EQ(changes, static_cast<int>(std::size(cases)));
}

// The vanished file's name is no UTF-8: the message names it as the list
// shows names, and its own words stay intact.
TEST(BookTreeViewTest, VanishedFileStopsTheFillKeepingEarlierItems) {
    TempTree tree;
    tree.WriteFile("a.url", ShortcutText("a"));
    tree.WriteFile("b\xE4.url", ShortcutText("b"));
    tree.WriteFile("c.url", ShortcutText("c"));
    const TBookTreePtr root = ScanTree(tree);
    std::remove(tree.Path("b\xE4.url").c_str());

    LinkItems items;
    try {
        for (int index = 0; index < root->Count(); ++index) {
            AddLinkItem(items, root->Child(index));
        }
        FAIL() << "no error";
    } catch (const EFileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Datei " + tree.Path("b\uFFFD.url") + " kann nicht geöffnet werden");
    }
    ASSERT_EQ(items.Count(), 1);
    EXPECT_EQ(Shown(items, 0).Caption, "a");
}

TEST(BookTreeViewTest, HugeTextsAreCutForDisplayOnly) {
    TempTree tree;
    const std::string longUrl(LinkItems::kMaxShownLength * 4, 'u');
    tree.WriteFile("long.url", ShortcutText(longUrl));
    const TBookTreePtr root = ScanTree(tree);
    LinkItems items;
    AddLinkItem(items, root->Child(0));
    EXPECT_EQ(Shown(items, 0).Url.size(), static_cast<qsizetype>(longUrl.size()));
    const QString shown = items.data(items.index(0, LinkItems::kColumnUrl)).toString();
    EXPECT_EQ(shown.size(), LinkItems::kMaxShownLength + 1);
}

TEST(BookTreeViewTest, ImageListHasNineSharpImages) {
    const TImageList& images = TImageList::Shared();
    ASSERT_EQ(images.Count(), 9);
    for (int index = 0; index < images.Count(); ++index) {
        const QIcon& icon = images.Icon(index);
        ASSERT_FALSE(icon.isNull()) << index;
        EXPECT_EQ(icon.pixmap(QSize(32, 32)).size(), QSize(32, 32)) << index;
        EXPECT_EQ(icon.pixmap(QSize(16, 16)).size(), QSize(16, 16)) << index;
    }
    EXPECT_TRUE(images.Icon(9).isNull());
}

}  // namespace
}  // namespace vornakle
