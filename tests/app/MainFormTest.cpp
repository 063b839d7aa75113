#include <unistd.h>

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>

#include "MainFormFixture.h"
#include "check/LinkOutcome.h"
#include "report/ReportForm.h"
#include "store/LinkStatus.h"
#include "store/LinkVerdict.h"
#include "store/widgets/BookTreeView.h"
#include "support/ShownLinks.h"

namespace vornakle::testing {
namespace {

using Strings = std::vector<std::string>;

class MainFormTest : public MainFormFixture {};

std::string TreeCaptions(const QTreeWidgetItem* item) {
    std::string text = item->text(0).toStdString();
    if (item->childCount() > 0) {
        text += "[";
        for (int index = 0; index < item->childCount(); ++index) {
            text += (index > 0 ? " " : "") + TreeCaptions(item->child(index));
        }
        text += "]";
    }
    return text;
}

TEST_F(MainFormTest, StartSuggestsTheFavoritesFolderAndShowsTheRootSortedByName) {
    home_.MakeDirectory("Favorites");
    collection_.WriteFile("Zitrone.url", ShortcutText("http://z/"));
    collection_.WriteFile("apfel.url", ShortcutText("http://a/"));
    collection_.WriteFile("Banane.url", ShortcutText("http://b/"));
    collection_.WriteFile("News/Sport/s.url", ShortcutText("http://s/"));
    Start();

    ASSERT_EQ(dialogs_->Questions().size(), 1u);
    const DialogQuestion& question = dialogs_->Questions()[0];
    EXPECT_EQ(question.kind, DialogKind::Folder);
    EXPECT_EQ(question.text, QStringLiteral("Bitte Verzeichnis mit Favoriten auswählen"));
    EXPECT_EQ(question.defaultText.toStdString(), home_.Path("Favorites"));

    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(TreeCaptions(Tree()->topLevelItem(0)), "Favoriten[News[Sport]]");
    EXPECT_EQ(Tree()->currentItem(), Tree()->topLevelItem(0));
    EXPECT_EQ(Form().Root()->Path, collection_.Root());
    EXPECT_EQ(Captions(), (Strings{"apfel", "Banane", "Zitrone"}));
    EXPECT_EQ(Items()->HeaderImage(LinkItems::kColumnName), kImageSortAscending);
    EXPECT_EQ(Items()->HeaderImage(LinkItems::kColumnUrl), -1);
    EXPECT_EQ(Items()->HeaderImage(LinkItems::kColumnStatus), -1);
    EXPECT_FALSE(Items()->headerData(0, Qt::Horizontal, Qt::DecorationRole).isNull());
    // Classic rules show the three columns only.
    EXPECT_EQ(Items()->columnCount(), LinkItems::kColumnCount);
    EXPECT_EQ(Form().Report()->ReportItems().columnCount(), LinkItems::kColumnCount);
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(Form().windowTitle(), "Vornakle");
}

TEST_F(MainFormTest, WithoutFavoritesTheDialogHasNoSuggestion) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    Start();
    ASSERT_EQ(dialogs_->Questions().size(), 1u);
    EXPECT_TRUE(dialogs_->Questions()[0].defaultText.isEmpty());
    EXPECT_EQ(Captions(), Strings{"a"});
}

TEST_F(MainFormTest, CancellingTheFolderDialogEndsBeforeAnyWindow) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    Start(false);
    EXPECT_FALSE(Form().FolderChosen());
    EXPECT_FALSE(Form().isVisible());
    EXPECT_EQ(Form().Root(), nullptr);
    EXPECT_EQ(Tree()->topLevelItemCount(), 0);
}

