#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <array>
#include <map>
#include <numeric>

#include <QProcess>

#include "MainFormFixture.h"
#include "app/ProgramOptions.h"
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
            if (Shown(*Items(), row).Caption == caption) {
                return row;
            }
        }
        return -1;
    }
    ShownLink ItemOf(const char* caption) const { return Shown(*Items(), RowOf(caption)); }
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
    TempTree state;
    Form().KeepHistoryIn(state.Path("history.sqlite"));

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
        const ShownLink& item = ItemOf(caption);
        EXPECT_EQ(item.Node->Status, LinkStatus::FromStored(status)) << caption;
        EXPECT_EQ(item.ImageIndex, image) << caption;
        EXPECT_EQ(item.StatusText, QString::fromUtf8(text)) << caption;
        // Classic checks tell nothing beyond the status.
        EXPECT_TRUE(item.StatusToolTip.isEmpty()) << caption;
    }
    EXPECT_NE(missing.Received().find("HEAD /gone HTTP/1.0\r\n"), std::string::npos);
    EXPECT_FALSE(state.Exists("history.sqlite")) << "classic statuses stay in memory";
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
    EXPECT_EQ(ItemOf("a").Node->Status, LinkStatus::Reply(200));
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
    EXPECT_EQ(ItemOf("b").Node->Status, LinkStatus::Reply(200));
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
            EXPECT_EQ(node->Status, LinkStatus::Reply(200));
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
    a->Status = LinkStatus::Reply(404);
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
    EXPECT_EQ(a->Status, LinkStatus::Reply(404));
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
    LinkStatus nestedStatusBefore;
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
    EXPECT_EQ(ItemOf("a").Node->Status, LinkStatus::Reply(200));
    EXPECT_EQ(nestedStatusBefore, kStatusNotTested);
    EXPECT_EQ(ItemOf("b").Node->Status, kStatusNotTested);
    EXPECT_EQ(slow.ConnectionsAccepted(), 1);
}

// Checks of many links at once: a collection spread over several loopback
// addresses, each server holding its replies until a second connection is
// open (so two at once per host happen whatever the machine's speed), and
// links that fail without a server.
class AtOnceTest : public VerifyTest {
protected:
    static constexpr int kHosts = 3;
    static constexpr int kLinksPerHost = 4;

    void SetUp() override {
        settings_.Rules = CheckRules::Current;
        settings_.Jobs = 8;
        settings_.PerHost = 2;
        const char* const statusLines[kHosts] = {"HTTP/1.0 200 OK", "HTTP/1.0 404 Not Found",
                                                 "HTTP/1.0 410 Gone"};
        for (int host = 0; host < kHosts; ++host) {
            LoopbackServer::Options options;
            options.address = "127.0.0." + std::to_string(host + 2);
            servers_.push_back(std::make_unique<LoopbackServer>(
                ServerScript()
                    .ReadUntil("\r\n\r\n")
                    .AwaitOpen(2, 2s)
                    // Long enough for the partner to see both open too, or
                    // the last of the host's links would wait out the limit.
                    .Pause(100ms)
                    .StopCounting()
                    .Send(std::string(statusLines[host]) + "\r\n\r\n"),
                options));
            for (int link = 0; link < kLinksPerHost; ++link) {
                // Spread over the folders, so a walk of the tree would show.
                collection_.WriteFile("f" + std::to_string(link % 2) + "/h" + std::to_string(host) +
                                          "l" + std::to_string(link) + ".url",
                                      ShortcutText("http://" + options.address + ":" +
                                                   std::to_string(servers_.back()->Port()) + "/" +
                                                   std::to_string(link)));
            }
        }
        collection_.WriteFile(
            "refused.url",
            ShortcutText("http://127.0.0.1:" + std::to_string(refusing_.Port()) + "/"));
        collection_.WriteFile("empty.url", "[InternetShortcut]\r\n");
    }

    // Every link's status by its file's name (without ".url").
    std::map<std::string, LinkStatus> Statuses() {
        std::map<std::string, LinkStatus> statuses;
        std::vector<TBookTree*> pending{Form().Root()};
        while (!pending.empty()) {
            TBookTree* folder = pending.back();
            pending.pop_back();
            for (TTree* child : folder->Children) {
                auto* node = static_cast<TBookTree*>(child);
                if (node->IsFolder()) {
                    pending.push_back(node);
                } else {
                    const std::string name = node->Path.substr(node->Path.rfind('/') + 1);
                    statuses[name.substr(0, name.size() - 4)] = node->Status;
                }
            }
        }
        return statuses;
    }

