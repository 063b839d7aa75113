// The real vornakle-check program against servers the tests start on
// loopback addresses.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "CheckerProcess.h"
#include "bookmarks/BookmarkSource.h"
#include "bookmarks/BookmarkTestSupport.h"
#include "bookmarks/PlacesDatabase.h"
#include "store/LinkStatus.h"
#include "store/Scan.h"
#include "store/Shortcut.h"
#include "support/LoopbackServer.h"
#include "support/TempTree.h"
#include "support/TestCertificates.h"
#include "support/Unprivileged.h"

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;

// Reads the whole request header and answers with reply, then closes.
ServerScript Reply(const std::string& reply) {
    return ServerScript().ReadUntil("\r\n\r\n").Send(reply);
}
ServerScript Status(const std::string& statusLine) {
    return Reply("HTTP/1.0 " + statusLine + "\r\nContent-Type: text/html\r\n\r\n");
}

std::string UrlOf(const LoopbackServer& server, const std::string& path = "/") {
    return "http://" + server.Address() + ":" + std::to_string(server.Port()) + path;
}
std::string UrlOfPort(std::uint16_t port, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

// Every file below a directory with its bytes, to show that a run changed
// nothing.
std::map<std::string, std::string> Snapshot(const TempTree& tree) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.Root())) {
        const std::string relative = std::filesystem::relative(entry.path(), tree.Root()).string();
        files[relative] = entry.is_regular_file() ? tree.ReadFile(relative) : "<directory>";
    }
    return files;
}

// The history's two columns and the archive's of a run that keeps no
// history and asks no archive.
constexpr char kNoExtras[] = "\t\t\t";

std::string TextLine(const std::string& folder, const std::string& name, const std::string& url,
                     const std::string& status, const std::string& text, const std::string& kind,
                     const std::string& reason = std::string()) {
    return folder + "\t" + name + "\t" + url + "\t" + status + "\t" + text + "\t" + kind + "\t" +
           reason;
}

// The lines of text output with each reason cut to its token (the detail
// after ": " is for people and may change) and without the final URL and
// the history's and the archive's columns, which the tests that name them
// compare.
std::vector<std::string> LinesWithReasonTokens(const std::string& output) {
    std::vector<std::string> lines = Lines(output);
    for (std::string& line : lines) {
        for (int field = 0; field < 4; ++field) {
            line.erase(std::min(line.rfind('\t'), line.size()));
        }
        const std::size_t reason = line.rfind('\t');
        const std::size_t detail = line.find(": ", reason);
        if (reason != std::string::npos && detail != std::string::npos) {
            line.erase(detail);
        }
    }
    return lines;
}

TEST(CheckProgram, MixedRepliesGetTheDesktopStatusesInScanOrder) {
    LoopbackServer ok(Status("200 OK"));
    LoopbackServer missing(Status("404 Not Found"));
    // 300 to 302 with a Location are followed; without one they lead
    // nowhere.
    LoopbackServer moved(Status("301 Moved Permanently"));
    LoopbackServer redirected(
        Reply("HTTP/1.0 301 Moved Permanently\r\nLocation: " + UrlOf(ok, "/new") + "\r\n\r\n"));
    LoopbackServer failing(Status("500 Internal Server Error"));
    LoopbackServer busy(Status("503 Service Unavailable"));
    LoopbackServer garbage(Reply("no status line here\r\n\r\n"));
    LoopbackServer silent(ServerScript().ReadUntil("\r\n\r\n").Hold());
    RefusingPort refused;
    UnansweringPort unanswering;

    TempTree tree;
    tree.WriteFile("a ok.url", ShortcutText(UrlOf(ok)));
    tree.WriteFile("B folder/missing.url", ShortcutText(UrlOf(missing, "/gone")));
    tree.WriteFile("B folder/moved.url", ShortcutText(UrlOf(moved)));
    tree.WriteFile("c redirected.url", ShortcutText(UrlOf(redirected)));
    tree.WriteFile("d refused.url", ShortcutText(UrlOfPort(refused.Port())));
    tree.WriteFile("E silent.url", ShortcutText(UrlOf(silent)));
    tree.WriteFile("f unanswering.url", ShortcutText(UrlOfPort(unanswering.Port())));
    tree.WriteFile("g secure.url", ShortcutText("https://127.0.0.1/"));
    tree.WriteFile("h no url.url", "[InternetShortcut]\r\nIconIndex=0\r\n");
    tree.WriteFile("i failing.url", ShortcutText(UrlOf(failing)));
    tree.WriteFile("j busy.url", ShortcutText(UrlOf(busy)));
    tree.WriteFile("k garbage.url", ShortcutText(UrlOf(garbage)));
    tree.WriteFile("not a link.txt", "URL=http://127.0.0.1:1/\r\n");
    const auto before = Snapshot(tree);

    const CheckerRun run = RunChecker({"--timeout", "1", "--jobs", "4", tree.Root()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    EXPECT_EQ(run.errors, "");
    const std::string root = tree.Root();
    const std::string sub = tree.Path("B folder");
    EXPECT_EQ(
        LinesWithReasonTokens(run.output),
        (std::vector<std::string>{
            TextLine(root, "a ok", UrlOf(ok), "200", "OK", "ok"),
            TextLine(sub, "missing", UrlOf(missing, "/gone"), "404", "Nicht gefunden", "invalid"),
            TextLine(sub, "moved", UrlOf(moved), "5", "", "unknown", "no-location"),
            TextLine(root, "c redirected", UrlOf(redirected), "200", "OK", "ok"),
            TextLine(root, "d refused", UrlOfPort(refused.Port()), "5", "", "unknown", "refused"),
            TextLine(root, "E silent", UrlOf(silent), "5", "", "unknown", "timeout"),
            TextLine(root, "f unanswering", UrlOfPort(unanswering.Port()), "5", "", "unknown",
                     "timeout"),
            TextLine(root, "g secure", "https://127.0.0.1/", "5", "", "unknown",
                     "unsupported-scheme"),
            TextLine(root, "h no url", "", "5", "", "unknown", "no-url"),
            TextLine(root, "i failing", UrlOf(failing), "500", "Interner Fehler", "invalid"),
            TextLine(root, "j busy", UrlOf(busy), "503", "Vorübergehend nicht verfügbar",
                     "unknown"),
            TextLine(root, "k garbage", UrlOf(garbage), "5", "", "unknown", "malformed-reply"),
        }));
    // A HEAD request each, the redirection's second pass at its target; two
    // workers ask this server at once, so in either order.
    std::set<std::string> heads;
    for (const std::size_t index : {0u, 1u}) {
        heads.insert(ok.Received(index).substr(0, ok.Received(index).find("\r\n")));
    }
    EXPECT_EQ(heads, (std::set<std::string>{"HEAD / HTTP/1.0", "HEAD /new HTTP/1.0"}));
    EXPECT_EQ(Snapshot(tree), before) << "the checker must never change the collection";
}

TEST(CheckProgram, CsvAndJsonQuoteTheirFieldsAndKeepEveryByte) {
    LoopbackServer ok(Status("200 OK"));
    LoopbackServer missing(Status("404 Not Found"));
    TempTree tree;
    // A name with a comma and quotes in Windows-1252 (as a shortcut copied
    // from Windows has it), and a URL with a quote.
    tree.WriteFile("Caf\xe9, \"Bar\".url", ShortcutText(UrlOf(ok, "/a\"b")));
    tree.WriteFile("M\xc3\xbcll/x.url", ShortcutText(UrlOf(missing)));
    const std::string root = tree.Root();

    const CheckerRun csv = RunChecker({"--format", "csv", root});
    ASSERT_TRUE(csv.finished);
    EXPECT_EQ(csv.exitCode, 1);
    EXPECT_EQ(csv.output,
              "folder,name,url,status,status_text,class,reason,final_url,failing_since,failures,"
              "archive_url\r\n" +
                  root + ",\"Caf\xc3\xa9, \"\"Bar\"\"\",\"" + UrlOf(ok, "/a\"\"b") +
                  "\",200,OK,ok,,\"" + UrlOf(ok, "/a\"\"b") + "\",,,\r\n" + root +
                  "/M\xc3\xbcll,x," + UrlOf(missing) + ",404,Nicht gefunden,invalid,," +
                  UrlOf(missing) + ",,,\r\n");

    const CheckerRun json = RunChecker({"--format=json", root});
    ASSERT_TRUE(json.finished);
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(
        Lines(json.output),
        (std::vector<std::string>{
            "{\"folder\":\"" + root + "\",\"name\":\"Caf\xc3\xa9, \\\"Bar\\\"\",\"url\":\"" +
                UrlOf(ok, "/a\\\"b") +
                "\",\"status\":200,\"status_text\":\"OK\",\"class\":\"ok\",\"reason\":\"\","
                "\"final_url\":\"" +
                UrlOf(ok, "/a\\\"b") +
                "\",\"failing_since\":\"\",\"failures\":null,\"archive_url\":\"\"}",
            "{\"folder\":\"" + root + "/M\xc3\xbcll\",\"name\":\"x\",\"url\":\"" + UrlOf(missing) +
                "\",\"status\":404,\"status_text\":\"Nicht gefunden\",\"class\":"
                "\"invalid\",\"reason\":\"\",\"final_url\":\"" +
                UrlOf(missing) +
                "\",\"failing_since\":\"\",\"failures\":null,\"archive_url\":\"\"}",
        }));
}

TEST(CheckProgram, BadOnlyListsWhatTheReportWouldAndExitCodesFollowIt) {
    LoopbackServer ok(Status("200 OK"));
    LoopbackServer found(
        Reply("HTTP/1.0 302 Found\r\nLocation: " + UrlOf(ok, "/found") + "\r\n\r\n"));
    LoopbackServer missing(Status("404 Not Found"));
    TempTree tree;
    tree.WriteFile("1.url", ShortcutText(UrlOf(ok)));
    tree.WriteFile("2.url", ShortcutText(UrlOf(missing)));
    tree.WriteFile("3.url", ShortcutText(UrlOf(found)));

    const CheckerRun bad = RunChecker({"--bad-only", tree.Root()});
    ASSERT_TRUE(bad.finished);
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(Lines(bad.output),
              (std::vector<std::string>{
                  TextLine(tree.Root(), "2", UrlOf(missing), "404", "Nicht gefunden", "invalid") +
                  "\t" + UrlOf(missing) + kNoExtras}));

    TempTree fine;
    fine.WriteFile("1.url", ShortcutText(UrlOf(ok)));
    fine.WriteFile("sub/3.url", ShortcutText(UrlOf(found)));
    // Trailing separators of the directory do not end up in the paths.
    const CheckerRun all = RunChecker({fine.Root() + "//"});
    ASSERT_TRUE(all.finished);
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_EQ(
        Lines(all.output),
        (std::vector<std::string>{
            TextLine(fine.Root(), "1", UrlOf(ok), "200", "OK", "ok") + "\t" + UrlOf(ok) + kNoExtras,
            TextLine(fine.Path("sub"), "3", UrlOf(found), "200", "OK", "ok") + "\t" +
                UrlOf(ok, "/found") + kNoExtras}));
    const CheckerRun none = RunChecker({"--bad-only", "--format", "csv", fine.Root()});
    ASSERT_TRUE(none.finished);
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.output,
              "folder,name,url,status,status_text,class,reason,final_url,failing_since,failures,"
              "archive_url\r\n");

    // Under current rules a link no check applies to is never bad: a
    // collection of bookmarklets and the like ends with 0, each of its own
    // class, and --bad-only lists none.
    TempTree tools;
    for (const char* url : {"javascript:alert(1)", "mailto:ann@example.org", "ftp://127.0.0.1/"}) {
        tools.WriteFile(std::string(url).substr(0, 3) + ".url", ShortcutText(url));
    }
    const CheckerRun notChecked =
        RunChecker({"--rules", "current", "--format", "csv", tools.Root()});
    EXPECT_EQ(notChecked.exitCode, 0) << notChecked.output;
    const std::vector<std::string> records = Lines(notChecked.output, true);
    ASSERT_EQ(records.size(), 4u);
    for (std::size_t line = 1; line < records.size(); ++line) {
        EXPECT_NE(records[line].find(",5,,not-checked,not-web: "), std::string::npos);
    }
    const CheckerRun noneBad = RunChecker({"--rules", "current", "--bad-only", tools.Root()});
    EXPECT_EQ(noneBad.exitCode, 0);
    EXPECT_EQ(noneBad.output, "");

    // An empty collection has no bad link.
    TempTree empty;
    empty.MakeDirectory("only a folder");
    const CheckerRun nothing = RunChecker({empty.Root()});
    ASSERT_TRUE(nothing.finished);
    EXPECT_EQ(nothing.exitCode, 0);
    EXPECT_EQ(nothing.output, "");
}

TEST(CheckProgram, UrlChecksOneAddress) {
    LoopbackServer ok(Status("200 OK"));
    LoopbackServer missing(Status("404 Not Found"));
    const CheckerRun fine = RunChecker({"--url", UrlOf(ok)});
    ASSERT_TRUE(fine.finished);
    EXPECT_EQ(fine.exitCode, 0);
    EXPECT_EQ(fine.output,
              TextLine("", "", UrlOf(ok), "200", "OK", "ok") + "\t" + UrlOf(ok) + kNoExtras + "\n");
    EXPECT_EQ(ok.ConnectionsAccepted(), 1);

    const CheckerRun bad = RunChecker({"--format", "json", "--url", UrlOf(missing)});
    ASSERT_TRUE(bad.finished);
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.output,
              "{\"folder\":\"\",\"name\":\"\",\"url\":\"" + UrlOf(missing) +
                  "\",\"status\":404,\"status_text\":\"Nicht gefunden\",\"class\":"
                  "\"invalid\",\"reason\":\"\",\"final_url\":\"" +
                  UrlOf(missing) +
                  "\",\"failing_since\":\"\",\"failures\":null,\"archive_url\":\"\"}\n");

    // Under current rules a file: link is looked up on the file system.
    TempTree files;
    files.WriteFile("here.pdf", "%PDF");
    for (const auto& [name, exitCode, result] :
         {std::tuple("here.pdf", 0, std::string("200\tOK\tok\t")),
          std::tuple("gone.pdf", 1, "5\t\tunknown\tfile-missing: " + files.Path("gone.pdf"))}) {
        const std::string url = "file://" + files.Path(name);
        const CheckerRun file = RunChecker({"--rules", "current", "--url", url});
        EXPECT_EQ(file.exitCode, exitCode) << name;
        EXPECT_EQ(file.output, "\t\t" + url + "\t" + result + "\t" + kNoExtras + "\n");
    }

    RefusingPort refused;
    const CheckerRun unknown = RunChecker({"--url", UrlOfPort(refused.Port()), "--bad-only"});
    ASSERT_TRUE(unknown.finished);
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(Lines(unknown.output).size(), 1u);
}

