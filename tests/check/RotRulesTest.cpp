#include "check/AccessRules.h"
#include "check/AddressParts.h"
#include "check/BotWalls.h"
#include "check/PageLandmarks.h"
#include "check/RotCheck.h"
#include "check/RotRules.h"
#include "check/SearchRedirect.h"
#include "check/VerdictTexts.h"

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

std::vector<RequestHop> Hops(std::initializer_list<std::pair<const char*, int>> hops) {
    std::vector<RequestHop> list;
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
        std::vector<RequestHop> hops;
        bool moved;
        std::string signal;
        LastPage last = LastPage::ByAddress;
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
         false, "sign-in-return"},
        {Hops({{"http://www.a.example/doc/1", 303},
               {"https://accounts.a.example/users/sign_in", 200}}),
         false, "sign-in-redirect"},
        {Hops({{"http://a.example/intern", 302}, {"http://a.example/Anmelden.aspx", 200}}), false,
         "sign-in-redirect"},
        // What is no such ending.
        {Hops({{"http://a.example/", 301}, {"http://a.example/home", 200}}), true, ""},
        {Hops({{"http://a.example/?q=1", 302}, {"http://a.example/", 200}}), false, ""},
        // Another site's front page, an address named for an error.
        {Hops({{"http://a.example/x", 302}, {"http://b.example/", 200}}), false, "moved-away"},
        {Hops({{"http://a.example/x", 301}, {"https://b.example/x", 200}}), true, ""},
        {Hops({{"http://a.example/shop/5", 302},
               {"http://a.example/Error.aspx?aspxerrorpath=/shop/5", 200}}),
         false, "error-page-redirect"},
        {Hops({{"http://a.example/news/x", 301}, {"http://a.example/404.html", 200}}), false,
         "error-page-redirect"},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/errors/not-found?path=x", 200}}),
         false, "error-page-redirect"},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/pt_BR/", 200}}), false,
         "front-page-redirect"},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/products", 200}}), false,
         "front-page-redirect", LastPage::SameAsRoot},
        // Two letters that are no language, a page about errors, the page
        // itself with a note, the front page bookmarked.
        {Hops({{"http://a.example/x", 302}, {"http://a.example/tv", 200}}), false, ""},
        {Hops({{"http://a.example/old", 301}, {"http://a.example/go/", 200}}), true, ""},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/it-jobs", 200}}), false, ""},
        {Hops({{"http://a.example/a", 301}, {"http://a.example/error-handling", 200}}), true, ""},
        {Hops({{"http://a.example/docs/errors", 301}, {"http://a.example/docs/404/", 200}}), true,
         ""},
        {Hops({{"http://a.example/cart", 302}, {"http://a.example/cart?error=1", 200}}), false, ""},
        {Hops({{"http://a.example/docs/old", 301}, {"http://a.example/docs/errors", 200}}), true,
         ""},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/error/codes", 200}}), false, ""},
        {Hops({{"http://a.example/index.html", 302}, {"http://b.example/", 200}}), false, ""},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/blogin/", 200}}), false, ""},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/", 500}}), false, ""},
        {Hops({{"http://a.example/login", 302}, {"http://a.example/login/", 200}}), false, ""},
        {Hops({{"http://a.example/x", 302}, {"http://a.example/products", 200}}), false, ""},
        // A sign-in page that leads back to the link (its path, its whole
        // address, encoded twice, or inside a further step's return
        // address) holds a page; one that leads elsewhere does not.
        {Hops({{"http://a.example/dashboard/settings", 302},
               {"http://a.example/accounts/login/?next=/dashboard/settings", 200}}),
         false, "sign-in-return"},
        {Hops(
             {{"https://www.a.example/doc/1", 302},
              {"https://id.a.example/signin?continue=https%3A%2F%2Fwww.a.example%2Fdoc%2F1", 200}}),
         false, "sign-in-return"},
        {Hops({{"http://a.example/doc/1", 302},
               {"http://a.example/Login?ReturnUrl=%252Fdoc%252F1", 200}}),
         false, "sign-in-return"},
        {Hops({{"http://a.example/doc/1", 302},
               {"http://a.example/sso?redirect_uri=%2Fcb%3Fnext%3D%252Fdoc%252F1", 302},
               {"http://a.example/login", 200}}),
         false, "sign-in-return"},
        {Hops({{"http://a.example/doc/1", 302}, {"http://a.example/login?next=/", 200}}), false,
         "sign-in-redirect"},
        {Hops({{"http://a.example/doc/1", 302}, {"http://a.example/login?next=/doc/12", 200}}),
         false, "sign-in-redirect"},
        // Pages chosen by their query are deep links; the same handler with
        // a note is the page itself.
        {Hops({{"http://a.example/?p=123", 301}, {"http://a.example/", 200}}), false,
         "front-page-redirect"},
        {Hops({{"http://a.example/index.php?id=5", 302},
               {"http://a.example/index.php?id=5&lang=en", 200}}),
         false, ""},
    };
    for (const auto& row : cases) {
        const std::string first = row.hops.empty() ? "(none)" : row.hops.front().Url;
        const auto [found, clue] = RotOfHops(row.hops, row.last);
        EXPECT_EQ(found == Finding::Moved, row.moved) << first;
        EXPECT_EQ(found == Finding::Login, row.signal == "sign-in-return") << first;
        EXPECT_EQ(found == Finding::Suspect || found == Finding::Login, !row.signal.empty())
            << first;
        EXPECT_EQ(ClueText(clue), row.signal.empty() ? "" : row.signal + ": " + row.hops.back().Url)
            << first;
    }
    // Deep links that end on their site's search: for their own words, or
    // finding nothing.
    const struct {
        std::vector<RequestHop> hops;
        const char* text;  // the search page's first text
        bool suspect;
    } searches[] = {
        {Hops({{"http://a.example/shop/red-cotton-boots", 301},
               {"http://a.example/search?q=red+cotton+boots", 200}}),
         "12 results", true},
        {Hops({{"http://a.example/p/48213", 302}, {"http://www.a.example/s?k=48213", 200}}), "",
         true},
        {Hops({{"http://a.example/shop/boots", 302}, {"http://a.example/search", 200}}),
         "Search: 0 results", true},
        {Hops({{"http://a.example/produkt/5", 302}, {"http://a.example/suche?q=neu", 200}}),
         "Keine Treffer f\u00fcr neu", true},
        {Hops({{"http://a.example/shop/boots", 302}, {"http://a.example/search?q=sale", 200}}),
         "10 results", false},
        {Hops(
             {{"http://a.example/search?q=boots", 301}, {"http://a.example/search/?q=boots", 200}}),
         "0 results", false},
        {Hops({{"http://a.example/shop/boots", 302}, {"http://b.example/search?q=boots", 200}}), "",
         false},
        {Hops({{"http://a.example/shop/boots", 302}, {"http://a.example/research", 200}}),
         "no results", false},
    };
    for (const auto& row : searches) {
        PageSample page{row.hops.back().Url, 200, 100, "Search", ""};
        page.Text = row.text;
        EXPECT_EQ(SearchRedirectSuspicion(row.hops, &page).has_value(), row.suspect)
            << row.hops.back().Url;
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
        {"Pagina niet gevonden", "niet gevonden"},
        {"P\u00e1gina n\u00e3o encontrada", "n\u00e3o encontrada"},
        {"Strona nie istnieje", "nie istnieje"},
        {"Sidan hittades inte", "hittades inte"},
        {"\u0421\u0422\u0420\u0410\u041d\u0418\u0426\u0410 \u041d\u0415 "
         "\u041d\u0410\u0419\u0414\u0415\u041d\u0410",
         "\u043d\u0435 \u043d\u0430\u0439\u0434\u0435\u043d\u0430"},
        {"\u30da\u30fc\u30b8\u304c\u898b\u3064\u304b\u308a\u307e\u305b\u3093",
         "\u898b\u3064\u304b\u308a\u307e\u305b\u3093"},
        {"\u9875\u9762\u4e0d\u5b58\u5728", "\u9875\u9762\u4e0d\u5b58\u5728"},
        {"This page could not be found", "page could not be found"},
        // The table's order decides, not the text's; a phrase inside a word
        // is none, the same one whole later is.
        {"This page does not exist (404)", "404"},
        {"Route 4040, now 404", "404"},
        {"\u6b64\u9875\u9762\u4e0d\u5b58\u5728", "\u9875\u9762\u4e0d\u5b58\u5728"},
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
    // A phrase makes an error text only with words that go with it; 404
    // alone counts only so.
    const std::pair<const char*, bool> texts[] = {
        {"404", true},
        {"404 Not Found", true},
        {"Error 404 - page not found", true},
        {"Page not found | Shop", true},
        {"Oops! That page can\u2019t be found.", true},
        {"Sorry, the page you requested was not found on this server", true},
        {"Die angeforderte Seite wurde nicht gefunden", true},
        {"\u30a8\u30e9\u30fc - \u304a\u63a2\u3057\u306e\u30da\u30fc\u30b8\u306f"
         "\u898b\u3064\u304b\u308a\u307e\u305b\u3093\u3067\u3057\u305f",
         true},
        {"Peugeot 404 Coup\u00e9", false},
        {"Room 404 - Hotel", false},
        {"How to fix a 404 error", false},
        {"Not Found (band) discography", false},
        {"Why the page does not exist in print", false},
        {"\u4e3a\u4ec0\u4e48\u4e0a\u5e1d\u4e0d\u5b58\u5728", false},
    };
    for (const auto& [text, error] : texts) {
        EXPECT_EQ(ErrorPageText(text).has_value(), error) << text;
    }
    // The title decides before the heading; a page with neither is no error
    // page, whatever its text says.
    const auto clueText = [](const PageSample& page) {
        return ClueText(ErrorPageSuspicion(page).value_or(Clue()));
    };
    EXPECT_EQ(clueText({"", 200, 10, "Not Found", "Sorry"}), "soft-404-title: Not Found");
    EXPECT_EQ(clueText({"", 200, 10, "Shop", "Seite nicht gefunden"}),
              "soft-404-heading: Seite nicht gefunden");
    EXPECT_EQ(clueText({"", 200, 10, "Shop", "Summer sale", "", "Error 404 not found"}), "");
    // Error words beside others count where a made-up address of the same
    // shape gets a page like it; nothing but an error text counts alone.
    const struct {
        const char* title;
        PageSample madeUp;
        const char* clue;
    } weighed[] = {
        {"Error 404: Costume Not Found - T-Shirt | Geek Apparel",
         {"", 404, 9, "Not Found", ""},
         ""},
        {"404 Page Not Found: 40 creative error pages that keep visitors",
         {"", 200, 9, "Page not found | Blog", ""},
         ""},
        {"Page not found | Shop", {"", 200, 9, "Page Not Found | Shop", ""}, "soft-404-title"},
        {"Page not found | Shop", {"", 404, 9, "Page not found | Shop", ""}, ""},
        {"Page not found", {"", 404, 9, "Not Found", ""}, "soft-404-title"},
    };
    for (const auto& row : weighed) {
        const std::optional<Clue> clue =
            ErrorPageSuspicion({"", 200, 10, row.title, ""}, &row.madeUp);
        EXPECT_EQ(clue ? std::string(SignalToken(clue->Kind)) : "", row.clue) << row.title;
    }
    EXPECT_EQ(
        ClueText(EmptyPageSuspicion({"http://a/x", 404, 9, "Not Found", ""}).value_or(Clue())),
        "empty-page: http://a/x 404");
    EXPECT_FALSE(EmptyPageSuspicion({"http://a/x", 200, 0, "", ""}));
    // Pages offering their domain for sale, and robot challenges.
    EXPECT_EQ(ClueText(*ParkedSuspicion({"", 200, 9, "a.example", "", "", "Buy this domain!"})),
              "parked-domain: buy this domain");
    EXPECT_FALSE(ParkedSuspicion({"", 200, 9, "Domains explained", "", "", "Our domain news"}));
    EXPECT_FALSE(ParkedSuspicion({"", 200, 9, "", "", "", "Rebuy this domain"}));
    EXPECT_EQ(ClueText(*ChallengeOfPage("Just a moment...", "")),
              "challenge-page: Just a moment...");
    EXPECT_EQ(ClueText(*ChallengeOfPage("Shop", "<div class=\"G-Recaptcha\">")),
              "challenge-page: captcha");
    EXPECT_FALSE(ChallengeOfPage("403 Forbidden", "<h1>Forbidden</h1>"));
    const std::pair<std::string, std::string> replies[] = {
        {"HTTP/1.1 401 X\r\nWWW-Authenticate: Basic realm=\"in\"\r\n",
         "auth-required: Basic realm=\"in\""},
        {"HTTP/1.1 407 X\r\n", "proxy-auth-required"},
        {"HTTP/1.1 403 X\r\ncf-mitigated: challenge\r\n",
         "challenge-header: cf-mitigated: challenge"},
        {"HTTP/1.1 999 X\r\n", "bot-status: 999"},
        {"HTTP/1.1 403 X\r\nX-Cf: challenge\r\n", ""},
        {"HTTP/1.1 599 X\r\n", ""},
    };
    for (const auto& [header, clue] : replies) {
        const auto access = AccessOfReply(std::stoi(header.substr(9, 3)), header);
        EXPECT_EQ(access ? ClueText(access->second) : "", clue) << header;
    }
    // Walls of CDNs, bot managers and firewalls by header and page; an
    // ordinary refusal is none.
    const std::string akamai =
        "<HTML><HEAD><TITLE>Access Denied</TITLE></HEAD><BODY><H1>Access Denied</H1>You don't "
        "have permission.<P>Reference&#32;&#35;18&#46;5c1d3e17&#46;1614871234&#46;1a2b3c4d</BODY>";
    const struct {
        std::string header;
        std::string html;
        const char* signal;
    } walls[] = {
        {"Server: AkamaiGHost\r\n", akamai, "access-denied-reference"},
        {"Server: nginx\r\n", akamai, ""},
        {"X-Iinfo: 13-4711-0 0NNN RT(1 2) q(0 -1 -1 0)\r\n",
         "<p>Request unsuccessful. Incapsula incident ID: 1234000560078</p>", "incident-id"},
        {"x-datadome: protected\r\n",
         "<script src=\"https://ct.captcha-delivery.com/c.js\"></script>", "captcha-delivery"},
        {"",
         "<title>Access to this page has been denied</title><div id=\"px-captcha\"></div>"
         "<p>Press &amp; Hold to confirm you are a human</p>",
         "press-and-hold"},
        {"x-sucuri-id: 18012\r\n", "<title>Sucuri WebSite Firewall - Access Denied</title>",
         "firewall-block"},
        {"",
         "<title>Your access to this site has been limited</title><p>Generated by Wordfence</p>",
         "firewall-block"},
        {"CF-RAY: 8a1b2c3d4e5f6a7b-FRA\r\n",
         "<title>Attention Required! | Cloudflare</title><h1>Sorry, you have been blocked</h1>",
         "firewall-block"},
        {"Server: Apache\r\n", "<title>403 Forbidden</title><h1>Access Denied</h1>", ""},
        {"x-sucuri-id: 18012\r\n", "<title>403 Forbidden</title><h1>Access Denied</h1>", ""},
    };
    for (const auto& row : walls) {
        const PageLandmarks landmarks = ReadPageLandmarks(row.html);
        PageSample page{"", 403, row.html.size(), landmarks.Title, landmarks.Heading};
        page.Text = landmarks.Text;
        const std::optional<Clue> wall =
            BotWallOfReply(403, "HTTP/1.1 403 Forbidden\r\n" + row.header, &page, row.html);
        EXPECT_EQ(wall ? std::string(SignalToken(wall->Kind)) : "", row.signal) << row.html;
    }
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
        {{"", 200, 10000, "Shop", ""}, false},  // a shell its scripts fill
    };
    for (const auto& row : cases) {
        EXPECT_EQ(SameAsMadeUp(row.page, madeUp), row.same) << row.page.Size << row.page.Title;
    }
    EXPECT_FALSE(SameAsMadeUp({"", 200, 0, "", ""}, {"", 200, 0, "", ""}));
    // The root's page: the same final address, or the same page but for a
    // few changing words; a sibling of one template is none.
    const std::string words = "News of the day: one two three four five six seven eight nine";
    const PageSample root{"/", 200, 10000, "Shop", "Shop", "http://a/start", words + " ten"};
    EXPECT_TRUE(SameAsRoot({"/x", 200, 1, "Other", "", "http://a/start/"}, root));
    EXPECT_TRUE(
        SameAsRoot({"/x", 200, 10100, "Shop", "Shop", "http://a/home", words + " 11"}, root));
    EXPECT_FALSE(
        SameAsRoot({"/x", 200, 10100, "Shop", "Shop", "http://a/about", "About us: we"}, root));
}