    std::vector<std::unique_ptr<LoopbackServer>> servers_;
    RefusingPort refusing_;
};

TEST_F(AtOnceTest, VerifyAllGivesTheSequentialStatusesUnderThePerHostLimit) {
    LoopbackServer target(Answer("HTTP/1.0 200 OK"));
    LoopbackServer redirecting(Answer("HTTP/1.0 302 Found\r\nLocation: " + UrlOf(target, "/new")));
    collection_.WriteFile("moved.url", ShortcutText(UrlOf(redirecting, "/old")));
    LoopbackServer signIn(Answer("HTTP/1.0 401 Unauthorized"));
    LoopbackServer wall(Answer("HTTP/1.0 999 Request denied"));
    collection_.WriteFile("login.url", ShortcutText(UrlOf(signIn, "/intern")));
    collection_.WriteFile("blocked.url", ShortcutText(UrlOf(wall, "/in/ann")));
    collection_.WriteFile("bookmarklet.url", ShortcutText("javascript:void(0)"));
    collection_.WriteFile("manual.url", ShortcutText("file://" + collection_.Path("gone.pdf")));
    // Left out by the filter: never asked, it keeps its status.
    LoopbackServer leftOut(Answer("HTTP/1.0 200 OK"));
    collection_.WriteFile("skipped.url", ShortcutText(UrlOf(leftOut, "/skip")));
    Start();
    LinkFilter filter;
    filter.Add(LinkFilter::Kind::Exclude, "/skip$", "--exclude");
    Form().SetCheckFilter(filter);
    QSignalSpy steps(Progress(), &QProgressBar::valueChanged);
    QSignalSpy resets(Items(), &QAbstractItemModel::modelReset);
    QSignalSpy rowChanges(Items(), &QAbstractItemModel::dataChanged);
    QTreeWidgetItem* const selected = Tree()->currentItem();
    QTest::mouseClick(Button("BVerifyAll"), Qt::LeftButton);

    const int links = kHosts * kLinksPerHost + 8;
    std::map<std::string, LinkStatus> expected{
        {"skipped", kStatusNotTested},     {"refused", kStatusUnknown},
        {"empty", kStatusUnknown},         {"bookmarklet", kStatusUnknown},
        {"manual", kStatusUnknown},        {"moved", LinkStatus::Reply(200)},
        {"login", LinkStatus::Reply(401)}, {"blocked", LinkStatus::Reply(999)}};
    for (int host = 0; host < kHosts; ++host) {
        for (int link = 0; link < kLinksPerHost; ++link) {
            expected["h" + std::to_string(host) + "l" + std::to_string(link)] =
                LinkStatus::Reply(std::array{200, 404, 410}[static_cast<std::size_t>(host)]);
        }
    }
    EXPECT_EQ(Statuses(), expected);
    for (std::size_t host = 0; host < servers_.size(); ++host) {
        // One GET per link, as the current rules ask.
        EXPECT_EQ(servers_[host]->ConnectionsAccepted(), kLinksPerHost);
        EXPECT_EQ(servers_[host]->MaxConcurrentConnections(), 2) << servers_[host]->Address();
    }
    EXPECT_EQ(leftOut.ConnectionsAccepted(), 0);
    // One step per finished link, counted in the links alone, then back to 0.
    EXPECT_EQ(Progress()->maximum(), links);
    std::vector<int> counted(static_cast<std::size_t>(links));
    std::iota(counted.begin(), counted.end(), 1);
    counted.push_back(0);
    EXPECT_EQ(Values(steps), counted);
    // The root's list (the two links at the top) changed row by row, in
    // place; the tree's selection never moved.
    EXPECT_EQ(resets.count(), 0);
    EXPECT_GE(rowChanges.count(), 6);
    EXPECT_EQ(Tree()->currentItem(), selected);
    EXPECT_EQ(ItemOf("refused").ImageIndex, kImageUnknown);
    // In German, each with the token vornakle-check's manual explains.
    EXPECT_EQ(ItemOf("empty").StatusToolTip, "Die Verknüpfung enthält keine Adresse (no-url)");
    EXPECT_EQ(ItemOf("moved").StatusToolTip.toStdString(),
              "OK\nWeitergeleitet nach " + UrlOf(target, "/new"));
    EXPECT_EQ(ItemOf("refused").StatusToolTip, "Der Server nimmt keine Verbindung an (refused)");
    // Behind a sign-in is fine; a site that keeps programs out is in doubt.
    EXPECT_EQ(ItemOf("login").ImageIndex, kImageOk);
    EXPECT_EQ(ItemOf("blocked").ImageIndex, kImageUnknown);
    EXPECT_TRUE(ItemOf("blocked").StatusToolTip.contains("(bot-status): 999"));
    // Neither fine nor bad: a link no check applies to has its own image;
    // a file link that is missing is bad.
    EXPECT_EQ(ItemOf("bookmarklet").ImageIndex, kImageNotChecked);
    EXPECT_EQ(ItemOf("bookmarklet").StatusToolTip,
              "Kein Web-Link \u2013 nicht gepr\u00fcft (not-web): javascript:");
    EXPECT_EQ(ItemOf("manual").ImageIndex, kImageUnknown);
    EXPECT_EQ(ItemOf("manual").StatusToolTip.toStdString(),
              "Datei fehlt (file-missing): " + collection_.Path("gone.pdf"));
    // The class and reason columns read what the check found.
    const auto cell = [&](const char* caption, int column) {
        return Items()->data(Items()->index(RowOf(caption), column)).toString().toStdString();
    };
    for (const auto& [caption, linkClass, reason] :
         {std::tuple<const char*, std::string, std::string>{"login", "login", "auth-required"},
          {"bookmarklet", "not-checked", "not-web: javascript: links are not checked"},
          {"manual", "unknown", "file-missing: " + collection_.Path("gone.pdf")},
          {"moved", "ok", ""},
          {"skipped", "", ""}}) {
        EXPECT_EQ(cell(caption, LinkItems::kColumnCount), linkClass) << caption;
        EXPECT_EQ(cell(caption, LinkItems::kColumnCount + 1), reason) << caption;
    }
    EXPECT_FALSE(Form().Busy());
}