// The program's own default: current rules, which follow a 308 where
// classic rules stop and ask with GET; the final URL and, with --verbose,
// every hop are shown.
TEST(CheckProgram, CurrentRulesByDefaultWithTheFinalUrlAndTheHops) {
    LoopbackServer target(Status("200 OK"));
    LoopbackServer moved(Reply(
        "HTTP/1.1 308 Permanent Redirect\r\nLocation: " + UrlOf(target, "/new") + "\r\n\r\n"));
    const CheckerRun current = RunChecker(
        {"--rules", "current", "--url", UrlOf(moved), "--verbose", "--user-agent", "Checker/9"});
    ASSERT_TRUE(current.finished);
    EXPECT_EQ(current.exitCode, 0) << current.errors;
    EXPECT_EQ(current.output, TextLine("", "", UrlOf(moved), "200", "OK", "moved") + "\t" +
                                  UrlOf(target, "/new") + kNoExtras + "\n");
    EXPECT_EQ(current.errors,
              "hop 1: 308 " + UrlOf(moved) + "\nhop 2: 200 " + UrlOf(target, "/new") + "\n");
    EXPECT_NE(target.Received(0).find("\r\nUser-Agent: Checker/9\r\n"), std::string::npos);
    EXPECT_EQ(target.Received(0).rfind("GET /new HTTP/1.1\r\n", 0), 0u);

    // The proxy of the environment, for names it does not exclude.
    LoopbackServer proxy(Status("200 OK"));
    const CheckerRun proxied =
        RunChecker({"--rules", "current", "--url", "http://far.example/x"}, {},
                   {{"http_proxy", "127.0.0.1:" + std::to_string(proxy.Port())},
                    {"no_proxy", "near.example"}});
    ASSERT_TRUE(proxied.finished);
    EXPECT_EQ(proxied.exitCode, 0) << proxied.errors;
    EXPECT_EQ(proxy.Received(0).rfind("GET http://far.example/x HTTP/1.1\r\n", 0), 0u);

    const CheckerRun classic = RunChecker({"--rules", "classic", "--url", UrlOf(moved)});
    ASSERT_TRUE(classic.finished);
    EXPECT_EQ(classic.exitCode, 1);
    EXPECT_EQ(
        Lines(classic.output),
        (std::vector<std::string>{TextLine("", "", UrlOf(moved), "308", "Unbekannt", "unknown") +
                                  "\t" + UrlOf(moved) + kNoExtras}));
}

TEST(CheckProgram, UsageAndScanErrorsEndWithTwo) {
    const CheckerRun help = RunChecker({"--help"});
    ASSERT_TRUE(help.finished);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.output.rfind("Usage: vornakle-check", 0), 0u);

    TempTree tree;
    tree.WriteFile("file", "x");
    tree.WriteFile("bookmarks.html", "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n</DL>\n");
    tree.WriteFile("fav/link0.url", ShortcutText("http://127.0.0.1:1/"));
    std::filesystem::create_directory_symlink(tree.Path("fav"), tree.Path("link"));
    const std::string inputs = tree.ReadFile("bookmarks.html") + tree.ReadFile("fav/link0.url");
    const std::pair<std::vector<std::string>, std::string> failures[] = {
        // The report replaces no file the run reads, however it is spelled.
        {{"--rules", "current", "--history", tree.Path("h.sqlite"), "--output",
          tree.Path("fav/../h.sqlite"), tree.Path("fav")},
         "is the history of checks"},
        {{"--output", tree.Path("bookmarks.html"), tree.Path("bookmarks.html")}, "is the source"},
        {{"--output", tree.Path("link"), tree.Path("fav")}, "is the source"},
        {{"--output", tree.Path("link/link0.url"), tree.Path("fav")}, "lies in the source"},
        {{"--output", tree.Path("fav/new.txt"), tree.Path("link")}, "lies in the source"},
        {{}, "no Favorites directory or bookmark file given"},
        {{"--jobs", "0", tree.Root()}, "--jobs needs a whole number"},
        {{"--format", "xml", tree.Root()}, "--format is text, csv, json or html"},
        {{"--frobnicate", tree.Root()}, "unknown option \"--frobnicate\""},
        {{tree.Path("missing")}, "cannot be read"},
        {{tree.Path("file")}, "is no bookmark file"},
        {{"--browser", "netscape"}, "--browser is firefox, chromium or chrome"},
        {{"--browser", "firefox", tree.Root()}, "give no other with it"},
    };
    for (const auto& [arguments, message] : failures) {
        const CheckerRun run = RunChecker(arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 2) << message;
        EXPECT_EQ(run.output, "") << message;
        EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
    }
    EXPECT_EQ(tree.ReadFile("bookmarks.html") + tree.ReadFile("fav/link0.url"), inputs);
    EXPECT_FALSE(tree.Exists("h.sqlite") || tree.Exists("fav/new.txt"));
}