TEST_F(MainFormTest, CollectionWithoutSubfoldersIsOneItem) {
    collection_.WriteFile("one.url", ShortcutText("http://1/"));
    collection_.WriteFile("two.url", ShortcutText("http://2/"));
    Start();
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(Tree()->topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(Captions(), (Strings{"one", "two"}));
}

TEST_F(MainFormTest, FoldersNeverCollapse) {
    collection_.WriteFile("a/b/x.url", ShortcutText("http://x/"));
    Start();
    QTreeWidgetItem* root = Tree()->topLevelItem(0);
    QTreeWidgetItem* folder = root->child(0);
    Tree()->collapseItem(folder);
    EXPECT_TRUE(folder->isExpanded());
    Tree()->setCurrentItem(root);
    QTest::keyClick(Tree(), Qt::Key_Left);
    QTest::keyClick(Tree(), Qt::Key_Minus);
    const QRect rootRect = Tree()->visualItemRect(root);
    QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, {}, rootRect.center());
    EXPECT_TRUE(root->isExpanded());
    EXPECT_TRUE(folder->isExpanded());
}

TEST_F(MainFormTest, SelectingAFolderFillsTheListWithItsLinksOnly) {
    collection_.WriteFile("only folders/sub/x.url", ShortcutText("http://x/"));
    collection_.WriteFile("mixed/b.url", ShortcutText("http://b/"));
    collection_.WriteFile("mixed/inner/c.url", ShortcutText("http://c/"));
    collection_.WriteFile("mixed/a.url", ShortcutText("http://a/"));
    Start();
    QTreeWidgetItem* root = Tree()->topLevelItem(0);
    Tree()->setCurrentItem(root->child(0));  // "mixed"
    EXPECT_EQ(Captions(), (Strings{"a", "b"}));
    EXPECT_EQ(Column(LinkItems::kColumnUrl), (Strings{"http://a/", "http://b/"}));
    EXPECT_EQ(Form().SelectedFolder(), FolderNodeOf(root->child(0)));
    Tree()->setCurrentItem(root->child(1));  // "only folders"
    EXPECT_EQ(Items()->Count(), 0);
}

TEST_F(MainFormTest, HeaderClicksFollowTheSortRules) {
    collection_.WriteFile("b.url", ShortcutText("http://a-url/"));
    collection_.WriteFile("a.url", ShortcutText("http://c-url/"));
    collection_.WriteFile("c.url", ShortcutText("http://b-url/"));
    Start();
    QHeaderView* header = List()->header();
    const auto click = [&](int column) { emit header->sectionClicked(column); };

    click(LinkItems::kColumnUrl);
    EXPECT_EQ(Captions(), (Strings{"b", "c", "a"}));
    EXPECT_EQ(Items()->HeaderImage(LinkItems::kColumnUrl), kImageSortAscending);
    EXPECT_EQ(Items()->HeaderImage(LinkItems::kColumnName), -1);

    click(LinkItems::kColumnUrl);
    EXPECT_EQ(Captions(), (Strings{"a", "c", "b"}));
    EXPECT_EQ(Items()->HeaderImage(LinkItems::kColumnUrl), kImageSortDescending);

    click(LinkItems::kColumnName);  // another column keeps the direction
    EXPECT_EQ(Captions(), (Strings{"c", "b", "a"}));
    EXPECT_EQ(Items()->HeaderImage(LinkItems::kColumnName), kImageSortDescending);
    EXPECT_EQ(Items()->HeaderImage(LinkItems::kColumnUrl), -1);
}