// Cancel and the close box both end every request under way at once: the
// servers hold their replies, so only an abort ends the checks, and the links
// keep what they had.
TEST_F(AtOnceTest, CancelAndCloseAbortEveryRequestAtOnce) {
    LoopbackServer silent(ServerScript().ReadUntil("\r\n\r\n").Hold());
    for (int link = 0; link < 4; ++link) {
        collection_.WriteFile("s" + std::to_string(link) + ".url",
                              ShortcutText(UrlOf(silent, "/" + std::to_string(link))));
    }
    for (const bool closeWindow : {false, true}) {
        SCOPED_TRACE(closeWindow ? "close" : "cancel");
        Start();
        // The time-out is far beyond the test's limit: only the abort ends it.
        Form().SetCheckTimeOut(static_cast<int>(LoopbackServer::kWaitLimit.count()) * 2);
        TBookTree* held = ItemOf("s0").Node;
        held->Status = LinkStatus::Reply(404);
        ShowLinkStatus(*Items(), RowOf("s0"));
        const int acceptedBefore = silent.ConnectionsAccepted();

        bool stopped = false;
        QTimer whenWaiting;
        QObject::connect(&whenWaiting, &QTimer::timeout, &Form(), [&] {
            // Two links of the silent host are under way, the fast hosts done.
            if (stopped || silent.ConnectionsAccepted() < acceptedBefore + 2 ||
                Statuses()["h0l3"] != LinkStatus::Reply(200)) {
                return;
            }
            stopped = true;
            EXPECT_EQ(ItemOf("s0").ImageIndex, kImageBeingTested);
            if (closeWindow) {
                Form().close();
                EXPECT_TRUE(Form().isVisible());
            } else {
                QTest::mouseClick(Button("BExit"), Qt::LeftButton);
            }
        });
        whenWaiting.start(10);
        QTimer::singleShot(0, &Form(), [&] {
            QTest::mouseClick(Button("BVerifyAll"), Qt::LeftButton);
            // Back from the command: a cancelled one leaves the program
            // running, a closed window has ended its loop already.
            if (!closeWindow) {
                QApplication::exit(0);
            }
        });
        QTimer::singleShot(LoopbackServer::kWaitLimit, &Form(), [&] {
            ADD_FAILURE() << "the check did not end";
            QApplication::exit(1);
        });
        EXPECT_EQ(QApplication::exec(), 0);
        whenWaiting.stop();

        EXPECT_TRUE(stopped);
        EXPECT_EQ(Form().isVisible(), !closeWindow);
        EXPECT_FALSE(Form().Busy());
        EXPECT_EQ(held->Status, LinkStatus::Reply(404));
        EXPECT_EQ(Statuses()["s1"], kStatusNotTested);
        EXPECT_EQ(ItemOf("s0").ImageIndex, kImageInvalid);
        EXPECT_EQ(ItemOf("s1").ImageIndex, kImageNotTested);
        EXPECT_EQ(Statuses()["h0l0"], LinkStatus::Reply(200));
        // No link of the silent host got past the per-host limit.
        EXPECT_EQ(silent.ConnectionsAccepted(), acceptedBefore + 2);
        EXPECT_EQ(Progress()->value(), 0);
    }
}

