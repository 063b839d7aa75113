// Stopping the real program with a signal while its checks wait on silent
// servers.
#include <signal.h>

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <memory>

#include "CheckerProcess.h"
#include "history/CheckHistory.h"
#include "support/LoopbackServer.h"
#include "support/TempTree.h"

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;

// Far beyond the test's bounds: only an abort ends these checks in time.
constexpr char kLongTimeOut[] = "600";
// How long the program may take to stop. Generous: stopping needs no
// network, only the workers to see their aborts and end.
constexpr qint64 kStopLimitMilliseconds = 15000;

struct InterruptCase {
    int signal;
    int exitCode;
    // Another run holds the history: the last batch's wait for it ends
    // with the signal too, long before the busy timeout.
    bool historyHeld = false;
};

class CheckInterrupt : public ::testing::TestWithParam<InterruptCase> {};

TEST_P(CheckInterrupt, StopsAtOnceAbortsTheRequestsAndKeepsWhatWasPrinted) {
    constexpr int kJobs = 3;
    LoopbackServer ok(ServerScript().ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n\r\n"));
    LoopbackServer silent(ServerScript().ReadUntil("\r\n\r\n").Hold());
    TempTree tree;
    tree.WriteFile("0.url", ShortcutText("http://127.0.0.1:" + std::to_string(ok.Port()) + "/"));
    for (int index = 1; index <= 8; ++index) {
        // Distinct addresses: links sharing one are checked once.
        tree.WriteFile(std::to_string(index) + ".url",
                       ShortcutText("http://127.0.0.1:" + std::to_string(silent.Port()) + "/" +
                                    std::to_string(index)));
    }

    std::vector<std::string> arguments = {"--jobs", std::to_string(kJobs), "--per-host",
                                          "8",      "--timeout",           kLongTimeOut};
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> holder(nullptr, &sqlite3_close);
    if (GetParam().historyHeld) {
        const std::string path = tree.Root() + "/history/h.sqlite";
        tree.WriteFile("history/made", "");
        { CheckHistory made(path, HistoryFolder::MustExist); }
        sqlite3* raw = nullptr;
        sqlite3_open(path.c_str(), &raw);
        holder.reset(raw);
        ASSERT_EQ(sqlite3_exec(raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        arguments.insert(arguments.end(), {"--rules", "current", "--history", path});
    }
    arguments.push_back(tree.Root());
    QProcess process;
    StartChecker(process, arguments);
    // Every worker waits on the silent server, and the first link's line is
    // out.
    ASSERT_TRUE(silent.WaitForReceived(kJobs - 1, "\r\n\r\n", kRunLimit));
    std::string printed;
    QElapsedTimer waited;
    waited.start();
    while (printed.find('\n') == std::string::npos && waited.elapsed() < kRunLimit.count()) {
        process.waitForReadyRead(100);
        printed += process.readAllStandardOutput().toStdString();
    }

    QElapsedTimer stopping;
    stopping.start();
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), GetParam().signal), 0);
    CheckerRun run = FinishChecker(process);
    ASSERT_TRUE(run.finished);
    EXPECT_LT(stopping.elapsed(), GetParam().historyHeld
                                      ? CheckHistory::kBusyTimeoutMilliseconds / 2
                                      : kStopLimitMilliseconds);
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.errors;
    EXPECT_EQ(printed + run.output,
              tree.Root() + "\t0\thttp://127.0.0.1:" + std::to_string(ok.Port()) +
                  "/\t200\tOK\tok\t\thttp://127.0.0.1:" + std::to_string(ok.Port()) + "/\t\t" +
                  (GetParam().historyHeld ? "0" : "") + "\t\n");
    EXPECT_NE(run.errors.find("interrupted; 1 of 9 links were checked"), std::string::npos)
        << run.errors;
    // The aborted requests closed their connections.
    EXPECT_TRUE(silent.WaitForFinished(kJobs, 5s));
    EXPECT_EQ(silent.ConnectionsAccepted(), kJobs);
}

INSTANTIATE_TEST_SUITE_P(Signals, CheckInterrupt,
                         ::testing::Values(InterruptCase{SIGINT, 130}, InterruptCase{SIGTERM, 143},
                                           InterruptCase{SIGINT, 130, true}));

}  // namespace
}  // namespace vornakle::testing