// A shortcut or folder that cannot be read is reported and the run goes on;
// the exit code says at the end that part of the collection was not read.
TEST(CheckProgram, UnreadableShortcutAndFolderAreReportedAndTheRunGoesOn) {
    LoopbackServer ok(Status("200 OK"));
    TempTree tree;
    tree.WriteFile("a.url", ShortcutText(UrlOf(ok)));
    tree.WriteFile("b.url", ShortcutText(UrlOf(ok)));
    tree.WriteFile("locked/c.url", ShortcutText(UrlOf(ok)));
    ASSERT_EQ(::chmod(tree.Path("b.url").c_str(), 0), 0);
    ASSERT_EQ(::chmod(tree.Path("locked").c_str(), 0), 0);
    if (::geteuid() == 0) {
        // The unprivileged run must reach the tree: hand it over.
        for (const auto& entry : std::filesystem::directory_iterator(tree.Root())) {
            ASSERT_EQ(::chown(entry.path().c_str(), 65534, 65534), 0);
        }
        ASSERT_EQ(::chown(tree.Root().c_str(), 65534, 65534), 0);
    }
    int outputPipe[2];
    int errorPipe[2];
    ASSERT_EQ(::pipe(outputPipe), 0);
    ASSERT_EQ(::pipe(errorPipe), 0);
    const std::string program = VORNAKLE_CHECK_PROGRAM;
    const std::string root = tree.Root();
    // Everything is made before the fork: the child of a process with threads
    // should not allocate.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outputPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
    std::vector<char*> arguments{const_cast<char*>(program.c_str()),
                                 const_cast<char*>("--no-history"), const_cast<char*>(root.c_str()),
                                 nullptr};
    // A checkout in a directory others cannot enter (a home of mode 700)
    // keeps the program from the unprivileged user.
    constexpr int kProgramOutOfReach = 102;
    const int exitCode = RunUnprivileged([&] {
        if (::access(program.c_str(), X_OK) != 0) {
            return kProgramOutOfReach;
        }
        pid_t child = 0;
        if (::posix_spawn(&child, program.c_str(), &actions, nullptr, arguments.data(), environ) !=
            0) {
            return 100;
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
    });
    posix_spawn_file_actions_destroy(&actions);
    ::chmod(tree.Path("locked").c_str(), 0755);
    std::string texts[2];
    for (const int index : {0, 1}) {
        const int* ends = index == 0 ? outputPipe : errorPipe;
        ::close(ends[1]);
        char buffer[4096];
        for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
            texts[index].append(buffer, static_cast<std::size_t>(got));
        }
        ::close(ends[0]);
    }
    if (exitCode == kProgramOutOfReach) {
        GTEST_SKIP() << "the unprivileged user cannot run " << program;
    }
    const auto& [output, errors] = texts;
    EXPECT_EQ(exitCode, 2) << errors;
    EXPECT_EQ(Lines(output),
              (std::vector<std::string>{
                  TextLine(root, "a", UrlOf(ok), "200", "OK", "ok") + "\t" + UrlOf(ok) + kNoExtras,
                  TextLine(root, "b", "", "5", "", "unknown", "unreadable") + "\t" + kNoExtras}));
    EXPECT_NE(errors.find("folder " + tree.Path("locked") + " cannot be read"), std::string::npos)
        << errors;
    // The GET that reads the page's title too; nothing for "b".
    EXPECT_EQ(ok.ConnectionsAccepted(), 1);
}

