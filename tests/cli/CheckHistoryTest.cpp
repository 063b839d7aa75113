// vornakle-check's history of checks: days of runs on a clock the test
// sets, a run killed halfway, two runs at once, and files that are no
// history of ours.
#include <signal.h>

#include <QByteArray>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "CheckerProcess.h"
#include "bookmarks/PlacesDatabase.h"
#include "check/AddressParts.h"
#include "cli/check/CheckProgram.h"
#include "history/CheckHistory.h"
#include "support/LoopbackServer.h"
#include "support/TempTree.h"
#include "support/TestCertificates.h"

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;

const HistoryTime kFirstDay = HistoryTime(std::chrono::days(20000));

// The program run in this process, its checks dated at.
CheckerRun RunAt(std::chrono::minutes at, const std::vector<std::string>& arguments) {
    return RunCheckerHere(arguments, [at] { return kFirstDay + at; });
}

ServerScript Reply(const std::string& reply) {
    return ServerScript().ReadUntil("\r\n\r\n").Send(reply);
}

std::string PathOf(const std::string& request) {
    const std::size_t start = request.find(' ') + 1;
    return request.substr(start, request.find(' ', start) - start);
}

// Each text line as "class[ reason token] failures[ failing_since]", the
// first run's time as "d1", joined by "|".
std::string Summary(const std::string& output) {
    std::string summary;
    for (const std::string& line : Lines(output)) {
        std::vector<std::string> fields(1);
        for (const char character : line) {
            character == '\t' ? fields.emplace_back() : fields.back() += character;
        }
        fields.resize(10);
        const std::string reason = fields[6].substr(0, fields[6].find(':'));
        const std::string since = fields[8] == IsoDateTime(kFirstDay + 6h) ? "d1" : fields[8];
        summary += (summary.empty() ? "" : "|") + fields[5] + (reason.empty() ? "" : " ") + reason +
                   " " + fields[9] + (since.empty() ? "" : " ") + since;
    }
    return summary;
}

