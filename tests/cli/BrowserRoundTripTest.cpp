// The checker changes the bookmarks of profiles the real browsers made,
// and the browsers read them back: Firefox through its own export at quit,
// Chromium through its bookmarks API. Skipped where a browser is missing.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "CheckerProcess.h"
#include "bookmarks/BookmarkTestSupport.h"
#include "bookmarks/HtmlBookmarks.h"
#include "support/LoopbackServer.h"
#include "support/TempTree.h"

namespace vornakle::testing {
namespace {

using Clock = std::chrono::steady_clock;
// A browser that has not started, answered or quit by then never will.
constexpr auto kBrowserLimit = std::chrono::seconds(90);

// A site with a page that moved for good, one that is there and one that
// is gone.
ServerScript Site() {
    return ServerScript().Answer([](const std::string& request) {
        const std::string path = request.substr(4, request.find(' ', 4) - 4);
        const std::string status = path == "/old" ? "301 Moved Permanently\r\nLocation: /new"
                                   : path == "/new" || path == "/fine" ? "200 OK"
                                                                       : "404 Not Found";
        const std::string body = "<title>" + path + "</title><p>A page of its own.</p>";
        return "HTTP/1.1 " + status +
               "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    });
}

QString Found(const char* program) {
    return QStandardPaths::findExecutable(QString::fromLatin1(program));
}

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Adds what descriptor has to text, waiting until the deadline at most.
bool ReadMore(int descriptor, std::string& text, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd wait{descriptor, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
        return false;
    }
    char buffer[65536];
    const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
    if (got <= 0) {
        return false;
    }
    text.append(buffer, static_cast<std::size_t>(got));
    return true;
}

bool ReadUntil(int descriptor, std::string& text, const std::string& end,
               Clock::time_point deadline) {
    while (text.find(end) == std::string::npos) {
        if (!ReadMore(descriptor, text, deadline)) {
            return false;
        }
    }
    return true;
}

// Firefox on a profile, quit through Marionette (a graceful quit, at which
// it exports its bookmarks as bookmarks.html).
void RunFirefox(const TempTree& home, const std::string& profile) {
    std::filesystem::remove(profile + "/MarionetteActivePort");
    QProcess firefox;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(home.Root()));
    environment.insert("MOZ_HEADLESS", "1");
    firefox.setProcessEnvironment(environment);
    // Whatever fails below, no browser outlives the test.
    const struct Stopper {
        QProcess& Browser;
        ~Stopper() {
            if (Browser.state() != QProcess::NotRunning) {
                Browser.kill();
                Browser.waitForFinished();
            }
        }
    } stopper{firefox};
    firefox.start(Found("firefox-esr"), {"--headless", "--marionette", "--no-remote", "--profile",
                                         QString::fromStdString(profile), "about:blank"});
    const Clock::time_point deadline = Clock::now() + kBrowserLimit;
    int port = 0;
    while (port == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Written once Marionette listens; it may be read half-written.
        port = std::atoi(ReadText(profile + "/MarionetteActivePort").c_str());
    }
    ASSERT_NE(port, 0) << "Firefox did not start";
    const int connection = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::string received;
    const auto command = [&](int id, const std::string& name, const std::string& parameters) {
        const std::string message =
            "[0," + std::to_string(id) + ",\"" + name + "\"," + parameters + "]";
        const std::string framed = std::to_string(message.size()) + ":" + message;
        EXPECT_EQ(::write(connection, framed.data(), framed.size()),
                  static_cast<ssize_t>(framed.size()));
        EXPECT_TRUE(ReadUntil(connection, received, "[1," + std::to_string(id) + ",", deadline));
    };
    EXPECT_TRUE(ReadUntil(connection, received, "marionetteProtocol", deadline));
    command(1, "WebDriver:NewSession", "{}");
    command(2, "Marionette:Quit", "{\"flags\":[\"eAttemptQuit\"]}");
    ::close(connection);
    EXPECT_TRUE(firefox.waitForFinished(static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count())));
}

void WriteUserJs(const std::string& profile, bool import) {
    WriteText(profile + "/user.js",
              "user_pref(\"browser.places.importBookmarksHTML\", " +
                  std::string(import ? "true" : "false") +
                  ");\n"
                  "user_pref(\"browser.bookmarks.autoExportHTML\", true);\n"
                  "user_pref(\"marionette.port\", 0);\n"
                  "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
                  "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n");
}

// What Firefox exported at its quit, as the checker's reader reads it.
std::string ExportedShape(const std::string& profile) {
    const std::string exported = profile + "/bookmarks.html";
    const std::string shape = Shape(ParseHtmlBookmarks(ReadText(exported), exported).Root);
    std::filesystem::remove(exported);
    return shape;
}

TEST(BrowserRoundTrip, FirefoxReadsTheChangesAndRestoresTheBackup) {
    if (Found("firefox-esr").isEmpty()) {
        GTEST_SKIP() << "no firefox-esr on PATH: Firefox's round trip was not run";
    }
    LoopbackServer site(Site());
    const std::string base = "http://127.0.0.1:" + std::to_string(site.Port());
    TempTree home;
    const std::string profile = home.Path("profile");
    std::filesystem::create_directories(profile);
    // The profile is Firefox's own: it imports the seed at its first start.
    WriteText(profile + "/bookmarks.html",
              "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n<DL><p>\n"
              "<DT><A HREF=\"" +
                  base +
                  "/old\">Old</A>\n<DT><H3>News</H3>\n<DL><p>\n"
                  "<DT><A HREF=\"" +
                  base + "/dead\">Dead</A>\n<DT><A HREF=\"" + base +
                  "/fine\">Fine</A>\n</DL><p>\n</DL><p>\n");
    WriteUserJs(profile, true);
    RunFirefox(home, profile);
    const std::string seeded = ExportedShape(profile);
    ASSERT_EQ(seeded, "Old=" + base + "/old News[Dead=" + base + "/dead Fine=" + base + "/fine]");
    WriteUserJs(profile, false);

    const CheckerRun run = RunChecker({"--rules", "current", "--no-history", "--update-moved",
                                       "--move-dead", "Dead links", profile + "/places.sqlite"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    RunFirefox(home, profile);
    EXPECT_EQ(ExportedShape(profile), "Old=" + base + "/new News[Fine=" + base +
                                          "/fine] Dead links[Dead=" + base + "/dead]");

    // Firefox rebuilds a lost database from the newest backup: the one the
    // run made, which holds the bookmarks as they were.
    for (const char* file : {"/places.sqlite", "/places.sqlite-wal", "/places.sqlite-shm"}) {
        std::filesystem::remove(profile + file);
    }
    RunFirefox(home, profile);
    EXPECT_EQ(ExportedShape(profile), seeded);
}

// Chromium driven through its debugging pipe (descriptors 3 and 4): the
// tree chrome.bookmarks gives on its bookmarks page, as a shape.
std::string ChromiumTree(const TempTree& home, const std::string& userData) {
    int toChromium[2];
    int fromChromium[2];
    if (::pipe(toChromium) != 0 || ::pipe(fromChromium) != 0) {
        return "no pipe";
    }
    QProcess chromium;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(home.Root()));
    chromium.setProcessEnvironment(environment);
    chromium.setChildProcessModifier([&] {
        ::dup2(toChromium[0], 3);
        ::dup2(fromChromium[1], 4);
    });
    const struct Stopper {
        QProcess& Browser;
        ~Stopper() {
            if (Browser.state() != QProcess::NotRunning) {
                Browser.kill();
                Browser.waitForFinished();
            }
        }
    } stopper{chromium};
    chromium.start(Found("chromium"),
                   {"--headless=new", "--no-sandbox", "--no-first-run", "--disable-sync",
                    "--disable-gpu", "--remote-debugging-pipe",
                    QString::fromStdString("--user-data-dir=" + userData), "about:blank"});
    ::close(toChromium[0]);
    ::close(fromChromium[1]);
    const Clock::time_point deadline = Clock::now() + kBrowserLimit;
    std::string received;
    const auto call = [&](int id, const std::string& message) {
        const std::string framed = message.substr(0, message.size() - 1) +
                                   ",\"id\":" + std::to_string(id) + "}" + std::string(1, '\0');
        if (::write(toChromium[1], framed.data(), framed.size()) !=
            static_cast<ssize_t>(framed.size())) {
            return QJsonObject();
        }
        // The replies and events, each ended by a zero byte, until its own.
        for (;;) {
            const std::size_t end = received.find('\0');
            if (end == std::string::npos) {
                if (!ReadMore(fromChromium[0], received, deadline)) {
                    break;
                }
                continue;
            }
            const QJsonObject reply =
                QJsonDocument::fromJson(QByteArray::fromStdString(received.substr(0, end)))
                    .object();
            received.erase(0, end + 1);
            if (reply.value("id").toInt() == id) {
                return reply;
            }
        }
        return QJsonObject();
    };
    std::string shape = "no answer";
    const QString target =
        call(1, R"({"method":"Target.createTarget","params":{"url":"chrome://bookmarks"}})")
            .value("result")["targetId"]
            .toString();
    const QString session = call(2, R"({"method":"Target.attachToTarget","params":{"targetId":")" +
                                        target.toStdString() + R"(","flatten":true}})")
                                .value("result")["sessionId"]
                                .toString();
    for (int attempt = 0; attempt < 100 && Clock::now() < deadline; ++attempt) {
        const QJsonObject answer =
            call(10 + attempt,
                 R"({"sessionId":")" + session.toStdString() +
                     R"js(","method":"Runtime.evaluate","params":{"expression":)js"
                     R"js("new Promise(r => chrome.bookmarks.getTree(r)).then(JSON.stringify)",)js"
                     R"js("awaitPromise":true,"returnByValue":true}})js");
        const QString value = answer.value("result")["result"]["value"].toString();
        if (!value.isEmpty()) {
            // The roots and what is in them, as "Name[...]" and "Name=URL".
            std::function<std::string(const QJsonArray&)> walk = [&](const QJsonArray& nodes) {
                std::string text;
                for (const QJsonValue node : nodes) {
                    text += text.empty() ? "" : " ";
                    text += node["title"].toString().toStdString();
                    text += node.toObject().contains("url")
                                ? "=" + node["url"].toString().toStdString()
                                : "[" + walk(node["children"].toArray()) + "]";
                }
                return text;
            };
            shape =
                walk(QJsonDocument::fromJson(value.toUtf8()).array().at(0)["children"].toArray());
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    call(99, R"({"method":"Browser.close"})");
    ::close(toChromium[1]);
    ::close(fromChromium[0]);
    chromium.waitForFinished(30000);
    return shape;
}

TEST(BrowserRoundTrip, ChromiumReadsTheChangesAndTheBackupGivesTheOldOnes) {
    if (Found("chromium").isEmpty()) {
        GTEST_SKIP() << "no chromium on PATH: Chromium's round trip was not run";
    }
    LoopbackServer site(Site());
    const std::string base = "http://127.0.0.1:" + std::to_string(site.Port());
    TempTree home;
    // Nodes without a guid: Chromium gives them one and writes the file
    // anew, so the file the checker changes is Chromium's own.
    const auto node = [](int id, const std::string& name, const std::string& url) {
        return R"({"id":")" + std::to_string(id) + R"(","name":")" + name +
               R"(","type":"url","url":")" + url + R"(","date_added":"13300000000000000"})";
    };
    const auto root = [](int id, const std::string& name, const std::string& children) {
        return R"({"id":")" + std::to_string(id) + R"(","name":")" + name +
               R"(","type":"folder","date_added":"13300000000000000","date_modified":"0","children":[)" +
               children + "]}";
    };
    home.WriteFile("data/Default/Bookmarks",
                   R"({"checksum":"","version":1,"roots":{"bookmark_bar":)" +
                       root(1, "Bookmarks bar",
                            node(4, "Old", base + "/old") + "," +
                                root(5, "News",
                                     node(6, "Dead", base + "/dead") + "," +
                                         node(7, "Fine", base + "/fine"))) +
                       R"(,"other":)" + root(2, "Other bookmarks", "") + R"(,"synced":)" +
                       root(3, "Mobile bookmarks", "") + "}}");
    const std::string userData = home.Path("data");
    const std::string seeded = ChromiumTree(home, userData);
    ASSERT_EQ(seeded, "Bookmarks bar[Old=" + base + "/old News[Dead=" + base +
                          "/dead Fine=" + base + "/fine]] Other bookmarks[]");
    ASSERT_NE(home.ReadFile("data/Default/Bookmarks").find("\"guid\""), std::string::npos);

    const CheckerRun run =
        RunChecker({"--rules", "current", "--no-history", "--update-moved", "--move-dead",
                    "Dead links", userData + "/Default/Bookmarks"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    const std::string written = home.ReadFile("data/Default/Bookmarks");
    EXPECT_EQ(ChromiumTree(home, userData), "Bookmarks bar[Old=" + base + "/new News[Fine=" + base +
                                                "/fine]] Other bookmarks[Dead links[Dead=" + base +
                                                "/dead]]");
    // It took the file as it was: no repair, no rewrite.
    EXPECT_EQ(home.ReadFile("data/Default/Bookmarks"), written);

    // The copy beside the file is the way back.
    const std::size_t at = run.errors.find("saved in ") + 9;
    std::filesystem::copy_file(run.errors.substr(at, run.errors.find(';', at) - at),
                               userData + "/Default/Bookmarks",
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(ChromiumTree(home, userData), seeded);
}

}  // namespace
}  // namespace vornakle::testing