TEST(RotRules, MadeUpSiblingAndDeepLinks) {
    const std::pair<const char*, const char*> siblings[] = {
        {"http://a.example/news/item.html?ref=rss#c", "http://a.example/news/T.html"},
        {"HTTP://A.example:8080/x", "http://a.example:8080/T"},
        {"https://a.example:443/dir/", "https://a.example/T/"},
        {"http://a.example/docs/guide.tar.gz", "http://a.example/docs/T.gz"},
        {"http://a.example/v1.2", "http://a.example/T"},
        {"no address", ""},
        // Pages chosen by their query: the same keys, made-up values.
        {"https://v.example/watch?v=dQw4w9WgXcQ&t=42s&utm_source=x",
         "https://v.example/watch?v=T&t=42s"},
        {"http://a.example/news/item.html?id=3#c", "http://a.example/news/item.html?id=944444444"},
        {"http://f.example/viewtopic.php?f=2&topic=55",
         "http://f.example/viewtopic.php?f=2&topic=944444444"},
        {"http://f.example/showthread.php?12345-boots", "http://f.example/showthread.php?T"},
        {"http://a.example/?p=123", "http://a.example/?p=944444444"},
    };
    for (const auto& [url, sibling] : siblings) {
        EXPECT_EQ(MadeUpSibling(url, "T"), sibling) << url;
    }
    // One look per site and shape: folders of one depth share it.
    EXPECT_EQ(MadeUpShape("http://a.example/news/a.html"),
              MadeUpShape("http://a.example/blog/b.html"));
    EXPECT_NE(MadeUpShape("http://a.example/news/a.html"), MadeUpShape("http://a.example/news/a"));
    EXPECT_NE(MadeUpShape("http://a.example/a/b/"), MadeUpShape("http://a.example/a/b"));
    EXPECT_NE(MadeUpShape("http://a.example/watch?v=1"), MadeUpShape("http://a.example/watch"));
    EXPECT_EQ(MadeUpShape("http://a.example/watch?v=1"), MadeUpShape("http://a.example/watch?v=2"));
    EXPECT_TRUE(IsDeepLink("http://a.example/?p=123"));
    EXPECT_TRUE(IsDeepLink("http://a.example/index.php?title=Boots"));
    EXPECT_TRUE(IsDeepLink("http://a.example/x"));
    EXPECT_TRUE(IsDeepLink("http://a.example/x/?q"));
    EXPECT_FALSE(IsDeepLink("http://a.example/?q=x"));
    EXPECT_FALSE(IsDeepLink("http://a.example"));
    EXPECT_FALSE(IsDeepLink("a.example/x"));
    EXPECT_FALSE(IsDeepLink("http://a.example/Index.html"));
    EXPECT_FALSE(IsDeepLink("http://a.example/zh-Hant-TW/"));
    // A refresh within 10 s to another address is a redirection.
    const std::pair<const char*, const char*> refreshes[] = {
        {"0; url=/gone", "http://a.example/gone"},
        {" 5 ; URL = 'http://b.example/x' ", "http://b.example/x"},
        {"1.5,next", "http://a.example/dir/next"},
        {"10;url=\"../up\"", "http://a.example/up"},
        {"11; url=/later", ""},
        {"0", ""},
        {"0; url=page#top", ""},
        {"url=/x", ""},
    };
    for (const auto& [refresh, target] : refreshes) {
        EXPECT_EQ(RefreshTarget(refresh, "http://a.example/dir/page").value_or(""), target)
            << refresh;
    }
    // So is a script's step to a literal address; a computed one is unknown.
    const std::pair<const char*, const char*> scripts[] = {
        {"location = '/gone'", "http://a.example/gone"},
        {" window.location.href=\"next\";\n", "http://a.example/dir/next"},
        {"<!--\nlocation.replace('/r');\n//-->", "http://a.example/r"},
        {"window.location.replace(\"\\/x\")", "http://a.example/x"},
        {"self.location.assign( '/a' )", "http://a.example/a"},
        {"location = 'page'", ""},
        {"location.href = '/a' + q", ""},
        {"location.replace('/a'); track()", ""},
        {"location == '/a'", ""},
        {"location.replace('/a\\u0041')", ""},
        {"window.locationx = '/a'", ""},
    };
    for (const auto& [script, target] : scripts) {
        EXPECT_EQ(ScriptTarget(script, "http://a.example/dir/page").value_or(""), target) << script;
    }
}