TEST_F(MainFormTest, StatusColumnSortsByTextAndAChangeAloneDoesNotResort) {
    for (const char* name : {"n1", "n2", "n3", "n4", "n5"}) {
        collection_.WriteFile(std::string(name) + ".url", ShortcutText("http://x/"));
    }
    Start();
    TBookTree* root = Form().Root();
    const int statuses[] = {403, 200, 1, 404, 5};
    for (int index = 0; index < 5; ++index) {
        root->Child(index)->Status = LinkStatus::FromStored(statuses[index]);
    }
    for (int row = 0; row < Items()->Count(); ++row) {
        ShowLinkStatus(*Items(), row);
    }
    emit List()->header()->sectionClicked(LinkItems::kColumnStatus);
    // Empty texts first, then "Nicht gefunden", "OK", "Verboten".
    const Strings order = Captions();
    EXPECT_EQ(Column(LinkItems::kColumnStatus),
              (Strings{"", "", "Nicht gefunden", "OK", "Verboten"}));
    EXPECT_EQ((Strings{order[2], order[3], order[4]}), (Strings{"n4", "n2", "n1"}));

    // A check changes a status: the row keeps its place.
    const int row = Items()->IndexOfNode(root->Child(0));  // n1, "Verboten", last
    ASSERT_EQ(row, 4);
    root->Child(0)->Status = LinkStatus::Reply(200);
    ShowLinkStatus(*Items(), row);
    EXPECT_EQ(Captions(), order);
    EXPECT_EQ(Shown(*Items(), 4).StatusText, "OK");

    // Adding an item re-sorts the whole list by the same rule.
    collection_.WriteFile("n0.url", ShortcutText("http://x/"));
    TBookTree* added = root->AddChild("http://x/");
    added->Status = LinkStatus::Reply(401);
    added->Path = collection_.Path("n0.url");
    AddLinkItem(*Items(), added);
    EXPECT_EQ(Column(LinkItems::kColumnStatus),
              (Strings{"", "", "Nicht autorisiert", "Nicht gefunden", "OK", "OK"}));
}

TEST_F(MainFormTest, CurrentRulesShowTheOutcomesClassAndReasonAndSortByThem) {
    for (const char* name : {"a.url", "b.url", "c.url"}) {
        collection_.WriteFile(name, ShortcutText("http://x/"));
    }
    settings_.Rules = CheckRules::Current;
    Start();
    const int classColumn = LinkItems::kColumnCount;
    EXPECT_EQ(Items()->headerData(classColumn + 1, Qt::Horizontal), "Grund");
    EXPECT_EQ(Form().Report()->ReportItems().headerData(classColumn, Qt::Horizontal), "Klasse");
    // At the window's first size every column shows, the reason as wide as
    // the class at least.
    const QHeaderView* header = List()->header();
    EXPECT_LE(header->sectionPosition(classColumn + 1) + header->sectionSize(classColumn + 1),
              List()->viewport()->width());
    EXPECT_GE(header->sectionSize(classColumn + 1), header->sectionSize(classColumn));
    // "c" keeps its status from the file: no outcome, nothing to show.
    for (const auto& [index, status, state] :
         {std::tuple{0, int{kStatusUnknown}, OutcomeState::Checked},
          std::tuple{1, 200, OutcomeState::Cached}}) {
        auto verdict = std::make_unique<LinkVerdict>();
        auto outcome = std::make_shared<LinkOutcome>();
        outcome->State = state;
        outcome->Result.Status = LinkStatus::FromStored(status);
        outcome->Result.Reason = index == 0 ? FailureReason::Refused : FailureReason::None;
        verdict->Outcome = std::move(outcome);
        Form().Root()->Child(index)->FileStatus(LinkStatus::FromStored(status), std::move(verdict));
    }
    emit List()->header()->sectionClicked(classColumn);
    EXPECT_EQ(Column(classColumn), (Strings{"", "ok", "unknown"}));
    emit List()->header()->sectionClicked(classColumn + 1);
    emit List()->header()->sectionClicked(classColumn + 1);  // descending
    EXPECT_EQ(Column(classColumn + 1), (Strings{"refused", "cached", ""}));
    EXPECT_EQ(Captions(), (Strings{"a", "b", "c"}));
}

TEST_F(MainFormTest, SelectionFollowsItsLinkWhenTheListResorts) {
    collection_.WriteFile("a.url", ShortcutText("http://3/"));
    collection_.WriteFile("b.url", ShortcutText("http://1/"));
    collection_.WriteFile("c.url", ShortcutText("http://2/"));
    Start();
    List()->setCurrentIndex(Items()->index(0, 0));  // "a"
    emit List()->header()->sectionClicked(LinkItems::kColumnUrl);
    EXPECT_EQ(Captions(), (Strings{"b", "c", "a"}));
    EXPECT_EQ(List()->currentIndex().row(), 2);
}

