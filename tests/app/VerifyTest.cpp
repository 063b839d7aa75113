#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "MainFormFixture.h"
#include "store/LinkStatus.h"
#include "store/widgets/BookTreeView.h"
#include "support/LoopbackServer.h"

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

ServerScript Answer(const std::string& statusLine) {
    return ServerScript().ReadUntil("\r\n\r\n").Send(statusLine + "\r\nServer: test\r\n\r\n");
}

std::string UrlOf(const LoopbackServer& server, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
}

std::vector<int> Values(const QSignalSpy& spy) {
    std::vector<int> values;
    for (const QList<QVariant>& arguments : spy) {
        values.push_back(arguments.at(0).toInt());
    }
    return values;
}

class VerifyTest : public MainFormFixture {
protected:
    QProgressBar* Progress() { return Form().findChild<QProgressBar*>("ProgressBar"); }
    int RowOf(const char* caption) const {
        for (int row = 0; row < Items()->Count(); ++row) {
            if (Items()->Item(row).Caption == caption) {
                return row;
            }
        }
        return -1;
    }
    const LinkItem& ItemOf(const char* caption) const { return Items()->Item(RowOf(caption)); }
    void Select(const char* caption) { List()->setCurrentIndex(Items()->index(RowOf(caption), 0)); }
};

TEST_F(VerifyTest, RepliesBecomeStatusesAndFailuresBecomeUnknown) {
    LoopbackServer ok(Answer("HTTP/1.0 200 OK"));
    LoopbackServer missing(Answer("HTTP/1.0 404 Not Found"));
    LoopbackServer moved(Answer("HTTP/1.0 301 Moved Permanently"));
    LoopbackServer garbage(ServerScript().ReadUntil("\r\n\r\n").Send("no status line\r\n\r\n"));
    RefusingPort refusing;
    collection_.WriteFile("a ok.url", ShortcutText(UrlOf(ok)));
    collection_.WriteFile("b missing.url", ShortcutText(UrlOf(missing, "/gone")));
    collection_.WriteFile("c moved.url", ShortcutText(UrlOf(moved)));
    collection_.WriteFile(
        "d refused.url", ShortcutText("http://127.0.0.1:" + std::to_string(refusing.Port()) + "/"));
    collection_.WriteFile("e https.url", ShortcutText("https://127.0.0.1/"));
    collection_.WriteFile("f empty.url", "[InternetShortcut]\r\n");
    collection_.WriteFile("g garbage.url", ShortcutText(UrlOf(garbage)));
    Start();

    QSignalSpy steps(Progress(), &QProgressBar::valueChanged);
    QTest::mouseClick(Button("BVerifyCurrent"), Qt::LeftButton);
    EXPECT_EQ(Progress()->maximum(), 7);
    // One step per link, then back to 0.
    EXPECT_EQ(Values(steps), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 0}));

    const std::tuple<const char*, int, int, const char*> expected[] = {
        {"a ok", 200, kImageOk, "OK"},
        {"b missing", 404, kImageInvalid, "Nicht gefunden"},
        // A 301 without a Location leads nowhere: no usable answer.
        {"c moved", 5, kImageUnknown, ""},
        {"d refused", 5, kImageUnknown, ""},
        {"e https", 5, kImageUnknown, ""},
        {"f empty", 5, kImageUnknown, ""},
        {"g garbage", 5, kImageUnknown, ""}};
    for (const auto& [caption, status, image, text] : expected) {
        const LinkItem& item = ItemOf(caption);
        EXPECT_EQ(item.Node->Status, status) << caption;
        EXPECT_EQ(item.ImageIndex, image) << caption;
        EXPECT_EQ(item.StatusText, QString::fromUtf8(text)) << caption;
    }
    EXPECT_NE(missing.Received().find("HEAD /gone HTTP/1.0\r\n"), std::string::npos);
    EXPECT_FALSE(Form().Busy());
    EXPECT_EQ(Button("BExit")->text(), "&Exit");
}

// The client keeps the host of its last request; a URL naming none must not
// be checked against that server.
TEST_F(VerifyTest, LinkWithoutAHostNeverReachesThePreviousServer) {
    LoopbackServer ok(Answer("HTTP/1.0 200 OK"));
    collection_.WriteFile("a.url", ShortcutText(UrlOf(ok)));
    collection_.WriteFile("b.url", ShortcutText("/relative/page"));
    Start();
    QTest::mouseClick(Button("BVerifyCurrent"), Qt::LeftButton);
    EXPECT_EQ(ItemOf("a").Node->Status, 200);
    EXPECT_EQ(ItemOf("b").Node->Status, kStatusUnknown);
    EXPECT_EQ(ok.ConnectionsAccepted(), 1);
}