// "Verify Current" and "&Verify" check the shown list; the report's "Verify
// All &Links" checks its list at once and drops the links that came back
// fine when it ends.
TEST_F(AtOnceTest, ListCommandsAndTheReportCheckAtOnce) {
    // Not checked, so neither in the report nor a failure in the history.
    collection_.WriteFile("mail.url", ShortcutText("mailto:ann@example.org"));
    Start();
    TempTree state;
    Form().KeepHistoryIn(state.Path("state/history.sqlite"));
    QTest::mouseClick(Button("BVerifyCurrent"), Qt::LeftButton);
    EXPECT_EQ(Column(LinkItems::kColumnStatus), (Strings{"", "", ""}));
    EXPECT_EQ(ItemOf("mail").ImageIndex, kImageNotChecked);
    EXPECT_FALSE(ItemOf("mail").StatusToolTip.contains("Fehlgeschlagen"));
    EXPECT_EQ(ItemOf("refused").Node->Status, kStatusUnknown);
    EXPECT_EQ(Statuses()["h0l0"], kStatusNotTested);

    ItemOf("refused").Node->Status = kStatusNotTested;
    Select("refused");
    QTest::mouseClick(Button("BVerifyOne"), Qt::LeftButton);
    EXPECT_EQ(ItemOf("refused").Node->Status, kStatusUnknown);
    EXPECT_EQ(ItemOf("empty").Node->Status, kStatusUnknown);
    // The history's run of failures, two checks long now.
    EXPECT_TRUE(ItemOf("refused").StatusToolTip.contains(
        QRegularExpression("\nFehlgeschlagen seit \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d "
                           "\\(2 Pr\u00fcfungen in Folge\\)$")))
        << ItemOf("refused").StatusToolTip.toStdString();

    TReportForm& report = *Form().Report();
    std::vector<std::string> listed;
    QTimer::singleShot(0, &report, [&] {
        report.findChild<QPushButton*>("BVerifyAll")->click();
        for (const ShownLink& item : ShownLinks(report.ReportItems())) {
            listed.push_back(item.Caption.toStdString());
        }
        report.accept();
    });
    QTest::mouseClick(Button("BReport"), Qt::LeftButton);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (Strings{"empty", "h1l0", "h1l1", "h1l2", "h1l3", "h2l0", "h2l1", "h2l2",
                               "h2l3", "refused"}));
    EXPECT_EQ(Statuses()["h0l2"], LinkStatus::Reply(200));
    EXPECT_EQ(servers_[0]->MaxConcurrentConnections(), 2);
}

