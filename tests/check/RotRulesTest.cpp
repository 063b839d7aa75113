#include "check/AddressParts.h"
#include "check/PageLandmarks.h"
#include "check/RotCheck.h"
#include "check/RotRules.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace vornakle {
namespace {

TEST(RotRules, AddressKeyMergesOnlyWhatNamesTheSamePage) {
    // Each row: two URLs and whether one check may stand for both.
    const struct {
        const char* first;
        const char* second;
        bool same;
    } cases[] = {
        {"http://example.com/a", "HTTP://Example.COM/a", true},
        {"http://example.com/a", "http://example.com:80/a", true},
        {"https://example.com/a", "https://example.com:443/a", true},
        {"http://example.com/a#top", "http://example.com/a#end", true},
        {"http://example.com", "http://example.com/", true},
        {"http://example.com/?q=1#x", "http://example.com?q=1", true},
        {"http://[::1]:80/a", "http://[::1]/a", true},
        {"mailto:a@example.com#x", "mailto:a@example.com", true},
        // The path and the query are the server's: their case counts.
        {"http://example.com/A", "http://example.com/a", false},
        {"http://example.com/a?q=1", "http://example.com/a?q=2", false},
        {"http://example.com/a", "http://example.com/a/", false},
        {"http://example.com/a", "https://example.com/a", false},
        {"http://example.com:8080/a", "http://example.com/a", false},
        {"https://example.com:80/a", "https://example.com/a", false},
        {"http://user@example.com/a", "http://example.com/a", false},
        {"http://[::1]:8080/a", "http://[::1]/a", false},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(AddressKey(row.first) == AddressKey(row.second), row.same)
            << row.first << " / " << row.second;
    }
    EXPECT_EQ(AddressKey("HTTP://Example.COM:80#x"), "http://example.com/");
    // One made-up page per origin: https hosts are no exception.
    EXPECT_EQ(OriginKey("HTTPS://user@Example.COM:443/a?b#c"), "https://example.com");
    EXPECT_EQ(OriginKey("https://example.com:8443/"), "https://example.com:8443");
    EXPECT_NE(OriginKey("https://a.example/x"), OriginKey("https://b.example/x"));
    EXPECT_EQ(OriginKey("/relative"), "");
}

TEST(RotRules, SiteOfJoinsTheHostsOfOneRegisteredName) {
    const std::pair<const char*, const char*> cases[] = {
        {"www.example.com", "example.com"}, {"Shop.Example.COM", "example.com"},
        {"example.com", "example.com"},     {"a.b.example.org.", "example.org"},
        {"www.bbc.co.uk", "bbc.co.uk"},     {"login.example.com.au", "example.com.au"},
        {"127.0.0.1", "127.0.0.1"},         {"[::1]", "[::1]"},
        {"localhost", "localhost"},
    };
    for (const auto& [host, site] : cases) {
        EXPECT_EQ(SiteOf(host), site) << host;
    }
}

std::vector<CheckHop> Hops(std::initializer_list<std::pair<const char*, int>> hops) {
    std::vector<CheckHop> list;
    for (const auto& [url, status] : hops) {
        list.push_back({url, status});
    }
    return list;
}

TEST(RotRules, RedirectionsTellMovedFrontPageAndSignIn) {
    // Each row: the hops of a check, whether it moved for good, and the
    // signal of a redirection that suggests the page is gone ("" none),
    // which wins over a move.
    const struct {
        std::vector<CheckHop> hops;
        bool moved;
        std::string signal;
    } cases[] = {
        {Hops({{"http://a.example/old", 301}, {"http://a.example/new", 200}}), true, ""},
        {Hops({{"http://a.example/old", 308},
               {"https://a.example/old", 301},
               {"https://a.example/new", 204}}),
         true, ""},
        {Hops({{"http://a.example/old", 301}, {"https://a.example/old", 200}}), true, ""},
        // Temporary on the way: the bookmark must keep its address.
        {Hops({{"http://a.example/old", 301},
               {"http://a.example/mid", 302},
               {"http://a.example/new", 200}}),
         false, ""},
        {Hops({{"http://a.example/old", 307}, {"http://a.example/new", 200}}), false, ""},
        // Only a trailing slash, the host's letter case or a default port.
        {Hops({{"http://a.example/dir", 301}, {"http://a.example/dir/", 200}}), false, ""},
        {Hops({{"http://a.example/dir/", 301}, {"http://a.example/dir", 200}}), false, ""},
        {Hops({{"http://A.Example/x", 301}, {"http://a.example:80/x", 200}}), false, ""},
        // Moved, but to a page that is not alive.
        {Hops({{"http://a.example/old", 301}, {"http://a.example/new", 404}}), false, ""},
        {Hops({{"http://a.example/old", 200}}), false, ""},
        {{}, false, ""},
        // Deep links ending on the site's front page.
        {Hops({{"http://a.example/news/2019/item.html", 301}, {"http://a.example/", 200}}), false,
         "front-page-redirect"},
        {Hops({{"http://www.a.example/x", 302}, {"https://a.example/index.php", 200}}), false,
         "front-page-redirect"},
        {Hops({{"http://a.example/de/artikel", 302}, {"http://a.example/de/", 200}}), false,
         "front-page-redirect"},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/en-us", 200}}), false,
         "front-page-redirect"},
        // ... or on its sign-in page.
        {Hops({{"http://a.example/doc/1", 302}, {"http://a.example/login?next=/doc/1", 200}}),
         false, "sign-in-redirect"},
        {Hops({{"http://www.a.example/doc/1", 303},
               {"https://accounts.a.example/users/sign_in", 200}}),
         false, "sign-in-redirect"},
        {Hops({{"http://a.example/intern", 302}, {"http://a.example/Anmelden.aspx", 200}}), false,
         "sign-in-redirect"},
        // What is no such ending.
        {Hops({{"http://a.example/", 301}, {"http://a.example/home", 200}}), true, ""},
        {Hops({{"http://a.example/?q=1", 302}, {"http://a.example/", 200}}), false, ""},
        {Hops({{"http://a.example/x", 302}, {"http://b.example/", 200}}), false, ""},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/blogin/", 200}}), false, ""},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/", 500}}), false, ""},
        {Hops({{"http://a.example/login", 302}, {"http://a.example/login/", 200}}), false, ""},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/products", 200}}), false, ""},
    };
    for (const auto& row : cases) {
        const std::string first = row.hops.empty() ? "(none)" : row.hops.front().Url;
        const auto [rot, reason] = RotOfHops(row.hops);
        EXPECT_EQ(rot == RotClass::Moved, row.moved) << first;
        EXPECT_EQ(rot == RotClass::Suspect, !row.signal.empty()) << first;
        EXPECT_EQ(reason, row.signal.empty() ? "" : row.signal + ": " + row.hops.back().Url)
            << first;
    }
}