// The close box during a check whose server holds the request: the window
// stays until the command has stopped, and then the program's message loop
// ends, as the program does.
TEST_F(VerifyTest, ClosingDuringARunningCheckEndsTheProgramOnceTheCheckHasStopped) {
    LoopbackServer silent(ServerScript().ReadUntil("\r\n\r\n").Hold());
    collection_.WriteFile("a.url", ShortcutText(UrlOf(silent, "/a")));
    collection_.WriteFile("b.url", ShortcutText(UrlOf(silent, "/b")));
    Start();

    bool closed = false;
    bool shownAfterClose = false;
    bool busyAfterClose = false;
    QTimer whenWaiting;
    QObject::connect(&whenWaiting, &QTimer::timeout, &Form(), [&] {
        if (closed || silent.Received().find("\r\n\r\n") == std::string::npos) {
            return;
        }
        closed = true;
        Form().close();
        shownAfterClose = Form().isVisible();
        busyAfterClose = Form().Busy();
    });
    whenWaiting.start(10);
    QTimer::singleShot(0, &Form(),
                       [this] { QTest::mouseClick(Button("BVerifyAll"), Qt::LeftButton); });
    // Only a failure gets this far: the program would hang.
    QTimer::singleShot(LoopbackServer::kWaitLimit, &Form(), [this] {
        ADD_FAILURE() << "the program did not end";
        Form().AbortCheck();
        QApplication::exit(1);
    });
    EXPECT_EQ(QApplication::exec(), 0);

    EXPECT_TRUE(closed);
    EXPECT_TRUE(shownAfterClose);
    EXPECT_TRUE(busyAfterClose);
    EXPECT_FALSE(Form().isVisible());
    EXPECT_FALSE(Form().Busy());
    // The check under way was ended, found nothing out, and none followed.
    EXPECT_EQ(ItemOf("a").Node->Status, kStatusNotTested);
    EXPECT_EQ(silent.ConnectionsAccepted(), 1);
}

TEST_F(VerifyTest, VerifyLinkChecksTheSelectionOnlyAndNothingWithoutOne) {
    LoopbackServer ok(Answer("HTTP/1.0 200 OK"));
    collection_.WriteFile("a.url", ShortcutText(UrlOf(ok)));
    collection_.WriteFile("b.url", ShortcutText(UrlOf(ok)));
    Start();
    QTest::mouseClick(Button("BVerifyOne"), Qt::LeftButton);
    EXPECT_EQ(ok.ConnectionsAccepted(), 0);
    EXPECT_EQ(ItemOf("a").Node->Status, kStatusNotTested);
    EXPECT_EQ(Button("BExit")->text(), "&Exit");

    Select("b");
    QTest::mouseClick(Button("BVerifyOne"), Qt::LeftButton);
    EXPECT_EQ(ItemOf("b").Node->Status, 200);
    EXPECT_EQ(ItemOf("a").Node->Status, kStatusNotTested);
    EXPECT_EQ(ok.ConnectionsAccepted(), 1);
}

TEST_F(VerifyTest, ProgressCountsEveryLinkAndEveryFolder) {
    LoopbackServer ok(Answer("HTTP/1.0 200 OK"));
    collection_.WriteFile("top.url", ShortcutText(UrlOf(ok)));
    collection_.WriteFile("one/x.url", ShortcutText(UrlOf(ok)));
    collection_.WriteFile("one/y.url", ShortcutText(UrlOf(ok)));
    collection_.MakeDirectory("two");
    Start();
    QSignalSpy steps(Progress(), &QProgressBar::valueChanged);
    QTest::mouseClick(Button("BVerifyAll"), Qt::LeftButton);
    EXPECT_EQ(Progress()->maximum(), 5);
    // 3 links and 3 folders: one step more than the maximum, which starts
    // the bar over, so the closing reset to 0 changes nothing.
    EXPECT_EQ(Values(steps), (std::vector<int>{1, 2, 3, 4, 5, 0}));
    EXPECT_EQ(ok.ConnectionsAccepted(), 3);
    // The last folder stays selected, with its (empty) list.
    EXPECT_EQ(Tree()->currentItem()->text(0), "two");
    EXPECT_EQ(Items()->Count(), 0);
    for (TTree* child : Form().Root()->Children) {
        auto* node = static_cast<TBookTree*>(child);
        if (!node->IsFolder()) {
            EXPECT_EQ(node->Status, 200);
        }
    }
}

TEST_F(VerifyTest, EmptyListChecksNothing) {
    collection_.MakeDirectory("folder");
    Start();
    QTest::mouseClick(Button("BVerifyCurrent"), Qt::LeftButton);
    EXPECT_EQ(Progress()->maximum(), 0);
    EXPECT_FALSE(Form().Busy());
}

