#include <QHeaderView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>

#include "MainFormFixture.h"
#include "report/ReportForm.h"
#include "store/LinkStatus.h"
#include "store/widgets/BookTreeView.h"
#include "support/LoopbackServer.h"
#include "support/ShownLinks.h"

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

ServerScript Answer(const std::string& statusLine) {
    return ServerScript().ReadUntil("\r\n\r\n").Send(statusLine + "\r\n\r\n");
}

std::string UrlOf(const LoopbackServer& server) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
}

TBookTree* NodeAt(TBookTree* root, const std::string& path) {
    for (TTree* raw : root->Children) {
        auto* node = static_cast<TBookTree*>(raw);
        if (node->Path == path) {
            return node;
        }
        if (node->IsFolder()) {
            if (TBookTree* found = NodeAt(node, path)) {
                return found;
            }
        }
    }
    return nullptr;
}

class ReportTest : public MainFormFixture {
protected:
    TReportForm& Report() { return *Form().Report(); }
    LinkItems& ReportItems() { return Report().ReportItems(); }
    QTreeView* ReportList() { return Report().findChild<QTreeView*>("LVReport"); }
    QPushButton* ReportButton(const char* name) {
        return Report().findChild<QPushButton*>(QString::fromUtf8(name));
    }
    TBookTree* Node(const std::string& relative) {
        return NodeAt(Form().Root(), collection_.Path(relative));
    }
    std::vector<std::string> ReportCaptions() {
        std::vector<std::string> captions;
        for (const ShownLink& item : ShownLinks(ReportItems())) {
            captions.push_back(item.Caption.toStdString());
        }
        return captions;
    }
    int ReportRowOf(const char* caption) {
        for (int row = 0; row < ReportItems().Count(); ++row) {
            if (Shown(ReportItems(), row).Caption == caption) {
                return row;
            }
        }
        return -1;
    }
    void SelectInReport(const char* caption) {
        ReportList()->setCurrentIndex(ReportItems().index(ReportRowOf(caption), 0));
    }
    // Opens the report with "Show &Report"; while it is shown modally, body
    // runs, then "&OK" closes it.
    void WithReportOpen(const std::function<void()>& body) {
        bool ran = false;
        QTimer::singleShot(0, &Form(), [&] {
            ran = true;
            EXPECT_TRUE(Report().isVisible());
            body();
            QTest::mouseClick(ReportButton("BOK"), Qt::LeftButton);
        });
        QTest::mouseClick(Button("BReport"), Qt::LeftButton);
        EXPECT_TRUE(ran);
        EXPECT_FALSE(Report().isVisible());
    }
};

TEST_F(ReportTest, ListsEveryLinkThatIsNotFineAtEveryDepth) {
    const std::pair<const char*, int> links[] = {
        {"ok hand.url", 2},          {"a/ok 200.url", 200},    {"a/b/found 302.url", 302},
        {"a/b/c/same 304.url", 304}, {"untested.url", 1},      {"a/invalid.url", 3},
        {"a/b/missing.url", 404},    {"a/b/c/unknown.url", 5}, {"moved.url", 301},
        {"gateway.url", 502}};
    for (const auto& [path, status] : links) {
        collection_.WriteFile(path, ShortcutText("http://x/"));
    }
    Start();
    for (const auto& [path, status] : links) {
        Node(path)->Status = LinkStatus::FromStored(status);
    }
    WithReportOpen([&] {
        EXPECT_EQ(ReportCaptions(),
                  (Strings{"gateway", "invalid", "missing", "moved", "unknown", "untested"}));
        EXPECT_EQ(ReportItems().HeaderImage(LinkItems::kColumnName), kImageSortAscending);
        EXPECT_TRUE(ReportButton("BOK")->isVisible());
        EXPECT_TRUE(ReportButton("BVerifyAll")->isVisible());
        EXPECT_FALSE(ReportButton("BCancel")->isVisible());
        EXPECT_EQ(Report().windowTitle(), "ReportForm");
    });
    EXPECT_EQ(ReportItems().Count(), 0);
}

TEST_F(ReportTest, EveryLinkFineOpensAnEmptyReport) {
    collection_.WriteFile("a.url", ShortcutText("http://x/"));
    Start();
    Node("a.url")->Status = LinkStatus::Reply(200);
    WithReportOpen([&] { EXPECT_EQ(ReportItems().Count(), 0); });
}

