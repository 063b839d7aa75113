// The HTML report of a collection with links of every class, as libxml2's
// HTML parser and a headless Chromium read it.
#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "CheckerProcess.h"
#include "support/LoopbackServer.h"
#include "support/TempTree.h"

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;

const HistoryTime kDay = HistoryTime(std::chrono::days(20400));

// A site with a page for every class; /changed fails from the second day on.
ServerScript EveryClassSite(const int& day) {
    return ServerScript().Answer([&day](const std::string& request) {
        const std::size_t start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        const std::map<std::string, std::string> replies = {
            {"/", "200 OK\r\nContent-Type: text/html\r\n\r\n<title>Home</title>"},
            {"/fine", "200 OK\r\nContent-Type: text/html\r\n\r\n<title>Fine</title>"},
            {"/old", "301 Moved\r\nLocation: /fine\r\n\r\n"},
            {"/news/2019/story", "301 Moved\r\nLocation: /\r\n\r\n"},
            {"/team", "401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n"},
            {"/shop", "999 Request denied\r\n\r\n"},
            {"/members", "403 Forbidden\r\n\r\n"},
            {"/changed", day == 1 ? "200 OK\r\n\r\n" : "404 Not Found\r\n\r\n"},
        };
        const auto found = replies.find(path);
        const std::string reply =
            found != replies.end() ? found->second
                                   : "404 Not Found\r\nContent-Type: text/html\r\n\r\n<title>Not "
                                     "Found</title>";
        const std::size_t headerEnd = reply.find("\r\n\r\n");
        return "HTTP/1.1 " + reply.substr(0, headerEnd) + "\r\nConnection: close\r\n\r\n" +
               (request.rfind("HEAD ", 0) == 0 ? std::string() : reply.substr(headerEnd + 4));
    });
}

// The page's nodes an XPath expression selects, as their texts.
std::vector<std::string> Texts(xmlDocPtr document, const char* expression) {
    std::vector<std::string> texts;
    const std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> context(
        xmlXPathNewContext(document), xmlXPathFreeContext);
    const std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> found(
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression), context.get()),
        xmlXPathFreeObject);
    for (int index = 0; found && found->nodesetval && index < found->nodesetval->nodeNr; ++index) {
        xmlChar* text = xmlNodeGetContent(found->nodesetval->nodeTab[index]);
        texts.emplace_back(reinterpret_cast<const char*>(text));
        xmlFree(text);
    }
    return texts;
}