// Each verdict that both programs once got wrong, as a link of one run.
TEST(CheckProgram, RedirectionsRepliesAndUrlsThatGiveNoAnswerOrTheRightOne) {
    struct Case {
        std::string name;
        std::vector<ServerScript> scripts;
        std::string path;         // appended to the server's address
        std::string result;       // status, text, class and reason token
        std::string requestLine;  // of the last connection; empty: none made
    };
    const std::string found = "HTTP/1.0 302 Found\r\nLocation: ";
    std::vector<ServerScript> pingPong;
    std::vector<ServerScript> chain;
    for (int pass = 0; pass <= 10; ++pass) {
        pingPong.push_back(Reply(found + (pass % 2 == 0 ? "/b" : "/a") + "\r\n\r\n"));
        chain.push_back(Reply(found + "/" + std::to_string(pass + 1) + "\r\n\r\n"));
    }
    const std::string ok = "200\tOK\tok\t";
    const std::string unknown = "5\t\tunknown\t";
    std::vector<Case> cases = {
        {"loop",
         {Reply(found + "/loop\r\n\r\n")},
         "/loop",
         unknown + "redirect-loop",
         "HEAD /loop HTTP/1.0"},
        {"ping-pong", pingPong, "/a", unknown + "redirect-loop", "HEAD /a HTTP/1.0"},
        {"chain", chain, "/0", unknown + "too-many-redirects", "HEAD /10 HTTP/1.0"},
        {"no location", {Status("302 Found")}, "/", unknown + "no-location", "HEAD / HTTP/1.0"},
        {"wrapping number",
         {Reply("HTTP/1.0 65736 X\r\n\r\n")},
         "/",
         unknown + "malformed-reply",
         "HEAD / HTTP/1.0"},
        {"number 2",
         {Reply("HTTP/1.0 2 OK\r\n\r\n")},
         "/",
         unknown + "malformed-reply",
         "HEAD / HTTP/1.0"},
        {"query after host", {Status("200 OK")}, "?x=1", ok, "HEAD /?x=1 HTTP/1.0"},
        {"blank after location",
         {Reply("HTTP/1.0 301 Moved\r\nLocation: /ok \r\n\r\n"), Status("200 OK")},
         "/",
         ok,
         "HEAD /ok HTTP/1.0"},
        {"blank in url", {Status("200 OK")}, "/a b", ok, "HEAD /a%20b HTTP/1.0"},
        {"relative location",
         {Reply(found + "../ok\r\n\r\n"), Status("200 OK")},
         "/dir/x/page",
         ok,
         "HEAD /dir/ok HTTP/1.0"},
    };
    std::vector<std::unique_ptr<LoopbackServer>> servers;
    TempTree tree;
    std::vector<std::string> expected;
    for (std::size_t index = 0; index < cases.size(); ++index) {
        servers.push_back(std::make_unique<LoopbackServer>(cases[index].scripts));
        const std::string url =
            "http://127.0.0.1:" + std::to_string(servers.back()->Port()) + cases[index].path;
        const std::string name = std::string(1, static_cast<char>('a' + index));
        tree.WriteFile(name + ".url", ShortcutText(url));
        expected.push_back(tree.Root() + "\t" + name + "\t" + url + "\t" + cases[index].result);
    }
    // Schemes the client does not speak are refused before anything is
    // sent; a host with a port and no scheme is no scheme.
    LoopbackServer listening(Status("200 OK"));
    const std::string port = std::to_string(listening.Port());
    const std::pair<std::string, std::string> refusals[] = {
        {"ftp://127.0.0.1:" + port + "/", unknown + "unsupported-scheme"},
        {"gopher://127.0.0.1:" + port + "/", unknown + "unsupported-scheme"},
        {"mailto:someone@127.0.0.1", unknown + "unsupported-scheme"},
        {"javascript:void(0)", unknown + "unsupported-scheme"},
        {"file:///etc/passwd", unknown + "unsupported-scheme"},
        {"127.0.0.1:" + port + "/plain", ok},
        {"http:///nohost", unknown + "invalid-url"},
        {"http://[::1:" + port + "/x", unknown + "invalid-url"},
    };
    for (std::size_t index = 0; index < std::size(refusals); ++index) {
        const std::string name = "z" + std::to_string(index);
        tree.WriteFile(name + ".url", ShortcutText(refusals[index].first));
        expected.push_back(tree.Root() + "\t" + name + "\t" + refusals[index].first + "\t" +
                           refusals[index].second);
    }

    const CheckerRun run = RunChecker({"--jobs", "8", tree.Root()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    EXPECT_EQ(LinesWithReasonTokens(run.output), expected);
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const LoopbackServer& server = *servers[index];
        const std::string received =
            server.Received(static_cast<std::size_t>(server.ConnectionsAccepted() - 1));
        EXPECT_EQ(received.substr(0, received.find("\r\n")), cases[index].requestLine)
            << cases[index].name;
    }
    EXPECT_EQ(listening.ConnectionsAccepted(), 1) << "only the link without a scheme";
    EXPECT_EQ(listening.Received(0).rfind("HEAD /plain HTTP/1.0\r\n", 0), 0u);
}

// Conditions a hostile server or environment makes; the checker ends on
// its own, with a verdict or a clear message and exit code.
TEST(CheckProgram, HostileConditionsEndCleanly) {
    LoopbackServer ok(Status("200 OK"));
    // One header line every half second would restart each wait for hours.
    LoopbackServer trickling(ServerScript()
                                 .ReadUntil("\r\n\r\n")
                                 .Send("HTTP/1.0 200 OK\r\n")
                                 .Trickle("X-Slow: 1\r\n", 500ms, 0));
    TempTree links;
    // A worker per link would need about twice as many descriptors as the
    // limit below allows.
    constexpr int kLinks = 40;
    for (int index = 0; index < kLinks; ++index) {
        links.WriteFile(std::to_string(index) + ".url", ShortcutText(UrlOf(ok)));
    }
    TempTree deep;
    std::string nest = "d";
    for (int depth = 0; depth <= kMaxFolderDepth; ++depth) {
        nest += "/d";
    }
    deep.WriteFile(nest + "/hidden.url", ShortcutText(UrlOf(ok)));
    deep.WriteFile("seen.url", ShortcutText(UrlOf(ok)));
    TempTree longUrl;
    longUrl.WriteFile("long.url", ShortcutText(UrlOf(ok, "/" + std::string(70000, 'x'))));

    const auto limitDescriptors = [](rlim_t count) {
        return [count] {
            const rlimit limit{count, count};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        };
    };
    struct Case {
        std::string name;
        std::vector<std::string> arguments;
        ChildSetup setup;
        int exitCode;
        std::string outputEnd;  // the end of standard output
        std::string errors;     // a part of standard error
    };
    const Case cases[] = {
        {"few descriptors",
         {"--jobs", "64", "--per-host", "64", links.Root()},
         limitDescriptors(kLinks),
         0,
         "\t200\tOK\tok\t\t" + UrlOf(ok) + kNoExtras + "\n",
         "the limit of open files allows"},
        {"too few descriptors",
         {"--jobs", "8", links.Root()},
         limitDescriptors(20),
         2,
         "",
         "too few open files"},
        {"trickle",
         {"--timeout", "1", "--url", UrlOf(trickling)},
         {},
         1,
         "\ttimeout: the check took longer than 3 s\t" + UrlOf(trickling) + kNoExtras + "\n",
         ""},
        {"full disk",
         {"--url", UrlOf(ok)},
         [] {
             const int full = ::open("/dev/full", O_WRONLY);
             ::dup2(full, STDOUT_FILENO);
         },
         2,
         "",
         "cannot write the results: No space left on device"},
        {"deep nest",
         {deep.Root()},
         {},
         2,
         "seen\t" + UrlOf(ok) + "\t200\tOK\tok\t\t" + UrlOf(ok) + kNoExtras + "\n",
         "is nested deeper than"},
        {"long url",
         {longUrl.Root()},
         {},
         1,
         "\turl-too-long: longer than 65536 bytes\t" + std::string(kNoExtras) + "\n",
         ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const int before = ok.ConnectionsAccepted();
        const CheckerRun run = RunChecker(test.arguments, test.setup);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, test.exitCode) << run.errors;
        EXPECT_TRUE(run.output.ends_with(test.outputEnd)) << run.output.substr(0, 300);
        EXPECT_NE(run.errors.find(test.errors), std::string::npos) << run.errors;
        if (test.name == "few descriptors") {
            EXPECT_EQ(Lines(run.output).size(), static_cast<std::size_t>(kLinks));
        }
        if (test.name == "long url") {
            EXPECT_EQ(ok.ConnectionsAccepted(), before);
        }
    }
}

// A job started in the background by a script has both stop signals
// ignored, and maybe standard output closed: the signals stay ignored, and
// descriptor 1 is /dev/null rather than the first socket or file the
// program opens.
TEST(CheckProgram, IgnoredStopSignalsAndAClosedOutputAreKeptSafe) {
    LoopbackServer slow(
        ServerScript().ReadUntil("\r\n\r\n").Pause(500ms).Send("HTTP/1.0 200 OK\r\n\r\n"));
    QProcess process;
    StartChecker(process, {"--url", UrlOf(slow)}, [] {
        ::signal(SIGINT, SIG_IGN);
        ::signal(SIGTERM, SIG_IGN);
        ::close(STDOUT_FILENO);
    });
    ASSERT_TRUE(slow.WaitForConnections(1));
    const std::string output = "/proc/" + std::to_string(process.processId()) + "/fd/1";
    EXPECT_EQ(std::filesystem::read_symlink(output), "/dev/null");
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    const CheckerRun run = FinishChecker(process);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.errors, "");
}

TEST(CheckProgram, OneJobAndSixteenJobsPrintTheSame) {
    constexpr int kLinks = 48;
    LoopbackServer ok(Status("200 OK"));
    LoopbackServer missing(Status("404 Not Found"));
    LoopbackServer moved(Status("301 Moved Permanently"));
    LoopbackServer failing(Status("500 Internal Server Error"));
    RefusingPort refused;
    const std::pair<std::string, std::string> targets[] = {
        {UrlOf(ok), "200\tOK\tok\t"},
        // No host of its own: never the server of the link checked before
        // it, which would depend on who checked what.
        {"/relative", "5\t\tunknown\tinvalid-url"},
        {UrlOf(missing), "404\tNicht gefunden\tinvalid\t"},
        {UrlOf(moved), "5\t\tunknown\tno-location"},
        {UrlOf(failing), "500\tInterner Fehler\tinvalid\t"},
        {UrlOfPort(refused.Port()), "5\t\tunknown\trefused"},
    };
    TempTree tree;
    std::vector<std::string> expected;
    for (int index = 0; index < kLinks; ++index) {
        // Two levels of folders; names sort the same as the numbers.
        char name[32];
        std::snprintf(name, sizeof name, "f%d/g%d/%03d", index / 16, (index / 4) % 4, index);
        const auto& [target, result] = targets[index % std::size(targets)];
        // Each link its own address: links sharing one are checked once.
        const std::string url =
            target.rfind("http", 0) == 0 ? target + "?link=" + std::to_string(index) : target;
        tree.WriteFile(std::string(name) + ".url", ShortcutText(url));
        const std::string path = tree.Path(name);
        const std::size_t slash = path.rfind('/');
        expected.push_back(path.substr(0, slash) + "\t" + path.substr(slash + 1) + "\t" + url +
                           "\t" + result);
    }
    const CheckerRun one = RunChecker({"--jobs", "1", tree.Root()});
    const CheckerRun sixteen = RunChecker({"--jobs", "16", "--per-host", "16", tree.Root()});
    ASSERT_TRUE(one.finished);
    ASSERT_TRUE(sixteen.finished);
    EXPECT_EQ(LinesWithReasonTokens(one.output), expected);
    EXPECT_EQ(sixteen.output, one.output);
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_EQ(sixteen.exitCode, 1);
    const int perServer = kLinks / static_cast<int>(std::size(targets));
    EXPECT_EQ(ok.ConnectionsAccepted(), 2 * perServer) << "one per link and run";
}

// The first connections wait until `together` of them are open at once, so
// a checker that checks in parallel reaches that many however slowly it
// starts; later ones answer after a short pause, during which a checker that
// broke the limit would open more. A connection stops counting before its
// answer goes out: from then on its client may rightly start the next check.
std::vector<ServerScript> MeetThenAnswer(int together) {
    std::vector<ServerScript> scripts;
    for (int index = 0; index < together; ++index) {
        scripts.push_back(ServerScript()
                              .AwaitOpen(together, 60s)
                              .ReadUntil("\r\n\r\n")
                              .Pause(50ms)
                              .StopCounting()
                              .Send("HTTP/1.0 200 OK\r\n\r\n"));
    }
    scripts.push_back(ServerScript()
                          .ReadUntil("\r\n\r\n")
                          .Pause(20ms)
                          .StopCounting()
                          .Send("HTTP/1.0 200 OK\r\n\r\n"));
    return scripts;
}