TEST_F(ReportTest, VerifyAllDropsWhatComesBackFine) {
    LoopbackServer ok(Answer("HTTP/1.0 200 OK"));
    LoopbackServer missing(Answer("HTTP/1.0 404 Not Found"));
    collection_.WriteFile("1.url", ShortcutText(UrlOf(missing)));
    collection_.WriteFile("2.url", ShortcutText(UrlOf(ok)));
    collection_.WriteFile("3.url", ShortcutText(UrlOf(missing)));
    collection_.WriteFile("sub/4.url", ShortcutText(UrlOf(ok)));
    collection_.WriteFile("sub/5.url", ShortcutText(UrlOf(missing)));
    Start();
    WithReportOpen([&] {
        auto* progress = Report().findChild<QProgressBar*>("ProgressBar");
        QSignalSpy steps(progress, &QProgressBar::valueChanged);
        QTest::mouseClick(ReportButton("BVerifyAll"), Qt::LeftButton);
        EXPECT_EQ(ReportCaptions(), (Strings{"1", "3", "5"}));
        EXPECT_EQ(progress->maximum(), 5);
        EXPECT_EQ(steps.count(), 6);  // five steps and the reset
        EXPECT_FALSE(progress->isVisible());
        for (const ShownLink& item : ShownLinks(ReportItems())) {
            EXPECT_EQ(item.Node->Status, LinkStatus::Reply(404));
            EXPECT_EQ(item.StatusText, "Nicht gefunden");
        }
    });
    // The main list shows the new statuses.
    EXPECT_EQ(Shown(*Items(), 1).StatusText, "OK");
}

TEST_F(ReportTest, CancelStopsAfterTheLinkUnderWay) {
    LoopbackServer slow(
        ServerScript().ReadUntil("\r\n\r\n").Pause(200ms).Send("HTTP/1.0 404 Not Found\r\n\r\n"));
    for (const char* name : {"1.url", "2.url", "3.url"}) {
        collection_.WriteFile(name, ShortcutText(UrlOf(slow)));
    }
    Start();
    WithReportOpen([&] {
        QTimer probe;
        probe.setInterval(10);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (Form().CheckRunning()) {
                probe.stop();
                EXPECT_TRUE(ReportButton("BCancel")->isVisible());
                EXPECT_FALSE(ReportButton("BOK")->isVisible());
                QTest::mouseClick(ReportButton("BCancel"), Qt::LeftButton);
            }
        });
        probe.start();
        QTest::mouseClick(ReportButton("BVerifyAll"), Qt::LeftButton);
        EXPECT_EQ(ReportItems().Count(), 3);
        for (const ShownLink& item : ShownLinks(ReportItems())) {
            EXPECT_EQ(item.Node->Status, kStatusNotTested) << item.Caption.toStdString();
            EXPECT_EQ(item.ImageIndex, kImageNotTested);
        }
        EXPECT_TRUE(ReportButton("BOK")->isVisible());
    });
    EXPECT_LE(slow.ConnectionsAccepted(), 1);
}

TEST_F(ReportTest, StatusByHandAndTheDeleteKey) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    collection_.WriteFile("b.url", ShortcutText("http://b/"));
    collection_.WriteFile("sub/c.url", ShortcutText("http://c/"));
    TempTree trash;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(trash.Root()));
    Start();
    WithReportOpen([&] {
        SelectInReport("a");
        Report().PMSetStatusClick(kStatusNotTested);
        EXPECT_EQ(ReportCaptions(), (Strings{"a", "b", "c"}));
        SelectInReport("a");
        Report().PMSetStatusClick(kStatusOkByHand);
        EXPECT_EQ(ReportCaptions(), (Strings{"b", "c"}));
        // The main list behind the report shows its nodes as they are now.
        EXPECT_EQ(Shown(*Items(), 0).ImageIndex, kImageOk);

        SelectInReport("c");
        QTest::keyClick(ReportList(), Qt::Key_Delete);
        EXPECT_EQ(ReportCaptions(), Strings{"b"});
        SelectInReport("b");
        QTest::keyClick(ReportList(), Qt::Key_Delete);
        EXPECT_EQ(Captions(), Strings{"a"}) << "no row of a freed node is left";
    });
    qunsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(dialogs_->Questions().size() == 1);  // only the folder dialog
    EXPECT_FALSE(collection_.Exists("sub/c.url"));
    EXPECT_TRUE(trash.Exists("Trash/files/c.url"));
    EXPECT_TRUE(trash.Exists("Trash/files/b.url"));
    EXPECT_EQ(Node("sub/c.url"), nullptr);
    EXPECT_EQ(Node("a.url")->Status, kStatusOkByHand);
    // Back in the main window the selected folder is listed anew.
    EXPECT_EQ(Shown(*Items(), 0).ImageIndex, kImageOk);
}

TEST_F(ReportTest, EachOpeningStartsSortedByName) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    collection_.WriteFile("b.url", ShortcutText("http://b/"));
    Start();
    Node("a.url")->Status = LinkStatus::Reply(404);
    Node("b.url")->Status = kStatusInvalidByHand;
    WithReportOpen([&] {
        emit ReportList()->header()->sectionClicked(LinkItems::kColumnStatus);
        EXPECT_EQ(ReportCaptions(), (Strings{"b", "a"}));
        EXPECT_EQ(ReportItems().HeaderImage(LinkItems::kColumnStatus), kImageSortAscending);
    });
    WithReportOpen([&] {
        EXPECT_EQ(ReportCaptions(), (Strings{"a", "b"}));
        EXPECT_EQ(ReportItems().HeaderImage(LinkItems::kColumnName), kImageSortAscending);
        EXPECT_EQ(ReportItems().HeaderImage(LinkItems::kColumnStatus), -1);
    });
}