TEST(CheckReport, EveryClassEscapedCountedAndShownByABrowser) {
    int day = 1;
    LoopbackServer site(EveryClassSite(day));
    RefusingPort refused;
    // An archived copy of the link that is gone, none of the others.
    LoopbackServer archive(ArchiveAnswers("%2Fgone"));
    const std::string base = "http://127.0.0.1:" + std::to_string(site.Port());
    TempTree tree;
    // Folders as a user names them, from where the source is.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(tree.Root());
    const std::unique_ptr<const std::filesystem::path, void (*)(const std::filesystem::path*)>
        restore(&previous,
                [](const std::filesystem::path* path) { std::filesystem::current_path(*path); });
    const std::pair<std::string, std::string> links[] = {
        {"Reading/fine", base + "/fine"},
        {"Reading/moved", base + "/old"},
        {"Reading/front page", base + "/news/2019/story"},
        {"Work/team", base + "/team"},
        {"Work/shop", base + "/shop"},
        {"Work/members only", base + "/members"},
        {"Work/changed", base + "/changed"},
        {"Work/gone", base + "/gone?a=1&b=\"2\""},
        {"Work/<script>alert(1)",
         "http://127.0.0.1:" + std::to_string(refused.Port()) + "/\"><script>alert(2)</script>"},
        {"Private/diary", base + "/private/diary"},
        {"Tools/bookmarklet", "javascript:alert(3)"},
        {"Tools/mail", "mailto:ann@example.org"},
        {"Tools/manual", "file://" + tree.Path("manual.html")},
    };
    tree.WriteFile("manual.html", "<title>Manual</title>");
    for (const auto& [name, url] : links) {
        tree.WriteFile("Favorites/" + name + ".url", ShortcutText(url));
    }
    const std::vector<std::string> options = {
        "--rules",
        "current",
        "--history",
        "history.sqlite",
        "--confirmed",
        "--accept",
        "403",
        "--exclude",
        "/private/",
        "--archive",
        "--archive-service",
        "http://127.0.0.1:" + std::to_string(archive.Port()) + "/",
        "--format",
        "html",
        "Favorites"};
    std::vector<std::string> first = options;
    first.insert(first.end(), {"--output", "first.html"});
    ASSERT_EQ(RunCheckerHere(first, [] { return kDay; }).exitCode, 0);
    day = 2;
    std::vector<std::string> second = options;
    second.insert(second.end(), {"--output", "report.html"});
    const CheckerRun run = RunCheckerHere(second, [] { return kDay + 25h; });
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    EXPECT_EQ(run.output, "");
    const std::string page = tree.ReadFile("report.html");

    // Well-formed: the parser finds nothing wrong beyond elements it does
    // not know (it knows HTML 4: no svg, section, details).
    std::vector<std::string> problems;
    const std::unique_ptr<htmlParserCtxt, decltype(&htmlFreeParserCtxt)> parser(htmlNewParserCtxt(),
                                                                                htmlFreeParserCtxt);
    xmlSetStructuredErrorFunc(&problems, [](void* list, xmlError* error) {
        if (error->code != XML_HTML_UNKNOWN_TAG) {
            static_cast<std::vector<std::string>*>(list)->push_back(error->message);
        }
    });
    const std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document(
        htmlCtxtReadMemory(parser.get(), page.data(), static_cast<int>(page.size()), nullptr,
                           "utf-8", HTML_PARSE_NONET),
        xmlFreeDoc);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(problems, std::vector<std::string>());

    // Names and URLs are text; only http and https become links.
    EXPECT_EQ(Texts(document.get(), "//script").size(), 1u);
    for (const std::string& link : Texts(document.get(), "//a/@href")) {
        EXPECT_TRUE(link.starts_with(base) || link.starts_with("http://127.0.0.1:") ||
                    link.starts_with(ArchivedCopy(archive, "")))
            << link;
    }
    EXPECT_EQ(Texts(document.get(), "//td[@data-label='Archived copy']/a"),
              std::vector<std::string>{ArchivedCopy(archive, base + "/gone?a=1&b=\"2\"")});
    const std::vector<std::string> cells = Texts(document.get(), "//td");
    for (const char* shown : {"<script>alert(1)", "javascript:alert(3)"}) {
        EXPECT_NE(std::find(cells.begin(), cells.end(), shown), cells.end()) << shown;
    }
    EXPECT_NE(std::find(cells.begin(), cells.end(), base + "/gone?a=1&b=\"2\""), cells.end());

    // Each class as often as the links have it: in the chart and the rows.
    const std::map<std::string, int> expected = {
        {"ok", 3},      {"moved", 1},   {"suspect", 1}, {"login", 1},       {"blocked", 1},
        {"failing", 1}, {"invalid", 1}, {"unknown", 1}, {"not-checked", 2}, {"excluded", 1}};
    for (const auto& [name, count] : expected) {
        const std::string bar = "//svg//*[@data-class='" + name + "']//*[@class='count']";
        const std::string rows = "//tr[@class='r-" + name + "']";
        EXPECT_EQ(Texts(document.get(), bar.c_str()),
                  count == 0 ? std::vector<std::string>()
                             : std::vector<std::string>{std::to_string(count)})
            << name;
        EXPECT_EQ(Texts(document.get(), rows.c_str()).size(), static_cast<std::size_t>(count))
            << name;
    }
    // The bad links first, by folder in the order of the scan.
    EXPECT_EQ(Texts(document.get(), "//section[@id='bad']/h3"),
              (std::vector<std::string>{"Favorites/Reading", "Favorites/Work"}));
    EXPECT_EQ(Texts(document.get(), "//section[@id='bad']//tr[td]").size(), 3u);

    // A browser opens it without the network: the script runs (the class
    // filter appears) and the page shows; VORNAKLE_REPORT_SCREENSHOT names a
    // file for a picture of it.
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty()) {
        GTEST_SKIP() << "no chromium on PATH: the report was not opened in a browser";
    }
    const char* screenshot = std::getenv("VORNAKLE_REPORT_SCREENSHOT");
    const std::string picture = screenshot ? screenshot : tree.Path("report.png");
    const auto browse = [&](const QString& what) {
        QProcess browser;
        browser.start(
            chromium,
            {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
             QStringLiteral("--disable-gpu"), QStringLiteral("--disable-background-networking"),
             QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
             QStringLiteral("--no-first-run"), QStringLiteral("--hide-scrollbars"),
             QStringLiteral("--window-size=1000,1200"),
             QStringLiteral("--user-data-dir=") + QString::fromStdString(tree.Path("profile")),
             what, QString::fromStdString("file://" + tree.Path("report.html"))});
        EXPECT_TRUE(browser.waitForFinished(60000));
        return browser.readAllStandardOutput().toStdString();
    };
    const std::string dom = browse(QStringLiteral("--dump-dom"));
    EXPECT_NE(dom.find("<nav class=\"filter\">"), std::string::npos) << dom.substr(0, 2000);
    EXPECT_NE(dom.find("&lt;script&gt;alert(1)"), std::string::npos);
    browse(QString::fromStdString("--screenshot=" + picture));
    EXPECT_GT(std::filesystem::file_size(picture), 10000u);
}

}  // namespace
}  // namespace vornakle::testing