TEST(CheckProgram, PerHostLimitHoldsForEveryAddress) {
    LoopbackServer::Options second;
    second.address = "127.0.0.2";
    LoopbackServer::Options third;
    third.address = "127.0.0.3";
    LoopbackServer first(MeetThenAnswer(2));
    LoopbackServer other(MeetThenAnswer(2), second);
    LoopbackServer single(MeetThenAnswer(1), third);
    TempTree tree;
    for (int index = 0; index < 10; ++index) {
        const std::string number = std::to_string(10 + index);
        tree.WriteFile("a" + number + ".url", ShortcutText(UrlOf(first, "/" + number)));
        tree.WriteFile("b" + number + ".url", ShortcutText(UrlOf(other, "/" + number)));
    }
    const CheckerRun run = RunChecker({"--jobs", "12", "--per-host", "2", tree.Root()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_EQ(first.ConnectionsAccepted(), 10);
    EXPECT_EQ(other.ConnectionsAccepted(), 10);
    EXPECT_EQ(first.MaxConcurrentConnections(), 2);
    EXPECT_EQ(other.MaxConcurrentConnections(), 2);

    TempTree one;
    for (int index = 0; index < 6; ++index) {
        one.WriteFile(std::to_string(index) + ".url",
                      ShortcutText(UrlOf(single) + std::to_string(index)));
    }
    const CheckerRun serial = RunChecker({"--jobs", "6", "--per-host", "1", one.Root()});
    ASSERT_TRUE(serial.finished);
    EXPECT_EQ(serial.exitCode, 0);
    EXPECT_EQ(single.ConnectionsAccepted(), 6);
    EXPECT_EQ(single.MaxConcurrentConnections(), 1);
}

TEST(CheckProgram, JobsRunTheirChecksAtTheSameTime) {
    constexpr int kJobs = 6;
    LoopbackServer server(MeetThenAnswer(kJobs));
    TempTree tree;
    for (int index = 0; index < kJobs; ++index) {
        tree.WriteFile(std::to_string(index) + ".url",
                       ShortcutText(UrlOf(server) + std::to_string(index)));
    }
    const CheckerRun run = RunChecker(
        {"--jobs", std::to_string(kJobs), "--per-host", std::to_string(kJobs), tree.Root()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(server.MaxConcurrentConnections(), kJobs);
}

// A browser's bookmarks, found through its profile or named as a file
// whatever its name: their folders are the bookmark folders.
TEST(CheckProgram, BrowserBookmarksAreCheckedWithTheirFolders) {
    LoopbackServer ok(Status("200 OK"));
    LoopbackServer missing(Status("404 Not Found"));
    TempTree home;
    home.WriteFile(".mozilla/firefox/profiles.ini", "[Profile0]\nPath=p.default\nDefault=1\n");
    home.MakeDirectory(".mozilla/firefox/p.default");
    {
        PlacesDatabase places(home.Path(".mozilla/firefox/p.default/places.sqlite"));
        const auto news = places.Folder(PlacesDatabase::kMenu, "News");
        places.Bookmark(news, "Fine", UrlOf(ok));
        places.Separator(news);
        places.Bookmark(news, "Most visited", "place:sort=8");
        places.Bookmark(PlacesDatabase::kToolbar, "Gone", UrlOf(missing, "/gone"));
        places.Tag("t", UrlOf(ok));
        // A folder that is its own parent: its bookmark cannot be reached.
        places.Execute(
            "INSERT INTO moz_bookmarks (id, type, parent, title) VALUES (900, 2, 900, 'x')");
        places.Bookmark(900, "Lost", UrlOf(ok));
    }
    home.WriteFile("exported", R"json({"roots": {"bookmark_bar": {"type": "folder",
        "name": "Bookmarks bar", "children": [{"type": "folder", "name": "AC/DC", "children": [
        {"type": "url", "name": "Fine", "url": ")json" +
                                   UrlOf(ok) + R"json("}]}]}}})json");

    const char* savedHome = std::getenv("HOME");
    const std::string previousHome = savedHome ? savedHome : "";
    ::setenv("HOME", home.Root().c_str(), 1);
    const CheckerRun firefox = RunChecker({"--browser", "firefox"});
    ::setenv("HOME", previousHome.c_str(), 1);
    ASSERT_TRUE(firefox.finished);
    EXPECT_EQ(firefox.exitCode, 2) << firefox.errors;
    EXPECT_EQ(Lines(firefox.output),
              (std::vector<std::string>{
                  TextLine("Bookmarks Menu/News", "Fine", UrlOf(ok), "200", "OK", "ok") + "\t" +
                      UrlOf(ok) + kNoExtras,
                  TextLine("Bookmarks Toolbar", "Gone", UrlOf(missing, "/gone"), "404",
                           "Nicht gefunden", "invalid") +
                      "\t" + UrlOf(missing, "/gone") + kNoExtras,
              }));
    EXPECT_EQ(firefox.errors,
              "vornakle-check: 3 places that are not web links were skipped: 1 place: query, "
              "1 separator, 1 tag entry\nvornakle-check: 1 bookmark lies in folders no root "
              "folder leads to (folders that form a cycle, lie below a missing folder or nest "
              "deeper than 400); not checked\n");

    const CheckerRun chromium = RunChecker({home.Path("exported")});
    ASSERT_TRUE(chromium.finished);
    EXPECT_EQ(chromium.exitCode, 0) << chromium.errors;
    // The folder "AC/DC" is one folder; the text format escapes its escape.
    EXPECT_EQ(chromium.output,
              TextLine("Bookmarks bar/AC\\\\/DC", "Fine", UrlOf(ok), "200", "OK", "ok") + "\t" +
                  UrlOf(ok) + kNoExtras + "\n");
    EXPECT_EQ(chromium.errors, "");
}

namespace rot {

// A site: each path its own reply (a HEAD gets the header only), every
// other path the reply of "*". One request per connection.
struct Page {
    std::string Status = "200 OK";
    std::string Headers = "Content-Type: text/html\r\n";
    std::string Body;
};
using SitePages = std::map<std::string, Page>;

// "{port}" in a page's header lines is the server's port.
ServerScript SiteScript(SitePages pages, std::function<void(const std::string&)> onRequest = {}) {
    return ServerScript().Answer([pages = std::move(pages), onRequest](const std::string& request) {
        const std::size_t start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        if (onRequest) {
            onRequest(path);
        }
        auto found = pages.find(path);
        // A pattern "prefix*" (one per site at most) before "*".
        for (auto pattern = pages.begin(); found == pages.end() && pattern != pages.end();
             ++pattern) {
            const std::string& key = pattern->first;
            if (key.size() > 1 && key.back() == '*' &&
                path.starts_with(std::string_view(key).substr(0, key.size() - 1))) {
                found = pattern;
            }
        }
        const Page& page = found != pages.end() ? found->second : pages.at("*");
        const bool head = request.rfind("HEAD ", 0) == 0;
        std::string headers = page.Headers;
        if (const std::size_t mark = headers.find("{port}"); mark != std::string::npos) {
            const std::size_t host = request.find("\r\nHost: ");
            const std::size_t colon = request.find(':', host + 8);
            headers.replace(mark, 6,
                            request.substr(colon + 1, request.find('\r', colon) - colon - 1));
        }
        return "HTTP/1.1 " + page.Status + "\r\n" + headers +
               "Content-Length: " + std::to_string(page.Body.size()) +
               "\r\nConnection: close\r\n\r\n" + (head ? std::string() : page.Body);
    });
}

Page Html(const std::string& title, const std::string& body = "<p>Some text.</p>") {
    return {"200 OK", "Content-Type: text/html\r\n",
            "<!DOCTYPE html><html><head><title>" + title + "</title></head><body>" + body +
                "</body></html>"};
}
Page Redirect(const std::string& status, const std::string& location) {
    return {status, "Location: " + location + "\r\n", ""};
}
const Page kNotFound{"404 Not Found", "Content-Type: text/html\r\n", "<title>Not Found</title>"};

}  // namespace rot

TEST(CheckProgram, CurrentRulesTellMovedAndProbablyGoneLinks) {
    using namespace rot;
    // Each row: a site (over TLS when its name says https), the link's path
    // on it, and the class and reason signal the check must give.
    const struct {
        const char* name;
        SitePages pages;
        std::string path;
        std::string kind;
        std::string signal;
    } sites[] = {
        {"moved for good",
         {{"/old", Redirect("301 Moved Permanently", "/new")},
          {"/new", Html("New home")},
          {"*", kNotFound}},
         "/old",
         "moved",
         ""},
        {"moved for good twice",
         {{"/a", Redirect("308 Permanent Redirect", "/b")},
          {"/b", Redirect("301 Moved Permanently", "/c/")},
          {"/c/", Html("Article")},
          {"*", kNotFound}},
         "/a",
         "moved",
         ""},
        {"moved temporarily",
         {{"/old", Redirect("302 Found", "/new")}, {"/new", Html("New")}, {"*", kNotFound}},
         "/old",
         "ok",
         ""},
        {"only a slash added",
         {{"/dir", Redirect("301 Moved Permanently", "/dir/")},
          {"/dir/", Html("Dir")},
          {"*", kNotFound}},
         "/dir",
         "ok",
         ""},
        {"deep link to the front page",
         {{"/news/2019/story.html", Redirect("301 Moved Permanently", "/")},
          {"/", Html("Example News")},
          {"*", kNotFound}},
         "/news/2019/story.html",
         "suspect",
         "front-page-redirect"},
        {"deep link to the sign-in page",
         {{"/team/doc", Redirect("302 Found", "/users/sign_in")},
          {"/users/sign_in", Html("Sign in")},
          {"*", kNotFound}},
         "/team/doc",
         "suspect",
         "sign-in-redirect"},
        {"a sign-in page that leads back",
         {{"/dashboard/settings",
           Redirect("302 Found", "/accounts/login/?next=/dashboard/settings")},
          {"/accounts/login/?next=/dashboard/settings", Html("Sign in")},
          {"*", kNotFound}},
         "/dashboard/settings",
         "login",
         "sign-in-return"},
        {"a removed video its handler answers with a 200",
         {{"/watch?v=*", Html("Tube", "<h1>Tube</h1><p>This video isn't available anymore.</p>")},
          {"*", kNotFound}},
         "/watch?v=dQw4w9WgXcQ",
         "suspect",
         "same-as-made-up-address"},
        {"an empty page on a site with real 404s",
         {{"/blank", {"200 OK", "Content-Type: text/html\r\n", " \n"}}, {"*", kNotFound}},
         "/blank",
         "suspect",
         "empty-page"},
        {"a removed product sent to the search",
         {{"/shop/red-boots", Redirect("302 Found", "/search?q=red+boots")},
          {"/search?q=red+boots", Html("Search")},
          {"*", kNotFound}},
         "/shop/red-boots",
         "suspect",
         "search-redirect"},
        {"error words beside a product's name",
         {{"/shop/costume", Html("Error 404: Costume Not Found - T-Shirt | Geek Apparel")},
          {"*", kNotFound}},
         "/shop/costume",
         "ok",
         ""},
        {"a CDN's wall",
         {{"*",
           {"403 Forbidden", "Content-Type: text/html\r\nServer: AkamaiGHost\r\n",
            "<TITLE>Access Denied</TITLE>Reference&#32;&#35;18&#46;5c1d3e17&#46;1614871234&#46;"
            "1a2b3c4d"}}},
         "/p",
         "blocked",
         "access-denied-reference"},
        {"soft 404 in English",
         {{"*", Html("Page Not Found - Example")}},
         "/a/b",
         "suspect",
         "soft-404-title"},
        {"soft 404 in German, heading only",
         {{"/produkte/alt", Html("Beispiel GmbH", "<h1>Seite nicht gefunden</h1>")},
          {"*", kNotFound}},
         "/produkte/alt",
         "suspect",
         "soft-404-heading"},
        {"soft 404 in French",
         {{"/x", Html("Page introuvable")}, {"*", kNotFound}},
         "/x",
         "suspect",
         "soft-404-title"},
        {"soft 404 in Spanish, UTF-8 undeclared",
         {{"/x", Html("P\u00e1gina no encontrada")}, {"*", kNotFound}},
         "/x",
         "suspect",
         "soft-404-title"},
        {"soft 404 in Italian, Latin-1 declared",
         {{"/x",
           {"200 OK", "Content-Type: text/html; charset=iso-8859-1\r\n",
            "<title>Pagina non trovata</title>"}},
          {"*", kNotFound}},
         "/x",
         "suspect",
         "soft-404-title"},
        {"the same page for every address",
         {{"*", Html("Shop", "<p>Welcome to the shop.</p>")}},
         "/products/boots",
         "suspect",
         "same-as-made-up-address"},
        {"a real page that mentions not found",
         {{"/lost", Html("Lost property office", "<h2>404 Not Found</h2><p>not found</p>")},
          {"*", kNotFound}},
         "/lost",
         "ok",
         ""},
        {"the front page itself", {{"*", Html("Shop")}}, "/", "ok", ""},
        {"an error page that is no HTML",
         {{"/x", {"200 OK", "Content-Type: text/plain\r\n", "404 Not Found"}}, {"*", kNotFound}},
         "/x",
         "ok",
         ""},
        {"gone for real", {{"*", kNotFound}}, "/x", "invalid", ""},
        {"a live page on a two-letter path",
         {{"/old", Redirect("301 Moved Permanently", "/tv")},
          {"/tv", Html("TV listings")},
          {"*", kNotFound}},
         "/old",
         "moved",
         ""},
        {"deep link to a language root",
         {{"/x", Redirect("302 Found", "/pt-br/")},
          {"/pt-br/", Html("In\u00edcio")},
          {"*", kNotFound}},
         "/x",
         "suspect",
         "front-page-redirect"},
        {"deep link to the page the root serves",
         {{"/old", Redirect("302 Found", "/portal/start")},
          {"/", Redirect("302 Found", "/portal/start")},
          {"/portal/start", Html("Portal")},
          {"*", kNotFound}},
         "/old",
         "suspect",
         "front-page-redirect"},
        {"deep link to another site's front page",
         {{"/x", Redirect("301 Moved Permanently", "http://localhost:{port}/")},
          {"/", Html("Other")},
          {"*", kNotFound}},
         "/x",
         "suspect",
         "moved-away"},
        {"a parked domain",
         {{"/", Html("a.example", "<h1>This domain may be for sale</h1>")}, {"*", kNotFound}},
         "/",
         "suspect",
         "parked-domain"},
        {"deep link to an error page",
         {{"/shop/5", Redirect("302 Found", "/Error.aspx?aspxerrorpath=/shop/5")},
          {"/Error.aspx?aspxerrorpath=/shop/5", Html("Shop")},
          {"*", kNotFound}},
         "/shop/5",
         "suspect",
         "error-page-redirect"},
        {"a page that mentions errors",
         {{"/blog/404", Html("How to fix a 404 error", "<h1>Room 404</h1><p>Page not found.</p>")},
          {"*", kNotFound}},
         "/blog/404",
         "ok",
         ""},
        {"a refresh to a live page",
         {{"/start", Html("Wait", "<meta http-equiv=\"refresh\" content=\"2;URL='/welcome'\">")},
          {"/welcome", Html("Welcome")},
          {"*", kNotFound}},
         "/start",
         "ok",
         ""},
        {"a site whose front page is its only page",
         {{"*", Html("Tiny")}},
         "/index.html",
         "ok",
         ""},
        {"behind a sign-in",
         {{"*", {"401 Unauthorized", "WWW-Authenticate: Basic\r\n", ""}}},
         "/team",
         "login",
         "auth-required"},
        {"a robot challenge",
         {{"*",
           {"403 Forbidden", "Content-Type: text/html\r\n", "<title>Just a moment...</title>"}}},
         "/p",
         "blocked",
         "challenge-page"},
        {"a plain refusal",
         {{"*", {"403 Forbidden", "Content-Type: text/html\r\n", "<title>403 Forbidden</title>"}}},
         "/p",
         "invalid",
         ""},
        // Two sites on one host name: each has a made-up page of its own.
        {"https, the same page for every address",
         {{"*", Html("Shop", "<p>Welcome to the shop.</p>")}},
         "/products/boots",
         "suspect",
         "same-as-made-up-address"},
        {"https, a real page like another site's page for all",
         {{"/products/boots", Html("Shop", "<p>Welcome to the shop.</p>")}, {"*", kNotFound}},
         "/products/boots",
         "ok",
         ""},
    };
    TestAuthority authority;
    TempTree trust;
    trust.WriteFile("ca.pem", authority.CertificatePem());
    LoopbackServer::Options secure;
    secure.tls = authority.Issue({"127.0.0.1"});
    std::vector<std::unique_ptr<LoopbackServer>> servers;
    TempTree tree;
    std::vector<std::string> expected;
    for (const auto& site : sites) {
        const bool https = std::string_view(site.name).starts_with("https");
        servers.push_back(https ? std::make_unique<LoopbackServer>(SiteScript(site.pages), secure)
                                : std::make_unique<LoopbackServer>(SiteScript(site.pages)));
        std::string url = UrlOf(*servers.back(), site.path);
        if (https) {
            url.insert(4, "s");
        }
        tree.WriteFile(std::string(site.name) + ".url", ShortcutText(url));
        expected.push_back(std::string(site.name) + " " + site.kind + " " + site.signal);
    }
    const CheckerRun run = RunChecker(
        {"--rules", "current", "--ca-file", trust.Path("ca.pem"), "--format", "json", tree.Root()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    std::vector<std::string> found;
    for (const std::string& line : Lines(run.output)) {
        const auto field = [&line](const std::string& key) {
            const std::size_t start = line.find("\"" + key + "\":\"") + key.size() + 4;
            return line.substr(start, line.find('"', start) - start);
        };
        const std::string reason = field("reason");
        found.push_back(field("name") + " " + field("class") + " " +
                        reason.substr(0, reason.find(':')));
    }
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected);

    // Only suspect and bad links with --bad-only, only moved with --moved,
    // only blocked with --blocked.
    const CheckerRun bad = RunChecker(
        {"--rules", "current", "--ca-file", trust.Path("ca.pem"), "--bad-only", tree.Root()});
    const CheckerRun moved = RunChecker(
        {"--rules", "current", "--ca-file", trust.Path("ca.pem"), "--moved", tree.Root()});
    const CheckerRun blocked = RunChecker(
        {"--rules", "current", "--ca-file", trust.Path("ca.pem"), "--blocked", tree.Root()});
    const auto count = [](const std::string& output, const std::string& kind) {
        const std::vector<std::string> lines = Lines(output);
        return std::count_if(lines.begin(), lines.end(), [&kind](const std::string& line) {
            return line.find("\t" + kind + "\t") != std::string::npos;
        });
    };
    EXPECT_EQ(Lines(bad.output).size(), 19u);
    EXPECT_EQ(count(bad.output, "suspect"), 17);
    EXPECT_EQ(Lines(moved.output).size(), 3u);
    EXPECT_EQ(count(moved.output, "moved"), 3);
    EXPECT_EQ(moved.exitCode, 1);
    EXPECT_EQ(Lines(blocked.output).size(), 2u);
    EXPECT_EQ(count(blocked.output, "blocked"), 2);
}

TEST(CheckProgram, UpdateMovedAndDeadRewriteExactlyTheMovedAndArchivedShortcuts) {
    using namespace rot;
    TempTree tree;
    // A copy of the dead link only; none of the suspect front-page link.
    LoopbackServer archive(ArchiveAnswers("%2Fdead&"));
    LoopbackServer site(SiteScript(
        {{"/old", Redirect("301 Moved Permanently", "/new")},
         {"/new", Html("New")},
         {"/gone", Redirect("301 Moved Permanently", "/")},
         {"/", Html("Home")},
         {"/temp", Redirect("307 Temporary Redirect", "/new")},
         {"/edited", Redirect("308 Permanent Redirect", "/new")},
         {"*", kNotFound}},
        [&tree](const std::string& path) {
            // Someone edits this link while it is checked.
            if (path == "/edited") {
                tree.WriteFile("sub/edited.url", "[InternetShortcut]\nURL=http://example.com/\n");
            }
        }));
    const std::string copy = ArchivedCopy(archive, UrlOf(site, "/dead"));
    const std::string moved = "[DEFAULT]\r\nBASEURL=" + UrlOf(site, "/old") +
                              "\r\n[InternetShortcut]\nURL=" + UrlOf(site, "/old") +
                              "\nIconIndex=0\r\nurl=second\n";
    tree.WriteFile("moved.url", moved);
    tree.WriteFile("sub/moved too.url", "URL=" + UrlOf(site, "/old") + "#part");
    tree.WriteFile("sub/front page.url", ShortcutText(UrlOf(site, "/gone")));
    tree.WriteFile("sub/temporary.url", ShortcutText(UrlOf(site, "/temp")));
    tree.WriteFile("sub/edited.url", ShortcutText(UrlOf(site, "/edited")));
    tree.WriteFile("sub/fine.url", ShortcutText(UrlOf(site, "/new")));
    tree.WriteFile("sub/dead.url", ShortcutText(UrlOf(site, "/dead#top")));
    // A file no rewrite may change.
    tree.WriteFile("sub/read-only.url", ShortcutText(UrlOf(site, "/old")));
    ASSERT_EQ(::chmod(tree.Path("sub/read-only.url").c_str(), 0444), 0);
    std::map<std::string, std::string> expected = Snapshot(tree);
    expected["moved.url"] = RewriteShortcutText(moved, UrlOf(site, "/new"));
    // The part of the page the bookmark pointed to goes along.
    expected["sub/moved too.url"] =
        RewriteShortcutText("URL=" + UrlOf(site, "/old") + "#part", UrlOf(site, "/new#part"));
    expected["sub/edited.url"] = "[InternetShortcut]\nURL=http://example.com/\n";
    expected["sub/dead.url"] = ShortcutText(copy + "#top");

    const CheckerRun run =
        RunChecker({"--rules", "current", "--format", "csv", "--update-moved", "--update-dead",
                    "archive", "--archive-service", UrlOf(archive), tree.Root()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 2) << run.errors;  // a file may not be rewritten
    EXPECT_EQ(Snapshot(tree), expected);
    // The changes, then the bad links: the dead link, and the front-page
    // link, which is suspect.
    std::vector<std::string> lines = Lines(run.output, true);
    ASSERT_EQ(lines.size(), 8u) << run.output;
    EXPECT_NE(lines.back().find("front page"), std::string::npos);
    EXPECT_NE(lines[6].find("," + copy + "#top"), std::string::npos);
    lines.resize(6);
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "file,old_url,new_url",
            tree.Path("moved.url") + "," + UrlOf(site, "/old") + "," + UrlOf(site, "/new"),
            tree.Path("sub/dead.url") + "," + UrlOf(site, "/dead#top") + "," + copy + "#top",
            tree.Path("sub/moved too.url") + "," + UrlOf(site, "/old") + "#part," +
                UrlOf(site, "/new#part"),
            "",
            "folder,name,url,status,status_text,class,reason,final_url,failing_since,failures,"
            "archive_url"}));
    for (const char* message :
         {"sub/edited.url not updated: ", "sub/read-only.url\" is read-only"}) {
        EXPECT_NE(run.errors.find(tree.Path(message)), std::string::npos) << run.errors;
    }
}