TEST(ProgramOptionsTest, CommandLines) {
    using Mode = ProgramOptions::Mode;
    TempTree files;
    files.WriteFile("check.toml",
                    "exclude = 'a\\.example'\nformat = 'json'\nmax-age = '1d'\noutput = 'x'\n");
    files.WriteFile("typo.toml", "jobs = 2\nexclud = 'a'\n");
    const std::string config = files.Path("check.toml");
    const std::string typo = files.Path("typo.toml");
    const struct {
        Strings arguments;
        Mode mode;
        CheckRules rules;
        int jobs;
        int perHost;
        std::string error;  // empty: accepted
        // What the filter leaves out and lets through, and the cache's age.
        const char* excluded = nullptr;
        const char* checked = nullptr;
        std::optional<std::chrono::seconds> maxAge = std::nullopt;
    } cases[] = {
        {{}, Mode::Run, CheckRules::Classic, kDefaultJobs, kDefaultPerHost, ""},
        {{"--rules", "current", "--jobs=32", "--per-host", "3"},
         Mode::Run,
         CheckRules::Current,
         32,
         3,
         ""},
        {{"--rules=classic", "--jobs", "256"},
         Mode::Run,
         CheckRules::Classic,
         256,
         kDefaultPerHost,
         ""},
        {{"--jobs", "2", "--help"}, Mode::Help, CheckRules::Classic, 2, kDefaultPerHost, ""},
        {{"--version", "--bogus"},
         Mode::Version,
         CheckRules::Classic,
         kDefaultJobs,
         kDefaultPerHost,
         ""},
        {{"--rules", "modern"}, Mode::Run, {}, 0, 0, "--rules is classic or current"},
        {{"--rules"}, Mode::Run, {}, 0, 0, "--rules needs a value"},
        {{"--jobs", "0"}, Mode::Run, {}, 0, 0, "--jobs needs a whole number from 1 to 256"},
        {{"--jobs", "257"}, Mode::Run, {}, 0, 0, "--jobs needs a whole number"},
        {{"--per-host", "2x"}, Mode::Run, {}, 0, 0, "--per-host needs a whole number"},
        {{"--jobs="}, Mode::Run, {}, 0, 0, "--jobs needs a whole number"},
        {{"--help=yes"}, Mode::Run, {}, 0, 0, "--help takes no value"},
        {{"-platform", "xcb"}, Mode::Run, {}, 0, 0, "unknown option \"-platform\""},
        {{"--"}, Mode::Run, {}, 0, 0, "unknown option \"--\""},
        {{"/home/me/Favoriten"}, Mode::Run, {}, 0, 0, "no operands are taken"},
        {{"--rules", "current", "--exclude", "\\.pdf$", "--include=keep", "--max-age", "12h"},
         Mode::Run,
         CheckRules::Current,
         kDefaultJobs,
         kDefaultPerHost,
         "",
         "http://a/x.pdf",
         "http://a/keep.pdf",
         12h},
        // The file's terminal-only keys are ignored; the command line's
        // value wins.
        {{"--config", config, "--max-age=2h", "--rules=current"},
         Mode::Run,
         CheckRules::Current,
         kDefaultJobs,
         kDefaultPerHost,
         "",
         "http://a.example/",
         "http://b.example/",
         2h},
        {{"--exclude", "x"}, Mode::Run, {}, 0, 0, "--exclude needs --rules current"},
        {{"--config", config, "--rules", "classic"}, Mode::Run, {}, 0, 0, "--config needs --rules"},
        {{"--rules=current", "--exclude", "("}, Mode::Run, {}, 0, 0, "--exclude: \"(\" is no"},
        {{"--rules=current", "--config", typo}, Mode::Run, {}, 0, 0, typo + ":2: unknown key"},
    };
    for (const auto& test : cases) {
        std::string joined;
        for (const std::string& argument : test.arguments) {
            joined += argument + " ";
        }
        SCOPED_TRACE(joined);
        if (!test.error.empty()) {
            try {
                ParseProgramOptions(test.arguments);
                ADD_FAILURE() << "accepted";
            } catch (const EUsageError& error) {
                EXPECT_EQ(std::string(error.what()).find(test.error), 0u) << error.what();
            }
            continue;
        }
        const ProgramOptions options = ParseProgramOptions(test.arguments);
        EXPECT_EQ(options.Kind, test.mode);
        EXPECT_EQ(options.Check.Rules, test.rules);
        EXPECT_EQ(options.Check.Jobs, test.jobs);
        EXPECT_EQ(options.Check.PerHost, test.perHost);
        EXPECT_EQ(options.MaxAge, test.maxAge);
        if (test.excluded != nullptr) {
            EXPECT_EQ(options.Filter.Decide(test.excluded).Result, LinkFilter::Verdict::Excluded);
            EXPECT_EQ(options.Filter.Decide(test.checked).Result, LinkFilter::Verdict::Checked);
        }
    }
}

// Help, version and a bad command line need no display.
TEST(ProgramOptionsTest, TheProgramAnswersWithoutADisplay) {
    const struct {
        QStringList arguments;
        int exitCode;
        const char* out;
        const char* error;
    } cases[] = {
        {{"--help"}, 0, "--per-host N", ""},
        {{"--exclude", "x"}, 2, "", "vornakle: --exclude needs --rules current"},
        {{"--version"}, 0, "vornakle ", ""},
        {{"--jobs", "0"}, 2, "", "vornakle: --jobs needs a whole number"},
        {{"--rules", "current"}, 2, "", "braucht eine grafische Sitzung"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.arguments.join(' ').toStdString());
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("DISPLAY"), QString());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VORNAKLE_PROGRAM), test.arguments);
        ASSERT_TRUE(program.waitForFinished(60000));
        EXPECT_EQ(program.exitCode(), test.exitCode);
        const std::string out = program.readAllStandardOutput().toStdString();
        const std::string error = program.readAllStandardError().toStdString();
        EXPECT_NE(out.find(test.out), std::string::npos) << out;
        EXPECT_NE(error.find(test.error), std::string::npos) << error;
        EXPECT_EQ(out.empty(), *test.out == '\0');
    }
}

}  // namespace
}  // namespace vornakle::testing