TEST(RotRules, ErrorPagePhrasesInFiveLanguagesAsWholeWords) {
    const std::pair<const char*, const char*> cases[] = {
        {"404 Not Found", "not found"},
        {"Error 404", "404"},
        {"Oops! This page doesn't exist.", "page doesn't exist"},
        {"The page does not exist", "page does not exist"},
        {"Seite nicht gefunden", "nicht gefunden"},
        {"Diese Seite existiert nicht mehr", "existiert nicht"},
        {"Fehlerseite", "fehlerseite"},
        {"PAGE INTROUVABLE", "introuvable"},
        {"Page non trouv\u00e9e", "non trouv\u00e9e"},
        {"PAGE NON TROUV\u00c9E", "non trouv\u00e9e"},
        {"Cette page n\u2019existe pas", "n\u2019existe pas"},
        {"P\u00e1gina no encontrada", "no encontrada"},
        {"La p\u00e1gina que buscas no existe", "no existe"},
        {"Pagina non trovata", "non trovata"},
        {"Questa pagina non esiste", "non esiste"},
        // Words that only contain a phrase, and pages that are fine.
        {"Notfound Records - Home", nullptr},
        {"Route 4040", nullptr},
        {"Found: the best recipes", nullptr},
        {"Nicht gefundenes Fressen", nullptr},
        {"Welcome", nullptr},
        {"", nullptr},
    };
    for (const auto& [text, phrase] : cases) {
        const std::optional<std::string_view> found = ErrorPagePhrase(text);
        EXPECT_EQ(found ? std::string(*found) : "(none)", phrase ? phrase : "(none)") << text;
    }
    // The title decides before the heading; a page with neither is no error
    // page, whatever its text says.
    EXPECT_EQ(ErrorPageSuspicion({"", 200, 10, "Not Found", "Sorry"}), "soft-404-title: Not Found");
    EXPECT_EQ(ErrorPageSuspicion({"", 200, 10, "Shop", "Seite nicht gefunden"}),
              "soft-404-heading: Seite nicht gefunden");
    EXPECT_EQ(ErrorPageSuspicion({"", 200, 10, "Shop", "Summer sale"}), std::nullopt);
}

