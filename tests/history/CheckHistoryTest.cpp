#include "history/CheckHistory.h"
#include "history/CheckSession.h"
#include "history/HistoryError.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TempTree.h"

namespace vornakle {
namespace {

using std::chrono::hours;
using testing::TempTree;

const HistoryTime kStart = HistoryTime(std::chrono::days(20000));

HistoryCheck Check(hours at, bool failed, std::string kind = "ok") {
    HistoryCheck check;
    check.Time = kStart + at;
    check.Status = LinkStatus::Reply(failed ? 404 : 200);
    check.Class = failed ? "invalid" : std::move(kind);
    check.Failed = failed;
    return check;
}

// One address checked again and again: each row a check and what follows.
TEST(AddressHistory, RunsOfFailuresConfirmAndFineResultsAreReused) {
    const struct {
        HistoryCheck check;
        hours failingSince;  // -1: none
        int failures;
        bool confirmed;  // by the default rule: 2 failures over a day
        bool reused;     // an hour later, with --max-age 1d
        hours lastFine;  // -1: none
    } steps[] = {
        {Check(hours(0), true), hours(0), 1, false, false, hours(-1)},
        // A daily timer that starts a little early still confirms.
        {Check(hours(23), true), hours(0), 2, true, false, hours(-1)},
        {Check(hours(24), false), hours(-1), 0, false, true, hours(24)},
        {Check(hours(30), false, "moved"), hours(-1), 0, false, false, hours(30)},
        {Check(hours(31), true), hours(31), 1, false, false, hours(30)},
        {Check(hours(53), true), hours(31), 2, false, false, hours(30)},
        {Check(hours(60), true), hours(31), 3, true, false, hours(30)},
        // The clock was ahead when the run began: it begins now instead,
        // and is confirmed once it has lasted.
        {Check(hours(20), true), hours(20), 4, false, false, hours(30)},
        {Check(hours(44), true), hours(20), 5, true, false, hours(30)},
    };
    const auto timeOf = [](hours at) {
        return at < hours(0) ? std::nullopt : std::optional(kStart + at);
    };
    AddressHistory history;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.check.Time.time_since_epoch().count());
        history = AfterCheck(history, step.check);
        EXPECT_EQ(history.FailingSince, timeOf(step.failingSince));
        EXPECT_EQ(history.LastFine, timeOf(step.lastFine));
        EXPECT_EQ(history.Failures, step.failures);
        EXPECT_EQ(IsConfirmedFailure(history, ConfirmRule()), step.confirmed);
        EXPECT_EQ(
            ReusableResult(history, std::chrono::days(1), step.check.Time + hours(1)).has_value(),
            step.reused);
    }
    EXPECT_FALSE(IsConfirmedFailure(history, {6, hours(1)}));
    history = AfterCheck(history, Check(hours(70), false));
    // Not when the clock has gone back since, nor once it is too old.
    EXPECT_FALSE(ReusableResult(history, std::chrono::days(1), kStart + hours(69)));
    EXPECT_FALSE(ReusableResult(history, std::chrono::days(1), kStart + hours(94)));
    EXPECT_EQ(ReusableResult(history, std::chrono::days(1), kStart + hours(93))->Status,
              LinkStatus::Reply(200));
}

std::int64_t ChecksInFile(const std::string& path) {
    sqlite3* database = nullptr;
    sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(database, "SELECT count(*) FROM checks", -1, &statement, nullptr);
    const std::int64_t count =
        sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return count;
}