// The desktop program's words: a German text for every reason and signal,
// and a line per finding that names its token.
TEST(RotRules, GermanVerdictsForEveryReasonAndSignal) {
    for (int reason = 1; reason <= static_cast<int>(FailureReason::Error); ++reason) {
        EXPECT_NE(GermanText(ReasonToken(static_cast<FailureReason>(reason))), "") << reason;
    }
    for (int signal = 1; signal <= static_cast<int>(Signal::FirewallBlock); ++signal) {
        EXPECT_NE(GermanText(SignalToken(static_cast<Signal>(signal))), "") << signal;
    }
    const auto found = [](std::int32_t status, std::string finalUrl, Finding finding,
                          Clue clue = Clue()) {
        CheckResult result = CheckResult::Answered(LinkStatus::Reply(status));
        result.FinalUrl = std::move(finalUrl);
        result.Found = finding;
        result.FoundBy = std::move(clue);
        return result;
    };
    const std::pair<CheckResult, std::string> cases[] = {
        {CheckResult::Failed(FailureReason::UnsupportedScheme, "ftp"),
         "Adressen dieser Art werden nicht gepr\u00fcft (unsupported-scheme): ftp"},
        {CheckResult::Failed(FailureReason::Dns, "no address (h:80)"),
         "Der Name des Servers ist unbekannt (dns)"},
        {found(200, "http://a/", Finding::None), ""},
        {found(200, "http://b/\xe4", Finding::None), "Weitergeleitet nach http://b/\u00e4"},
        {found(200, "http://new/", Finding::Moved), "Dauerhaft verschoben nach http://new/"},
        {[&] {
             CheckResult fetched = found(200, "http://a/", Finding::None);
             fetched.Hops = {{"http://a/", 200, {"http://ca/i.der"}},
                             {"http://a/", 200, {"http://ca/i.der"}}};
             return fetched;
         }(),
         "Zwischenzertifikat geladen von http://ca/i.der"},
        {found(200, "http://a/", Finding::Suspect, {Signal::ErrorTitle, "Not Found"}),
         "Verd\u00e4chtig: Der Seitentitel meldet, dass die Seite fehlt (soft-404-title): "
         "Not Found"},
        {found(401, "http://a/", Finding::Login, {Signal::AuthRequired, ""}),
         "Erreichbar nach Anmeldung: Die Seite verlangt eine Anmeldung (auth-required)"},
        {found(999, "http://a/", Finding::Blocked, {Signal::BotStatus, "999"}),
         "Von hier nicht pr\u00fcfbar: Die Website weist Programme mit einer eigenen "
         "Antwortnummer ab (bot-status): 999"},
    };
    for (const auto& [result, text] : cases) {
        const std::string url = result.Reason == FailureReason::None ? "http://a/" : "ftp://a/";
        EXPECT_EQ(GermanVerdict(result, url), text) << ReasonText(result);
    }
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
    // The text people read, and the refresh a browser running scripts obeys.
    const PageLandmarks page = ReadPageLandmarks(
        "<head><title>T</title><meta http-equiv=\"Refresh\" content=\"0; url=/b\"><style>p{}"
        "</style></head><body><noscript><meta http-equiv=refresh content=\"0; url=/nojs\">"
        "Enable scripts</noscript><p>Buy\n this</p><script>x()</script><p>domain</p></body>");
    EXPECT_EQ(page.Text, "Buy this domain");
    EXPECT_EQ(page.Refresh, "0; url=/b");
    EXPECT_EQ(ReadPageLandmarks("<noscript><meta http-equiv=refresh content=0;url=/n>"
                                "</noscript><p>x</p>")
                  .Refresh,
              "");
    // The only script of a page that shows nothing else.
    const std::pair<const char*, const char*> scripts[] = {
        {"<title>Moving</title><script>go()</script>", "go()"},
        {"<body>\n<script type=\"Text/JavaScript\">go()</script><noscript><a href=/a>Go</a>"
         "</noscript></body>",
         "go()"},
        {"<script type=application/ld+json>{}</script><script>go()</script>", "go()"},
        {"<p>Welcome</p><script>go()</script>", ""},
        {"<img src=a.png><script>go()</script>", ""},
        {"<script src=a.js></script><script>go()</script>", ""},
        {"<script>go()</script><script>on()</script>", ""},
    };
    for (const auto& [html, script] : scripts) {
        EXPECT_EQ(ReadPageLandmarks(html).Script, script) << html;
    }
}

TEST(RotRules, MadeUpPagesAreFetchedOncePerOriginWhateverTheThreads) {
    SitePages pages;
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