TEST(RotRules, SameAsMadeUpComparesStatusTitleAndSize) {
    const PageSample madeUp{"", 200, 10000, "Shop", "Welcome"};
    const struct {
        PageSample page;
        bool same;
    } cases[] = {
        {{"", 200, 10000, "Shop", "Welcome"}, true},
        {{"", 200, 10400, "Shop", "Other"}, true},    // the address echoed back
        {{"", 200, 9000, "Shop", "Welcome"}, false},  // another page, same layout
        {{"", 200, 10000, "Shop - Boots", "Welcome"}, false},
        {{"", 203, 10000, "Shop", "Welcome"}, false},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(SameAsMadeUp(row.page, madeUp), row.same) << row.page.Size << row.page.Title;
    }
    EXPECT_FALSE(SameAsMadeUp({"", 200, 0, "", ""}, {"", 200, 0, "", ""}));
}

TEST(RotRules, MadeUpSiblingAndDeepLinks) {
    const std::pair<const char*, const char*> siblings[] = {
        {"http://a.example/news/item.html?id=3#c", "http://a.example/news/T"},
        {"HTTP://A.example:8080/x", "http://a.example:8080/T"},
        {"https://a.example:443/dir/", "https://a.example/dir/T"},
        {"no address", ""},
    };
    for (const auto& [url, sibling] : siblings) {
        EXPECT_EQ(MadeUpSibling(url, "T"), sibling) << url;
    }
    EXPECT_TRUE(IsDeepLink("http://a.example/x"));
    EXPECT_TRUE(IsDeepLink("http://a.example/x/?q"));
    EXPECT_FALSE(IsDeepLink("http://a.example/?q=x"));
    EXPECT_FALSE(IsDeepLink("http://a.example"));
    EXPECT_FALSE(IsDeepLink("a.example/x"));
}

TEST(RotRules, PageLandmarksAreTheFirstTitleAndHeadingAsText) {
    const struct {
        std::string html;
        std::string encoding;
        const char* title;
        const char* heading;
    } cases[] = {
        {"<html><head><title> Not\n  Found </title></head><body><h1>Gone <b>away</b></h1>"
         "<h1>Second</h1></body></html>",
         "", "Not Found", "Gone away"},
        // No markup around them, upper case, cut off in the middle.
        {"<TITLE>Fehler</TITLE><H1>Seite nicht gef", "", "Fehler", "Seite nicht gef"},
        {"<h1>Only a heading</h1><title>Late title</title>", "", "Late title", "Only a heading"},
        // A heading inside the title's text is no heading.
        {"<body><p>Text about 404 pages</p></body>", "", "", ""},
        // Encodings: declared by the page, given by the caller, or Latin-1.
        {"<meta charset=\"utf-8\"><title>P\u00e1gina no encontrada</title>", "",
         "P\u00e1gina no encontrada", ""},
        {"<title>P\u00e1gina</title>", "UTF-8", "P\u00e1gina", ""},
        {"<title>P\xe1gina</title>", "", "P\u00e1gina", ""},
        {"", "", "", ""},
        {"\x01\x02 not html at all", "", "", ""},
    };
    for (const auto& row : cases) {
        const PageLandmarks landmarks = ReadPageLandmarks(row.html, row.encoding);
        EXPECT_EQ(landmarks.Title, row.title) << row.html;
        EXPECT_EQ(landmarks.Heading, row.heading) << row.html;
    }
}

TEST(RotRules, MadeUpPagesAreFetchedOncePerOriginWhateverTheThreads) {
    MadeUpPages pages;
    std::atomic<int> fetches{0};
    std::vector<std::optional<PageSample>> got(8);
    std::vector<std::thread> threads;
    for (std::size_t index = 0; index < got.size(); ++index) {
        threads.emplace_back([&, index] {
            // Even origins are one, odd ones another; the first fetch of each
            // is still running while the others ask.
            const std::string origin = index % 2 == 0 ? "http://a.example" : "https://a.example";
            got[index] = pages.SampleOf(origin, [&fetches, origin] {
                ++fetches;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return std::optional<PageSample>(PageSample{origin + "/x", 200, 1, "T", ""});
            });
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(fetches, 2);
    EXPECT_EQ(pages.Fetched(), 2);
    for (std::size_t index = 0; index < got.size(); ++index) {
        ASSERT_TRUE(got[index]);
        EXPECT_EQ(got[index]->Url, index % 2 == 0 ? "http://a.example/x" : "https://a.example/x");
    }
    // A fetch that found nothing is not asked again either.
    EXPECT_EQ(pages.SampleOf("http://b.example", [] { return std::optional<PageSample>(); }),
              std::nullopt);
    EXPECT_EQ(pages.SampleOf("http://b.example",
                             [&fetches] {
                                 ++fetches;
                                 return std::optional<PageSample>(PageSample{});
                             }),
              std::nullopt);
    EXPECT_EQ(fetches, 2);
}

}  // namespace
}  // namespace vornakle