TEST(CheckHistory, DaysOfRunsTellLinksThatStayDeadFromOnesThatFailedOnce) {
    std::atomic<int> day = 1;
    // Per path the days it fails on.
    const std::map<std::string, std::set<int>> failingDays = {
        {"/fine", {}}, {"/flaky", {1}}, {"/dead", {1, 2, 3}}, {"/down", {1, 2}}};
    LoopbackServer site(ServerScript().Answer([&](const std::string& request) {
        const std::string path = PathOf(request);
        const std::string status = failingDays.at(path).count(day) == 0 ? "200 OK"
                                   : path == "/dead"                    ? "404 Not Found"
                                                                        : "503 Service Unavailable";
        return "HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    }));
    TempTree tree;
    const std::string base = "http://127.0.0.1:" + std::to_string(site.Port());
    for (const char* name : {"a fine", "b flaky", "d down"}) {
        tree.WriteFile("fav/" + std::string(name) + ".url",
                       ShortcutText(base + "/" + (std::strchr(name, ' ') + 1)));
    }
    const auto at = [](int runDay, int hour, int minute = 0) {
        return std::chrono::hours((runDay - 1) * 24 + hour) + std::chrono::minutes(minute);
    };
    // Links a to d, each "class[ reason] failures[ failing since]".
    const struct {
        std::chrono::minutes at;
        std::vector<std::string> options;
        bool withDead;  // the dead link is in the collection
        std::string links;
        int exitCode;
    } runs[] = {
        {at(1, 6), {"--confirmed"}, true, "ok 0|failing 1 d1|failing 1 d1|failing 1 d1", 0},
        // The daily timer starts two minutes early: still a day.
        {at(2, 5, 58), {"--confirmed"}, true, "ok 0|ok 0|invalid 2 d1|unknown 2 d1", 1},
        {at(2, 12),
         {"--max-age", "1d"},
         true,
         "ok cached 0|ok cached 0|invalid 3 d1|unknown 3 d1",
         1},
        {at(3, 6), {"--confirmed", "--confirm-runs=5"}, true, "ok 0|ok 0|failing 4 d1|ok 0", 0},
        {at(3, 7), {"--forget"}, false, "ok 0|ok 0|ok 0", 0},
        // Forgotten: back in the collection, its failures start anew.
        {at(3, 8),
         {},
         true,
         "ok 0|ok 0|invalid 1 " + IsoDateTime(kFirstDay + at(3, 8)) + "|ok 0",
         1},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.at.count());
        day = static_cast<int>(run.at / 24h) + 1;
        if (run.withDead) {
            tree.WriteFile("fav/c dead.url", ShortcutText(base + "/dead"));
        } else {
            std::remove(tree.Path("fav/c dead.url").c_str());
        }
        std::vector<std::string> arguments = run.options;
        arguments.insert(arguments.end(),
                         {"--history", tree.Path("history.sqlite"), tree.Path("fav")});
        const CheckerRun result = RunAt(run.at, arguments);
        EXPECT_EQ(result.exitCode, run.exitCode) << result.errors;
        EXPECT_EQ(result.errors, "");
        EXPECT_EQ(Summary(result.output), run.links);
    }
}

// An availability reply of the archive.
std::string ArchiveReply(const std::string& json) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(json.size()) + "\r\n\r\n" + json;
}
std::string SnapshotJson(const std::string& status, const std::string& copy,
                         const std::string& more = "") {
    return R"({"archived_snapshots":{"closest":{"available":true,"timestamp":"20200101000000",)"
           R"("url":")" +
           copy + R"(","status":)" + status + "}}" + more + "}";
}
// The reply in two chunks, as HTTP/1.1 servers send what they make on the
// fly.
std::string Chunked(const std::string& json) {
    const std::string rest = json.substr(16);
    std::array<char, 8> size{};
    char* end = std::to_chars(size.data(), size.data() + size.size(), rest.size(), 16).ptr;
    return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n" + json.substr(0, 16) +
           "\r\n" + std::string(size.data(), end) + "\r\n" + rest + "\r\n0\r\n\r\n";
}
// The archive's reply to each question, made of the copy of the page asked
// for on the archive's own origin below its "/w/".
ServerScript Answering(const std::function<std::string(const std::string& copy)>& reply,
                       bool awaitTwo = false) {
    ServerScript script;
    if (awaitTwo) {
        script.AwaitOpen(3, 300ms);
    }
    return script.Answer([reply](const std::string& request) {
        const std::size_t host = request.find("\r\nHost: ") + 8;
        const std::size_t start = request.find("?url=") + 5;
        return reply(
            "http://" + request.substr(host, request.find('\r', host) - host) + "/w/web/2020/" +
            QByteArray::fromPercentEncoding(
                QByteArray::fromStdString(request.substr(start, request.find('&') - start)))
                .toStdString());
    });
}
// A copy of each page asked for, the reply padded by a field of noteBytes.
ServerScript Copies(const std::string& status, std::size_t noteBytes = 0, bool awaitTwo = false) {
    const std::string note =
        noteBytes > 0 ? R"(,"note":")" + std::string(noteBytes, 'n') + "\"" : "";
    return Answering(
        [status, note](const std::string& copy) {
            return ArchiveReply(SnapshotJson(status, copy, note));
        },
        awaitTwo);
}
std::string ArchiveTimestamp(HistoryTime time) {
    std::string digits = IsoDateTime(time);
    std::erase_if(digits, [](char character) { return character < '0' || character > '9'; });
    return digits;
}