TEST_F(ReportTest, ChangesInTheReportShowInTheMainListAfterwards) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    Start();
    dialogs_->AnswerInput("renamed");
    dialogs_->AnswerInput("http://new/");
    WithReportOpen([&] {
        SelectInReport("a");
        Report().PMRenameClick();
        Report().PMEditURLClick();
    });
    ASSERT_EQ(Items()->Count(), 1);
    EXPECT_EQ(Shown(*Items(), 0).Caption, "renamed");
    EXPECT_EQ(Shown(*Items(), 0).Url, "http://new/");
    EXPECT_EQ(collection_.ReadFile("renamed.url"), ShortcutText("http://new/"));
}

TEST_F(ReportTest, UnreadableShortcutKeepsTheReportClosed) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    collection_.WriteFile("sub/b.url", ShortcutText("http://b/"));
    Start();
    std::remove(collection_.Path("sub/b.url").c_str());
    QTest::mouseClick(Button("BReport"), Qt::LeftButton);
    EXPECT_FALSE(Report().isVisible());
    EXPECT_EQ(dialogs_->Texts(DialogKind::Error),
              std::vector<QString>{QString::fromStdString("Datei " + collection_.Path("sub/b.url") +
                                                          " kann nicht geöffnet werden")});
    EXPECT_EQ(ReportItems().Count(), 0);
}

// Opened during a check of the main window, the report is for looking only;
// closing it lets the check go on with the main list untouched.
TEST_F(ReportTest, ReportOpenedDuringACheckIsViewOnly) {
    LoopbackServer slow(
        ServerScript().ReadUntil("\r\n\r\n").Pause(200ms).Send("HTTP/1.0 404 Not Found\r\n\r\n"));
    collection_.WriteFile("a.url", ShortcutText(UrlOf(slow)));
    collection_.WriteFile("b.url", ShortcutText(UrlOf(slow)));
    Start();
    bool opened = false;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!Form().CheckRunning() || opened) {
            return;
        }
        opened = true;
        probe.stop();
        EXPECT_TRUE(Button("BReport")->isEnabled());
        WithReportOpen([&] {
            EXPECT_TRUE(Report().ViewOnly());
            EXPECT_FALSE(ReportButton("BVerifyAll")->isEnabled());
            EXPECT_FALSE(Report().findChild<QAction*>("PMDelete")->isEnabled());
            EXPECT_FALSE(Report().findChild<QMenu*>("PMSetStatus")->isEnabled());
            SelectInReport("b");
            QTest::keyClick(ReportList(), Qt::Key_Delete);
            QTest::keyClick(ReportList(), Qt::Key_Insert);
            Report().PMSetStatusClick(kStatusOkByHand);
            EXPECT_EQ(ReportItems().Count(), 2);
            QTest::keyClick(ReportList(), Qt::Key_Return);
        });
    });
    probe.start();
    QTest::mouseClick(Button("BVerifyCurrent"), Qt::LeftButton);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(collection_.Exists("b.url"));
    EXPECT_EQ(dialogs_->OpenedUrls(), std::vector<std::string>{UrlOf(slow)});
    ASSERT_EQ(Items()->Count(), 2);
    EXPECT_EQ(Shown(*Items(), 0).Node->Status, LinkStatus::Reply(404));
    EXPECT_EQ(Shown(*Items(), 1).Node->Status, LinkStatus::Reply(404));
    EXPECT_EQ(slow.ConnectionsAccepted(), 2);
    // After the check the report is whole again.
    WithReportOpen([&] { EXPECT_FALSE(Report().ViewOnly()); });
}

// The report shown during a check runs its own event loop over the check's
// wait; the answer that arrives meanwhile must still count when the report
// has been open longer than the check's time-out.
TEST_F(ReportTest, ALongLookAtTheReportDoesNotTimeTheCheckOut) {
    LoopbackServer prompt(
        ServerScript().ReadUntil("\r\n\r\n").Pause(50ms).Send("HTTP/1.0 404 Not Found\r\n\r\n"));
    collection_.WriteFile("a.url", ShortcutText(UrlOf(prompt)));
    Start();
    Form().SetCheckTimeOut(300);
    bool opened = false;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (Form().CheckRunning() && !opened) {
            opened = true;
            probe.stop();
            WithReportOpen([&] { QTest::qWait(900); });
        }
    });
    probe.start();
    List()->setCurrentIndex(Items()->index(0, 0));
    QTest::mouseClick(Button("BVerifyOne"), Qt::LeftButton);
    EXPECT_TRUE(opened);
    EXPECT_EQ(Shown(*Items(), 0).Node->Status, LinkStatus::Reply(404));
}

}  // namespace
}  // namespace vornakle::testing