TEST(CheckHistory, KeepsTheLastChecksOfEachAddressAndForgetsTheGoneOnes) {
    TempTree folder;
    const std::string path = folder.Path("state/vornakle/history.sqlite");
    {
        CheckHistory history(path, HistoryFolder::MakeMissing);
        std::vector<std::pair<std::string, HistoryCheck>> checks;
        for (int index = 0; index < 25; ++index) {
            checks.emplace_back("http://a/", Check(hours(index), index >= 22));
            checks.back().second.FinalUrl = "http://a/";
        }
        checks.emplace_back("http://b/", Check(hours(0), false));
        checks.back().second.FinalUrl = "https://b/new";
        history.Record(checks);
    }
    CheckHistory history(path, HistoryFolder::MustExist);
    const std::vector<AddressHistory> read = history.Read({"http://a/", "http://b/", "http://c/"});
    EXPECT_EQ(read[0].FailingSince, kStart + hours(22));
    EXPECT_EQ(read[0].Failures, 3);
    EXPECT_EQ(read[0].Last->Time, kStart + hours(24));
    EXPECT_EQ(read[0].Last->FinalUrl, "http://a/");
    // The check before the run of failures, and a fine last check itself.
    EXPECT_EQ(read[0].LastFine, kStart + hours(21));
    EXPECT_EQ(read[1].LastFine, kStart);
    EXPECT_EQ(read[1].Last->FinalUrl, "https://b/new");
    EXPECT_FALSE(read[2].Last);
    EXPECT_EQ(ChecksInFile(path), CheckHistory::kKeptChecks + 1);

    EXPECT_EQ(history.Forget({"http://b/", "http://c/"}), 1u);
    EXPECT_FALSE(history.Read({"http://a/"})[0].Last);
    EXPECT_EQ(ChecksInFile(path), 1);
    EXPECT_THROW(CheckHistory(folder.Path("missing/history.sqlite"), HistoryFolder::MustExist),
                 EHistoryError);

    // Numbers another program wrote, out of any range a check has, are
    // read as unknown (a count at its most) rather than overflowing.
    const struct {
        const char* change;
        int failures;
        bool since;
        bool last;
    } damaged[] = {
        {"UPDATE addresses SET failures = 2147483647", kMostFailuresInARun, true, true},
        {"UPDATE addresses SET failures = -5", 0, false, true},
        {"UPDATE addresses SET failing_since = -9223372036854775808", 1, false, true},
        {"UPDATE checks SET time = 9223372036854775807", 1, true, false},
        {"UPDATE checks SET status = 4294967296", 1, true, false},
    };
    for (const auto& row : damaged) {
        SCOPED_TRACE(row.change);
        const std::string copy = folder.Path("damaged.sqlite");
        std::filesystem::remove(copy);
        CheckHistory(copy, HistoryFolder::MustExist).Record({{"http://a/", Check(hours(1), true)}});
        sqlite3* database = nullptr;
        sqlite3_open(copy.c_str(), &database);
        EXPECT_EQ(sqlite3_exec(database, row.change, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(database);
        const AddressHistory known =
            CheckHistory(copy, HistoryFolder::MustExist).Read({"http://a/"})[0];
        EXPECT_EQ(known.Failures, row.failures);
        EXPECT_EQ(known.FailingSince.has_value(), row.since);
        EXPECT_EQ(known.Last.has_value(), row.last);
        // One more failure: no overflow, and a run without its start begins anew.
        EXPECT_EQ(AfterCheck(known, Check(hours(2), true)).Failures,
                  row.since ? std::min(row.failures + 1, kMostFailuresInARun) : 1);
    }
}

// Links answered at once (unreadable, left out by the filter) around one the
// engine checks (a scheme nothing is sent for); a row may stop the run.
TEST(CheckSession, HandsOnOutcomesInTheCollectionsOrderUntilStopped) {
    using enum CheckSession::Delivery;
    const LinkRecord unreadable{"", "", "", true};
    const std::vector<LinkRecord> links = {
        unreadable, {"", "", "x:left"}, {"", "", "gopher://a/"}, unreadable};
    const struct {
        CheckSession::Delivery order;
        std::size_t stopAt;
        std::vector<std::size_t> handedOn;
    } rows[] = {{InOrder, 9, {0, 1, 2, 3}}, {AsReady, 9, {0, 1, 3, 2}}, {InOrder, 1, {0, 1}}};
    for (const auto& row : rows) {
        CheckSession session(links, CheckSettings());
        session.Order = row.order;
        session.Filter = [](const LinkRecord& link) {
            return link.Url == "x:left" ? std::optional(LinkOutcome{}) : std::nullopt;
        };
        std::vector<std::size_t> handedOn;
        session.OnOutcome = [&](std::size_t link, const LinkOutcome&) {
            handedOn.push_back(link);
            if (link == row.stopAt) {
                session.Stop();  // the last row: before the engine starts
            }
        };
        session.Run();
        EXPECT_EQ(handedOn, row.handedOn);
    }
}

}  // namespace
}  // namespace vornakle