// A browser's bookmarks are changed in their own store: a moved link's
// address, a dead one set aside into the folder the run names, everything
// else kept; a backup first; and nothing while the browser has them open.
TEST(CheckProgram, UpdateMovedAndMoveDeadChangeEachBrowsersStore) {
    using namespace rot;
    LoopbackServer site(SiteScript({{"/old", Redirect("301 Moved Permanently", "/new")},
                                    {"/old?a=1&b=2", Redirect("301 Moved Permanently", "/new")},
                                    {"/new", Html("New")},
                                    {"/fine", Html("Fine")},
                                    {"*", kNotFound}}));
    const std::string old = UrlOf(site, "/old");
    const std::string fine = UrlOf(site, "/fine");
    const std::string dead = UrlOf(site, "/dead");
    const std::string html =
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n"
        "    <DT><A HREF=\"" +
        old +
        "?a=1&amp;b=2\" ADD_DATE=\"7\">Old</A>\n"
        "    <DT><H3>News</H3>\n    <DL><p>\n"
        "        <DT><A HREF=\"" +
        dead +
        "\">Dead</A>\n"
        "        <DD>kept with it\n"
        "        <DT><A HREF=" +
        fine + ">Fine</A> <DT><A HREF=" + fine + ">Fine</A>\n    </DL><p>\n</DL><p>\n";
    const auto node = [](int id, const std::string& name, const std::string& url) {
        return "{\"id\": \"" + std::to_string(id) + "\", \"guid\": \"g" + std::to_string(id) +
               "\", \"meta_info\": {\"k\": \"v\"}, \"name\": \"" + name +
               "\", \"type\": \"url\", \"url\": \"" + url + "\"}";
    };
    const std::string json =
        "{\"checksum\": \"0\", \"version\": 1, \"roots\": {\"bookmark_bar\": {\"id\": \"1\", "
        "\"name\": \"Bookmarks bar\", \"type\": \"folder\", \"children\": [" +
        node(4, "Old", old) + ", {\"id\": \"9\", \"name\": \"News\", \"type\": \"folder\", " +
        "\"children\": [" + node(5, "Dead", dead) + ", " + node(6, "Fine", fine) +
        "]}]}, \"other\": {\"id\": \"2\", \"name\": \"Other bookmarks\", \"type\": "
        "\"folder\", \"children\": []}, \"synced\": {\"id\": \"3\", \"name\": \"Mobile "
        "bookmarks\", \"type\": \"folder\", \"children\": []}}}";
    const std::string entry =
        "        <DT><A HREF=\"" + dead + "\">Dead</A>\n        <DD>kept with it\n";
    // Only the entries' own bytes change in an HTML file.
    std::string htmlAfter = html;
    htmlAfter.replace(htmlAfter.find(old + "?a=1&amp;b=2"), old.size() + 12, UrlOf(site, "/new"));
    htmlAfter.erase(htmlAfter.find(entry), entry.size());
    htmlAfter.insert(
        htmlAfter.rfind("</DL><p>"),
        "    <DT><H3 ADD_DATE=\"T\" LAST_MODIFIED=\"T\">Set aside</H3>\n    <DL><p>\n" + entry +
            "    </DL><p>\n");
    struct Store {
        const char* name;
        std::string file;  // empty: a places database
        // What the store holds after the run, as the checker's reader
        // reads it.
        std::string after;
        const char* lock;  // what a running browser holds
    } stores[] = {
        {"bookmarks.html", html,
         "Old=" + UrlOf(site, "/new") + " News[Fine=" + fine + " Fine=" + fine +
             "] Set aside[Dead=" + dead + "]",
         ""},
        {"Default/Bookmarks", json,
         "Bookmarks bar[Old=" + UrlOf(site, "/new") + " News[Fine=" + fine +
             "]] Other bookmarks[Set aside[Dead=" + dead + "]]",
         "SingletonLock"},
        {"places.sqlite", "",
         "Bookmarks Menu[Old=" + UrlOf(site, "/new") + " News[Fine=" + fine +
             "] Set aside[Dead=" + dead + "]]",
         ".parentlock"},
    };
    for (const Store& store : stores) {
        SCOPED_TRACE(store.name);
        TempTree tree;
        if (store.file.empty()) {
            PlacesDatabase places(tree.Path(store.name), "wal");
            places.Bookmark(PlacesDatabase::kMenu, "Old", old);
            const std::int64_t news = places.Folder(PlacesDatabase::kMenu, "News");
            places.Bookmark(news, "Dead", dead);
            places.Bookmark(news, "Fine", fine);
        } else {
            tree.WriteFile(store.name, store.file);
        }
        const std::vector<std::string> arguments = {
            "--rules",     "current",   "--no-history",       "--update-moved",
            "--move-dead", "Set aside", tree.Path(store.name)};
        if (*store.lock != '\0') {
            // Held by a running browser (this process): refused before
            // anything is checked. (Reading the lock file would release
            // the lock: the snapshot comes first.)
            const auto before = Snapshot(tree);
            const std::string lock = tree.Path(store.lock);
            char host[256] = {};
            ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
            const std::string holder = std::string(host) + "-" + std::to_string(::getpid());
            const int held = store.file.empty() ? ::open(lock.c_str(), O_RDWR | O_CREAT, 0644)
                                                : ::symlink(holder.c_str(), lock.c_str());
            struct flock whole {};
            whole.l_type = F_WRLCK;
            ASSERT_EQ(store.file.empty() ? ::fcntl(held, F_SETLK, &whole) : held, 0);
            const CheckerRun refused = RunChecker(arguments);
            EXPECT_EQ(refused.exitCode, 2);
            EXPECT_NE(refused.errors.find("close "), std::string::npos) << refused.errors;
            EXPECT_EQ(refused.output, "");
            if (store.file.empty()) {
                ::close(held);
            }
            ::unlink(lock.c_str());
            EXPECT_TRUE(Snapshot(tree) == before);
            // What a browser that crashed leaves behind does not stop the
            // run: it names a process that is gone.
            const pid_t gone = ::fork();
            if (gone == 0) {
                ::_exit(0);
            }
            ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
            const std::string stale = store.file.empty()
                                          ? "127.0.0.1:+" + std::to_string(gone)
                                          : std::string(host) + "-" + std::to_string(gone);
            ASSERT_EQ(::symlink(stale.c_str(),
                                tree.Path(store.file.empty() ? "lock" : store.lock).c_str()),
                      0);
        }

        const CheckerRun run = RunChecker(arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 1) << run.errors;
        EXPECT_EQ(Shape(ReadBookmarkFileSource(tree.Path(store.name)).Root), store.after);
        if (store.name == std::string("bookmarks.html")) {
            static const std::regex kDates("ADD_DATE=\"[0-9]+\" LAST_MODIFIED=\"[0-9]+\">Set");
            EXPECT_EQ(std::regex_replace(tree.ReadFile(store.name), kDates,
                                         "ADD_DATE=\"T\" LAST_MODIFIED=\"T\">Set"),
                      htmlAfter);
        }
        EXPECT_NE(run.output.find("Old\t" + old), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("News/Dead\t"), std::string::npos) << run.output;
        // The backup holds the old state.
        const std::size_t backupAt = run.errors.find("saved in " + tree.Root());
        ASSERT_NE(backupAt, std::string::npos) << run.errors;
        const std::string backup =
            run.errors.substr(backupAt + 10 + tree.Root().size(),
                              run.errors.find(';', backupAt) - backupAt - 10 - tree.Root().size());
        if (!store.file.empty()) {
            EXPECT_EQ(tree.ReadFile(backup), store.file);
        } else {
            EXPECT_NE(tree.ReadFile(backup).find("\"uri\":\"" + old), std::string::npos);
        }
        // A second run finds the set-aside link where it is and leaves it.
        const auto changed = Snapshot(tree);
        const CheckerRun again = RunChecker({"--rules", "current", "--no-history", "--move-dead",
                                             "Set aside", tree.Path(store.name)});
        EXPECT_EQ(again.exitCode, 1) << again.errors;
        EXPECT_TRUE(Snapshot(tree) == changed);
    }
    // A Favorites directory: the dead link's file moves into the folder.
    TempTree tree;
    tree.WriteFile("Old.url", ShortcutText(old));
    tree.WriteFile("News/Dead.url", ShortcutText(dead));
    tree.WriteFile("News/Fine.url", ShortcutText(fine));
    auto expected = Snapshot(tree);
    expected.erase("News/Dead.url");
    expected["Set aside"] = "<directory>";
    expected["Set aside/Dead.url"] = ShortcutText(dead);
    expected["Old.url"] = RewriteShortcutText(ShortcutText(old), UrlOf(site, "/new"));
    for (int run = 0; run < 2; ++run) {
        const CheckerRun moved =
            RunChecker({"--rules", "current", "--no-history", "--format", "csv", "--update-moved",
                        "--move-dead", "Set aside", tree.Root()});
        EXPECT_EQ(moved.exitCode, 1) << moved.errors;
        EXPECT_EQ(Snapshot(tree), expected);
        EXPECT_EQ(moved.output.find("file,old_folder,new_folder\r\n" + tree.Path("Set aside") +
                                    "/Dead.url," + tree.Path("News") + "," +
                                    tree.Path("Set aside") + "\r\n") != std::string::npos,
                  run == 0)
            << moved.output;
    }
}