TEST(CheckHistory, DeadLinksGetTheArchivedCopyOfWhenTheyLastWorked) {
    std::atomic<bool> dead = false;
    LoopbackServer site(ServerScript().Answer([&](const std::string& request) {
        const std::string path = PathOf(request);
        // 410 is of class unknown, and gone all the same.
        const char* status = !dead || path == "/fine" ? "200 OK"
                             : path == "/lost"        ? "410 Gone"
                                                      : "404 Not Found";
        return "HTTP/1.1 " + std::string(status) + "\r\nContent-Length: 0\r\n\r\n";
    }));
    TempTree tree;
    const std::string base = "http://127.0.0.1:" + std::to_string(site.Port());
    tree.WriteFile("fav/a.url", ShortcutText(base + "/dead"));
    tree.WriteFile("fav/d.url", ShortcutText(base + "/fine"));
    const std::vector<std::string> history = {"--history", tree.Path("history.sqlite")};
    ASSERT_EQ(RunAt(6h, {history[0], history[1], tree.Path("fav")}).exitCode, 0);
    // Added since: never seen fine. One address twice: one look-up.
    tree.WriteFile("fav/b.url", ShortcutText("HTTP" + base.substr(4) + "/dead#part"));
    tree.WriteFile("fav/c.url", ShortcutText(base + "/gone"));
    tree.WriteFile("fav/e.url", ShortcutText(base + "/lost"));
    dead = true;

    TestAuthority authority;
    tree.WriteFile("ca.pem", authority.CertificatePem());
    const auto json = [](const std::string& text) {
        return Answering([text](const std::string&) { return ArchiveReply(text); });
    };
    const auto copyAt = [](const std::string& where) {
        return Answering([where](const std::string& copy) {
            const std::size_t path = copy.find("/w/");
            return ArchiveReply(SnapshotJson(
                "200", where == "?"      ? copy + "?evil=1"
                       : where[0] == '/' ? copy.substr(0, path) + where
                                         : copy.substr(0, 7) + where + copy.substr(path)));
        });
    };
    const struct {
        std::vector<ServerScript> archive;
        bool secure;
        bool copied;  // each dead link its copy
        std::string message;
        int asked;  // 0: not every address, the archive having failed
        const char* timeout = "1";
    } rows[] = {
        {{Copies("\"200\"", 0, true)}, false, true, "", 3},
        {{json(R"({"url":"x","archived_snapshots":{}})")}, false, false, "", 3},
        // Only a copy of a page that was there counts.
        {{Copies("404")}, false, false, "", 3},
        {{Reply("HTTP/1.1 429 Too Many Requests\r\nRetry-After: 1\r\n\r\n"), Copies("200")},
         false,
         true,
         "",
         4},
        // A failing archive is not asked again: the third address waits in
        // vain.
        {{ServerScript().ReadUntil("\r\n\r\n").Hold()},
         false,
         false,
         ": timeout: no answer in time",
         0},
        {{json(R"({"archived_snapshots":)")}, false, false, ": its reply is no JSON", 0},
        // A copy's address becomes a line of a shortcut file: no line break.
        {{json(R"({"archived_snapshots":{"closest":{"available":true,)"
               R"("status":"200","url":"http://x/\nURL=javascript:x"}}})")},
         false,
         false,
         ": its snapshot's url is no web address",
         0},
        // Only a copy of the page asked for, on the archive's own origin.
        {{copyAt("web.archive.org@evil.example")},
         false,
         false,
         ": its snapshot is not on the archive's own origin",
         0},
        {{copyAt("?")}, false, false, "", 3},
        {{copyAt("/w/web/2020/http://unrelated.example/")}, false, false, "", 3},
        {{copyAt("/")}, false, false, "", 3},
        // Real answers grow with the archive's own fields; a reply beyond
        // any of them is refused whole, never read cut.
        {{Copies("200", 70 * 1024)}, false, true, "", 3},
        {{Copies("200", 1100 * 1024)}, false, false, ": its reply is too long", 0},
        // A wait longer than anyone waits is not begun, even where the
        // deadline would leave room for it.
        {{Reply("HTTP/1.1 429 Too Many Requests\r\nRetry-After: 99999999999999999999\r\n\r\n")},
         false,
         false,
         ": it answered 429",
         0,
         "11"},
        // HTTP/1.1 in chunks.
        {{Answering([](const std::string& copy) { return Chunked(SnapshotJson("200", copy)); })},
         false,
         true,
         "",
         3},
        // An archive asked securely serves its copies securely too.
        {{Copies("200")}, true, true, "", 3},
    };
    int hour = 6;
    for (const auto& row : rows) {
        const auto at = std::chrono::hours(48 + ++hour);
        SCOPED_TRACE(hour);
        LoopbackServer::Options options;
        if (row.secure) {
            options.tls = authority.Issue({"127.0.0.1"});
        }
        LoopbackServer archive(row.archive, options);
        const std::string service = (row.secure ? "https" : "http") + std::string("://127.0.0.1:") +
                                    std::to_string(archive.Port()) + "/w/";
        const auto started = std::chrono::steady_clock::now();
        const CheckerRun run = RunAt(at, {history[0], history[1], "--archive", "--archive-service",
                                          service, "--ca-file", tree.Path("ca.pem"), "--timeout",
                                          row.timeout, "--format", "csv", tree.Path("fav")});
        EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
        EXPECT_EQ(run.exitCode, 1) << "never changed by the archive";
        std::vector<std::string> copies;
        for (const std::string& line : Lines(run.output, true)) {
            copies.push_back(line.substr(line.rfind(',') + 1));
        }
        // The link's own fragment kept.
        const auto copyOf = [&](const std::string& path, const std::string& fragment = "") {
            return row.copied ? service.substr(0, service.size() - 1) + "/web/2020/" + base + path +
                                    fragment
                              : "";
        };
        EXPECT_EQ(copies, (std::vector<std::string>{"archive_url", copyOf("/dead"),
                                                    copyOf("/dead", "#part"), copyOf("/gone"), "",
                                                    copyOf("/lost")}));
        if (row.message.empty()) {
            EXPECT_EQ(run.errors, "");
        } else {
            EXPECT_EQ(Lines(run.errors).size(), 1u) << run.errors;
            EXPECT_NE(run.errors.find(row.message), std::string::npos) << run.errors;
            EXPECT_NE(run.errors.find("stays empty for 4 links"), std::string::npos);
        }
        const int connections = archive.ConnectionsAccepted();
        EXPECT_TRUE(row.asked == 0 ? connections < 3 : connections == row.asked) << connections;
        EXPECT_LE(archive.MaxConcurrentConnections(), 2);
        // The time the page last worked, else the run's own (the newest).
        std::string requests;
        for (int index = 0; index < connections; ++index) {
            requests += archive.Received(static_cast<std::size_t>(index));
        }
        const std::string asked = "GET /w/wayback/available?url=http%3A%2F%2F127.0.0.1%3A" +
                                  std::to_string(site.Port()) + "%2F";
        for (const std::string& request :
             {asked + "dead&timestamp=" + ArchiveTimestamp(kFirstDay + 6h) + " ",
              asked + "gone&timestamp=" + ArchiveTimestamp(kFirstDay + at) + " ",
              std::string("\r\nUser-Agent: Vornakle/")}) {
            EXPECT_TRUE(row.asked == 0 || requests.find(request) != std::string::npos)
                << request << requests;
        }
    }
}

TEST(CheckHistory, FilesThatAreNoHistoryOfOursAreRefusedAndLeftAlone) {
    LoopbackServer ok(ServerScript().ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n\r\n"));
    TempTree tree;
    tree.WriteFile("fav/a.url", ShortcutText("http://127.0.0.1:" + std::to_string(ok.Port())));
    ASSERT_EQ(RunAt(0min, {"--history", tree.Path("good.sqlite"), tree.Path("fav")}).exitCode, 0);
    const std::string good = tree.ReadFile("good.sqlite");
    std::string newer = good;
    newer[63] = 2;  // PRAGMA user_version, the header's bytes 60 to 63
    tree.WriteFile("newer.sqlite", newer);
    std::string damaged = good;
    // The second page, the first of the addresses' table.
    damaged.replace(4096, 512, std::string(512, 'x'));
    tree.WriteFile("damaged.sqlite", damaged);
    { PlacesDatabase places(tree.Path("places.sqlite")); }
    tree.WriteFile("text", "no database at all\n");
    {
        // Another program's file with its log beside it, copied while open.
        PlacesDatabase live(tree.Path("live.sqlite"), "wal");
        live.Bookmark(PlacesDatabase::kMenu, "a", "http://a.example/");
        tree.WriteFile("walled.sqlite", tree.ReadFile("live.sqlite"));
        tree.WriteFile("walled.sqlite-wal", tree.ReadFile("live.sqlite-wal"));
    }
    tree.WriteFile("orphan.sqlite-wal", tree.ReadFile("walled.sqlite-wal"));
    std::filesystem::create_symlink("/dev/null", tree.Path("devnull"));

    const std::pair<std::string, std::string> cases[] = {
        {"text", "is damaged or no SQLite database"},
        {"places.sqlite", "is an SQLite database of another program"},
        {"newer.sqlite", "was written by a newer version"},
        {"damaged.sqlite", "is damaged"},
        {"missing/history.sqlite", "cannot be used"},
        // SQLite would replay the log into the file and delete it.
        {"walled.sqlite", "is an SQLite database of another program"},
        {"orphan.sqlite", "-wal is a log beside an empty or missing history"},
        // A device gets no journal beside it.
        {"devnull", "is no regular file"},
    };
    for (const auto& [file, message] : cases) {
        SCOPED_TRACE(file);
        const auto contents = [&tree, file = file] {
            std::string kept;
            for (const std::string& name : {file, file + "-wal", file + "-journal"}) {
                kept += (tree.Exists(name) ? tree.ReadFile(name) : "-") + "|";
            }
            return kept;
        };
        const std::string before = contents();
        const CheckerRun run = RunAt(0min, {"--history", tree.Path(file), tree.Path("fav")});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.output, "");
        EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
        EXPECT_EQ(contents(), before);
    }
    EXPECT_EQ(ok.ConnectionsAccepted(), 1) << "nothing checked without the history";
}

TEST(CheckHistory, AKilledRunLeavesAWholeFileWithEveryFinishedBatch) {
    LoopbackServer ok(ServerScript().ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n\r\n"));
    LoopbackServer silent(ServerScript().ReadUntil("\r\n\r\n").Hold());
    TempTree tree;
    std::vector<std::string> fine;
    for (int index = 0; index < 5; ++index) {
        const LoopbackServer& server = index < 3 ? ok : silent;
        const std::string url =
            "http://127.0.0.1:" + std::to_string(server.Port()) + "/" + std::to_string(index);
        tree.WriteFile("fav/" + std::to_string(index) + ".url", ShortcutText(url));
        if (index < 3) {
            fine.push_back(AddressKey(url));
        }
    }
    const std::string history = tree.Path("history.sqlite");
    QProcess process;
    StartChecker(process, {"--rules", "current", "--history", history, "--timeout", "600",
                           "--per-host", "5", tree.Path("fav")});
    ASSERT_TRUE(silent.WaitForConnections(2));
    const auto allIn = [&] {
        const std::vector<AddressHistory> read =
            CheckHistory(history, HistoryFolder::MustExist).Read(fine);
        return std::all_of(read.begin(), read.end(),
                           [](const AddressHistory& address) { return address.Last.has_value(); });
    };
    bool written = false;
    for (auto waited = 0ms; !(written = allIn()) && waited < LoopbackServer::kWaitLimit;
         waited += 50ms) {
        std::this_thread::sleep_for(50ms);
    }
    // Written while the run still waits for the silent links.
    ASSERT_TRUE(written);
    ASSERT_EQ(silent.ConnectionsFinished(), 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGKILL), 0);
    FinishChecker(process);
    EXPECT_TRUE(allIn());
}

TEST(CheckHistory, TwoRunsAtOnceShareOneFile) {
    LoopbackServer missing(ServerScript().Answer([](const std::string&) {
        std::this_thread::sleep_for(10ms);
        return std::string("HTTP/1.0 404 Not Found\r\n\r\n");
    }));
    TempTree tree;
    std::vector<std::string> addresses;
    for (int index = 0; index < 20; ++index) {
        addresses.push_back("http://127.0.0.1:" + std::to_string(missing.Port()) + "/" +
                            std::to_string(index));
        tree.WriteFile("fav/" + std::to_string(index) + ".url", ShortcutText(addresses.back()));
    }
    const std::string history = tree.Path("history.sqlite");
    const std::vector<std::string> arguments = {"--rules", "current", "--history",     history,
                                                "--jobs",  "2",       tree.Path("fav")};
    QProcess first;
    QProcess second;
    StartChecker(first, arguments);
    StartChecker(second, arguments);
    for (QProcess* process : {&first, &second}) {
        const CheckerRun run = FinishChecker(*process);
        EXPECT_EQ(run.exitCode, 1) << run.errors;
        EXPECT_EQ(run.errors, "");
    }
    for (const AddressHistory& address :
         CheckHistory(history, HistoryFolder::MustExist).Read(addresses)) {
        EXPECT_EQ(address.Failures, 2);
    }
}

}  // namespace
}  // namespace vornakle::testing