// While the server holds the request, the item shows image 4 beside its old
// text; Cancel then ends the request at once and the link keeps its status.
TEST_F(VerifyTest, CancelEndsASilentRequestAndKeepsTheOldStatus) {
    LoopbackServer silent(ServerScript().Hold());
    LoopbackServer ok(Answer("HTTP/1.0 200 OK"));
    collection_.WriteFile("a.url", ShortcutText(UrlOf(silent)));
    collection_.WriteFile("b.url", ShortcutText(UrlOf(ok)));
    collection_.WriteFile("sub/c.url", ShortcutText(UrlOf(ok)));
    Start();
    TBookTree* a = ItemOf("a").Node;
    a->Status = 404;
    ShowLinkStatus(*Items(), RowOf("a"));

    bool sawBeingTested = false;
    QString textDuringCheck;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!Form().CheckRunning()) {
            return;
        }
        probe.stop();
        sawBeingTested = ItemOf("a").ImageIndex == kImageBeingTested;
        textDuringCheck = ItemOf("a").StatusText;
        EXPECT_EQ(Button("BExit")->text(), "&Cancel");
        QTest::mouseClick(Button("BExit"), Qt::LeftButton);
    });
    probe.start();
    QTest::mouseClick(Button("BVerifyAll"), Qt::LeftButton);

    EXPECT_TRUE(sawBeingTested);
    EXPECT_EQ(textDuringCheck, "Nicht gefunden");
    EXPECT_EQ(a->Status, 404);
    EXPECT_EQ(ItemOf("a").ImageIndex, kImageInvalid);
    EXPECT_EQ(ItemOf("b").Node->Status, kStatusNotTested);
    EXPECT_EQ(ok.ConnectionsAccepted(), 0);
    EXPECT_EQ(Tree()->currentItem(), Tree()->topLevelItem(0));
    EXPECT_FALSE(Form().Busy());
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(Progress()->value(), 0);
}

TEST_F(VerifyTest, SilentServerEndsWithTheTimeOut) {
    LoopbackServer silent(ServerScript().Hold());
    UnansweringPort unanswering;
    collection_.WriteFile("a.url", ShortcutText(UrlOf(silent)));
    collection_.WriteFile(
        "b.url", ShortcutText("http://127.0.0.1:" + std::to_string(unanswering.Port()) + "/"));
    Start();
    Form().SetCheckTimeOut(300);
    QTest::mouseClick(Button("BVerifyCurrent"), Qt::LeftButton);
    EXPECT_EQ(ItemOf("a").Node->Status, kStatusUnknown);
    EXPECT_EQ(ItemOf("b").Node->Status, kStatusUnknown);
}

TEST_F(VerifyTest, UnreadableShortcutEndsVerifyAllWithItsMessage) {
    LoopbackServer ok(Answer("HTTP/1.0 200 OK"));
    collection_.WriteFile("a/1.url", ShortcutText(UrlOf(ok)));
    collection_.WriteFile("b/2.url", ShortcutText(UrlOf(ok)));
    collection_.WriteFile("c/3.url", ShortcutText(UrlOf(ok)));
    Start();
    std::remove(collection_.Path("b/2.url").c_str());
    QTest::mouseClick(Button("BVerifyAll"), Qt::LeftButton);
    EXPECT_EQ(dialogs_->Texts(DialogKind::Error),
              std::vector<QString>{QString::fromStdString("Datei " + collection_.Path("b/2.url") +
                                                          " kann nicht geöffnet werden")});
    EXPECT_EQ(ok.ConnectionsAccepted(), 1);
    EXPECT_EQ(Tree()->currentItem()->text(0), "b");
    EXPECT_EQ(Progress()->value(), 0);
    EXPECT_FALSE(Form().Busy());
}

TEST_F(VerifyTest, NoSecondRequestWhileOneIsUnderWay) {
    LoopbackServer slow(
        ServerScript().ReadUntil("\r\n\r\n").Pause(300ms).Send("HTTP/1.0 200 OK\r\n\r\n"));
    collection_.WriteFile("a.url", ShortcutText(UrlOf(slow)));
    collection_.WriteFile("b.url", ShortcutText(UrlOf(slow)));
    Start();
    int nestedStatusBefore = 0;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!Form().CheckRunning()) {
            return;
        }
        probe.stop();
        // What the report window would do during the main window's check.
        nestedStatusBefore = ItemOf("b").Node->Status;
        Form().TestItem(*Items(), RowOf("b"));
    });
    probe.start();
    Select("a");
    QTest::mouseClick(Button("BVerifyOne"), Qt::LeftButton);
    EXPECT_EQ(ItemOf("a").Node->Status, 200);
    EXPECT_EQ(nestedStatusBefore, kStatusNotTested);
    EXPECT_EQ(ItemOf("b").Node->Status, kStatusNotTested);
    EXPECT_EQ(slow.ConnectionsAccepted(), 1);
}

}  // namespace
}  // namespace vornakle::testing