TEST_F(MainFormTest, BusyModeDisablesAndGreysAndIdleRestores) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    Start();
    const char* const disabled[] = {"PLVList",        "PTVTree",   "BVerifyOne", "BVerifyAll",
                                    "BVerifyCurrent", "BEditName", "BEditURL"};
    QAbstractButton* exitButton = Button("BExit");

    Form().EnableControls(false);
    for (const char* name : disabled) {
        EXPECT_FALSE(Form().findChild<QWidget*>(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(Button("BReport")->isEnabled());
    EXPECT_TRUE(exitButton->isEnabled());
    EXPECT_EQ(exitButton->text(), "&Cancel");
    EXPECT_EQ(Tree()->palette().color(QPalette::Disabled, QPalette::Text), QColor(0xC0C0C0));
    EXPECT_EQ(List()->palette().color(QPalette::Text), QColor(0xC0C0C0));

    Form().EnableControls(true);
    for (const char* name : disabled) {
        EXPECT_TRUE(Form().findChild<QWidget*>(name)->isEnabled()) << name;
    }
    EXPECT_EQ(exitButton->text(), "&Exit");
    EXPECT_EQ(Tree()->palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(List()->palette().color(QPalette::Text), QColor(Qt::black));
}

TEST_F(MainFormTest, ExitWhileIdleClosesTheWindow) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    Start();
    QTest::mouseClick(Button("BExit"), Qt::LeftButton);
    EXPECT_FALSE(Form().isVisible());
}

TEST_F(MainFormTest, CancelWhileBusyOnlyRequestsTheStop) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    Start();
    Form().EnableControls(false);
    EXPECT_FALSE(Form().CancelRequested());
    QTest::mouseClick(Button("BExit"), Qt::LeftButton);
    EXPECT_TRUE(Form().isVisible());
    EXPECT_TRUE(Form().CancelRequested());
    EXPECT_EQ(Button("BExit")->text(), "&Exit");
    // A second click before the command has ended closes the window once
    // the command has ended, back in the message loop.
    QTest::mouseClick(Button("BExit"), Qt::LeftButton);
    EXPECT_TRUE(Form().isVisible());
    Form().EnableControls(true);
    EXPECT_FALSE(Form().CancelRequested());
    QApplication::processEvents();
    EXPECT_FALSE(Form().isVisible());
}

TEST_F(MainFormTest, DesignNamesCaptionsAndGeometry) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    Start();
    const std::pair<const char*, const char*> captions[] = {
        {"BVerifyOne", "&Verify Link"},
        {"BVerifyCurrent", "Verify &Available Links"},
        {"BVerifyAll", "Verify All &Links"},
        {"BEditName", "Edit &Name"},
        {"BEditURL", "Edit &URL"},
        {"BReport", "Show &Report"},
        {"BExit", "&Exit"}};
    for (const auto& [name, caption] : captions) {
        ASSERT_NE(Button(name), nullptr) << name;
        EXPECT_EQ(Button(name)->text(), QString::fromUtf8(caption));
    }
    EXPECT_EQ(Button("BExit")->geometry(), QRect(352, 24, 113, 57));
    EXPECT_EQ(Form().findChild<QGroupBox*>("GroupBox")->geometry(), QRect(8, 8, 481, 97));
    for (const char* name : {"PTVTree", "Splitter", "PLayout", "PLVList", "StatusPanel",
                             "ProgressBar", "PopupMenuTV", "PopupMenuLV", "PMSetStatus"}) {
        EXPECT_NE(Form().findChild<QObject*>(name), nullptr) << name;
    }
    const std::pair<const char*, const char*> items[] = {{"PMCreateDir", "&Create Directory"},
                                                         {"PMRenameDir", "&Rename Directory"},
                                                         {"PMDeleteDir", "&Delete Directory"},
                                                         {"PMOpeninBrowser", "&Open in Browser"},
                                                         {"PMVerify", "&Verify"},
                                                         {"PMRename", "Edit &Name"},
                                                         {"PMEditURL", "Edit &URL"},
                                                         {"PMCreateLink", "&Create Link"},
                                                         {"PMDelete", "&Delete"},
                                                         {"PMSSOK", "&OK"},
                                                         {"PMSSNotTested", "&Not Tested"},
                                                         {"PMSSInvalid", "&Invalid"},
                                                         {"PMSSUnknown", "&Unknown"}};
    for (const auto& [name, caption] : items) {
        const auto* action = Form().findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_EQ(action->text(), QString::fromUtf8(caption));
    }
    EXPECT_EQ(Form().findChild<QAction*>("PMSSInvalid")->data().toInt(), 3);
    EXPECT_EQ(Form().findChild<QMenu*>("PopupMenuTV")->defaultAction()->objectName(),
              "PMRenameDir");
    auto* progress = Form().findChild<QProgressBar*>("ProgressBar");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(Form().findChild<QFrame*>("StatusPanel")->height(), 21);
    EXPECT_EQ(List()->columnWidth(0), 150);
    EXPECT_EQ(List()->columnWidth(1), 250);
    EXPECT_EQ(List()->columnWidth(2), 80);

    // The list grows with the window; the tree keeps its width.
    const int listWidth = List()->width();
    const int treeWidth = Tree()->width();
    Form().resize(Form().width() + 200, Form().height() + 100);
    QApplication::processEvents();
    EXPECT_EQ(List()->width(), listWidth + 200);
    EXPECT_EQ(Tree()->width(), treeWidth);

    // Tab order: the buttons in their designed sequence.
    QWidget* widget = Button("BVerifyOne");
    std::vector<std::string> order;
    for (int step = 0; step < 6; ++step) {
        widget = widget->nextInFocusChain();
        while (qobject_cast<QAbstractButton*>(widget) == nullptr) {
            widget = widget->nextInFocusChain();
        }
        order.push_back(widget->objectName().toStdString());
    }
    EXPECT_EQ(order, (Strings{"BVerifyAll", "BVerifyCurrent", "BEditName", "BEditURL", "BExit",
                              "BReport"}));
}