// Filters leave links unasked and not bad, an accepted reply is fine, every
// request carries the header lines asked for, and --output replaces its file
// only once the results are whole.
TEST(CheckProgram, FiltersAcceptedRepliesHeadersAndTheOutputFile) {
    LoopbackServer forbidden(Status("403 Forbidden"));
    TempTree tree;
    tree.WriteFile("a.url", ShortcutText(UrlOf(forbidden, "/a")));
    tree.WriteFile("b/c.url", ShortcutText(UrlOf(forbidden, "/private/c")));
    TempTree out;
    out.WriteFile("report.txt", "an older report\n");
    ASSERT_EQ(::chmod(out.Path("report.txt").c_str(), 0640), 0);
    const std::vector<std::string> asked = {"--rules",  "current",     "--accept",
                                            "400..403", "--exclude",   "/private/",
                                            "--header", "X-Token: t1", tree.Root()};

    std::vector<std::string> arguments = asked;
    arguments.insert(arguments.begin(), {"--output", out.Path("report.txt")});
    const CheckerRun run = RunChecker(arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(
        LinesWithReasonTokens(out.ReadFile("report.txt")),
        (std::vector<std::string>{
            TextLine(tree.Root(), "a", UrlOf(forbidden, "/a"), "403",
                     StatusText(LinkStatus::Reply(403)), "ok"),
            TextLine(tree.Path("b"), "c", UrlOf(forbidden, "/private/c"), "1", "", "excluded")}));
    struct stat status {};
    ASSERT_EQ(::stat(out.Path("report.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    ASSERT_EQ(forbidden.ConnectionsAccepted(), 1) << "one GET, for a only";
    EXPECT_NE(forbidden.Received(0).find("\r\nX-Token: t1\r\n"), std::string::npos);

    // A write that fails leaves the old file whole and no other behind.
    const std::string before = out.ReadFile("report.txt");
    const CheckerRun full = RunChecker(arguments, [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    ASSERT_TRUE(full.finished);
    EXPECT_EQ(full.exitCode, 2);
    EXPECT_NE(full.errors.find("cannot write the results"), std::string::npos) << full.errors;
    EXPECT_EQ(out.ReadFile("report.txt"), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.Root()), {}), 1);

    // Where no file can be made nothing is asked; the exit status says so.
    arguments = asked;
    arguments.insert(arguments.begin(), {"--output", out.Path("missing/report.txt")});
    const CheckerRun nowhere = RunChecker(arguments);
    ASSERT_TRUE(nowhere.finished);
    EXPECT_EQ(nowhere.exitCode, 2);
    EXPECT_NE(nowhere.errors.find("nothing was checked"), std::string::npos) << nowhere.errors;
    EXPECT_EQ(forbidden.ConnectionsAccepted(), 2);
}

TEST(CheckProgram, DuplicatesAreCheckedOnceAndListedOnRequest) {
    // No Content-Type: the page is not read, so each check is one request.
    std::mutex mutex;
    std::map<std::string, int> requests;
    LoopbackServer server(ServerScript().Answer([&](const std::string& request) {
        const std::lock_guard lock(mutex);
        ++requests[request.substr(0, request.find(" HTTP/"))];
        return std::string("HTTP/1.0 200 OK\r\n\r\n");
    }));
    const std::string port = std::to_string(server.Port());
    TempTree tree;
    tree.WriteFile("a.url", ShortcutText("http://127.0.0.1:" + port + "/page"));
    tree.WriteFile("b/a.url", ShortcutText("HTTP://127.0.0.1:" + port + "/page#top"));
    tree.WriteFile("b/c.url", ShortcutText("http://127.0.0.1:" + port + "/other"));
    tree.WriteFile("d.url", ShortcutText("http://127.0.0.1:" + port + "/Page"));
    tree.WriteFile("e.url", ShortcutText("http://127.0.0.1:" + port + "/other"));

    const CheckerRun run = RunChecker({"--jobs", "4", "--per-host", "4", tree.Root()});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(Lines(run.output).size(), 5u);
    std::map<std::string, int> once;
    for (const auto& [path, count] : requests) {
        once[path.substr(path.find(' ') + 1)] += count;
    }
    EXPECT_EQ(once, (std::map<std::string, int>{{"/page", 1}, {"/Page", 1}, {"/other", 1}}));

    // Links without an address share nothing.
    tree.WriteFile("f.url", "[InternetShortcut]\r\n");
    tree.WriteFile("g.url", "[InternetShortcut]\r\n");
    const CheckerRun groups = RunChecker({"--duplicates", "--format", "csv", tree.Root()});
    ASSERT_TRUE(groups.finished);
    EXPECT_EQ(groups.exitCode, 0);
    EXPECT_EQ(
        Lines(groups.output, true),
        (std::vector<std::string>{
            "group,folder,name,url", "1," + tree.Root() + ",a,http://127.0.0.1:" + port + "/page",
            "1," + tree.Path("b") + ",a,HTTP://127.0.0.1:" + port + "/page#top",
            "2," + tree.Path("b") + ",c,http://127.0.0.1:" + port + "/other",
            "2," + tree.Root() + ",e,http://127.0.0.1:" + port + "/other"}));
    EXPECT_EQ(server.ConnectionsAccepted(), 3) << "--duplicates checks nothing";
}

}  // namespace
}  // namespace vornakle::testing