// Over ssh or on a console the program says what it needs and what to use
// instead, and ends with its own exit code rather than the toolkit's abort.
TEST(ProgramTest, WithoutADisplayItSaysSoAndEnds) {
    constexpr int kProgramEndLimitMilliseconds = 60000;
    // No X server answers on a display of this number.
    for (const char* display : {"", ":65000"}) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("DISPLAY"), QString::fromUtf8(display));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VORNAKLE_PROGRAM), QStringList());
        // Only a failure waits this long: the program would show a window.
        if (!program.waitForFinished(kProgramEndLimitMilliseconds)) {
            program.kill();
            program.waitForFinished();
            FAIL() << "the program did not end, DISPLAY=" << display;
        }
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << display;
        EXPECT_EQ(program.exitCode(), 2) << display;
        const QString said = QString::fromUtf8(program.readAllStandardError());
        EXPECT_TRUE(said.contains(QStringLiteral("braucht eine grafische Sitzung")))
            << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("vornakle-check"))) << said.toStdString();
    }
}

// A link that names a write-only kernel file cannot be opened even by root,
// who may read every ordinary file.
TEST_F(MainFormTest, ScanErrorIsReportedAndTheTreeStaysEmpty) {
    const char* const writeOnly = "/proc/sys/vm/drop_caches";
    if (::access(writeOnly, F_OK) != 0 || ::access(writeOnly, R_OK) == 0) {
        GTEST_SKIP() << "no file here that nobody may read";
    }
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    collection_.MakeSymlink(writeOnly, "b.url");
    collection_.WriteFile("c.url", ShortcutText("http://c/"));
    Start();
    const std::vector<QString> errors = dialogs_->Texts(DialogKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].toStdString(),
              "Datei " + collection_.Path("b.url") + " kann nicht geöffnet werden");
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(Tree()->topLevelItemCount(), 0);
    EXPECT_EQ(Items()->Count(), 0);
    EXPECT_EQ(Form().SelectedFolder(), nullptr);
    // Commands that need a folder find none and do nothing.
    Form().TVTreeChange(nullptr);
    EXPECT_EQ(Items()->Count(), 0);
}

}  // namespace
}  // namespace vornakle::testing
