// Makes a realistic collection whose links have rotted in the ways real ones
// do (moved for good or for a while, removed, removed behind a 200 "not
// found" page in one of five languages, redirected to the front page, to a
// sign-in page, to an error page or to another site's front page, sent on by
// a refresh to a removed page, on a site that serves one page for any
// address or offers its domain for sale, bookmarked twice) and live links
// that look like rot to a careless eye (interim replies, credentials in the
// URL, sign-in pages, bot walls, pages on two-letter paths, titles that
// mention errors, a refresh to a live page, pages chosen by their query,
// error words in a longer title on sites with real 404s and soft ones, sign-in
// redirects that name the page as the way back, the walls of CDNs and
// website firewalls), and dead ones of the same shapes (a removed video or
// item whose handler says so with a 200, an empty page, a redirection to the
// site's search, a plain 403), serves its sites on loopback
// addresses, checks it with vornakle-check under current rules and prints,
// for each kind of link, the classes the check gave it, with the live links
// called bad (false_alarms) and the dead ones called fine (missed_dead).
//
//   bench_rot [--links N] [--sites N]
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "SiteServer.h"
#include "common/BenchSupport.h"

namespace vornakle::bench {
namespace {

constexpr int kDefaultLinks = 600;
constexpr int kDefaultSites = 24;
// Every this many sites one serves the same page for any address, and one
// offers its domain for sale.
constexpr int kCatchAllEvery = 8;
constexpr int kParkedEvery = 12;
// Every this many sites one answers missing pages with a 200 "Page not
// found | <site>" page.
constexpr int kSoftMissingEvery = 6;
constexpr int kLinksPerFolder = 40;
// The credentials of links that carry them, and their Basic form.
constexpr const char* kUserInfo = "reader:s3cret@";
constexpr const char* kBasicCredentials = "cmVhZGVyOnMzY3JldA==";

enum class Kind {
    Fine,
    Moved,
    Temporary,
    Interim,
    UserInfo,
    SignInPage,
    BotWall,
    TwoLetterPath,
    MentionsError,
    RefreshToLive,
    Removed,
    SoftMissing,
    FrontPage,
    SignIn,
    ErrorPage,
    MovedAway,
    RefreshToRemoved,
    CatchAll,
    Parked,
    Twice,
    QueryChosen,
    ErrorWordsInTitle,
    SignInReturn,
    CdnWall,
    QueryChosenRemoved,
    EmptyPage,
    SearchRedirect,
    PlainForbidden,
    SoftMissingSite
};

const char* NameOf(Kind kind) {
    switch (kind) {
        case Kind::Fine:
            return "fine";
        case Kind::Moved:
            return "moved_for_good";
        case Kind::Temporary:
            return "moved_for_a_while";
        case Kind::Interim:
            return "live_after_interim_replies";
        case Kind::UserInfo:
            return "live_with_credentials";
        case Kind::SignInPage:
            return "live_behind_sign_in";
        case Kind::BotWall:
            return "live_behind_bot_wall";
        case Kind::TwoLetterPath:
            return "live_on_two_letter_path";
        case Kind::MentionsError:
            return "live_mentioning_errors";
        case Kind::RefreshToLive:
            return "live_after_refresh";
        case Kind::Removed:
            return "removed_404";
        case Kind::SoftMissing:
            return "removed_soft_404";
        case Kind::FrontPage:
            return "removed_to_front_page";
        case Kind::SignIn:
            return "removed_to_sign_in";
        case Kind::ErrorPage:
            return "removed_to_error_page";
        case Kind::MovedAway:
            return "removed_to_other_site";
        case Kind::RefreshToRemoved:
            return "removed_behind_refresh";
        case Kind::CatchAll:
            return "removed_on_catch_all_site";
        case Kind::Parked:
            return "domain_parked";
        case Kind::Twice:
            return "bookmarked_twice";
        case Kind::QueryChosen:
            return "live_query_chosen_page";
        case Kind::ErrorWordsInTitle:
            return "live_error_words_in_longer_title";
        case Kind::SignInReturn:
            return "live_behind_sign_in_redirect";
        case Kind::CdnWall:
            return "live_behind_cdn_or_firewall_wall";
        case Kind::QueryChosenRemoved:
            return "removed_query_chosen_page";
        case Kind::EmptyPage:
            return "removed_empty_page";
        case Kind::SearchRedirect:
            return "removed_to_search";
        case Kind::PlainForbidden:
            return "refused_plain_403";
        case Kind::SoftMissingSite:
            return "removed_on_soft_404_site";
    }
    return "?";
}

// Whether a link of this kind is gone: the check should call it bad
// (suspect, invalid, unknown), never fine. The others are alive and must
// never be called bad.
bool IsDead(Kind kind) {
    switch (kind) {
        case Kind::Removed:
        case Kind::SoftMissing:
        case Kind::FrontPage:
        case Kind::SignIn:
        case Kind::ErrorPage:
        case Kind::MovedAway:
        case Kind::RefreshToRemoved:
        case Kind::CatchAll:
        case Kind::Parked:
        case Kind::QueryChosenRemoved:
        case Kind::EmptyPage:
        case Kind::SearchRedirect:
        case Kind::PlainForbidden:
        case Kind::SoftMissingSite:
            return true;
        default:
            return false;
    }
}

bool IsBadClass(const std::string& found) {
    return found == "suspect" || found == "invalid" || found == "unknown";
}

// Out of 100 links: what rots how, and what only looks so.
Kind KindFor(int draw) {
    constexpr std::array<std::pair<int, Kind>, 25> kShares = {{{7, Kind::Moved},
                                                               {3, Kind::Temporary},
                                                               {2, Kind::Interim},
                                                               {2, Kind::UserInfo},
                                                               {2, Kind::SignInPage},
                                                               {2, Kind::BotWall},
                                                               {3, Kind::TwoLetterPath},
                                                               {3, Kind::MentionsError},
                                                               {2, Kind::RefreshToLive},
                                                               {6, Kind::Removed},
                                                               {4, Kind::SoftMissing},
                                                               {3, Kind::FrontPage},
                                                               {2, Kind::SignIn},
                                                               {2, Kind::ErrorPage},
                                                               {2, Kind::MovedAway},
                                                               {2, Kind::RefreshToRemoved},
                                                               {6, Kind::Twice},
                                                               {4, Kind::QueryChosen},
                                                               {4, Kind::ErrorWordsInTitle},
                                                               {3, Kind::SignInReturn},
                                                               {4, Kind::CdnWall},
                                                               {4, Kind::QueryChosenRemoved},
                                                               {3, Kind::EmptyPage},
                                                               {4, Kind::SearchRedirect},
                                                               {2, Kind::PlainForbidden}}};
    for (const auto& [share, kind] : kShares) {
        if (draw < share) {
            return kind;
        }
        draw -= share;
    }
    return Kind::Fine;
}

const std::array<const char*, 6> kNotFoundTitles = {
    "Page not found",     "Seite nicht gefunden",
    "Page introuvable",   "P\u00e1gina no encontrada",
    "Pagina non trovata", "Oops! That page doesn\u2019t exist."};

// Titles of live pages that speak of errors.
const std::array<const char*, 6> kErrorMentioningTitles = {
    "Peugeot 404 Coup\u00e9",       "Room 404 - Harbour Hotel",     "How to fix a 404 error",
    "Not Found (band) discography", "Error handling in Go - Guide", "Fehler finden: ein Leitfaden"};

// Titles of live pages with error words beside their own.
const std::array<const char*, 4> kErrorWordsTitles = {
    "Error 404: Costume Not Found - T-Shirt | Geek Apparel",
    "404 Page Not Found: 40 creative error pages that keep visitors",
    "Page Not Found: the story of a lost album | Music Blog",
    "Seite nicht gefunden? Zehn Tipps f\u00fcr bessere Fehlerseiten - Webblog"};

// What a search says when it found nothing.
const std::array<const char*, 4> kNoResults = {"0 results", "Keine Treffer", "Aucun r\u00e9sultat",
                                               "No results found"};

// Sections whose names are two letters but no language.
const std::array<const char*, 6> kTwoLetterSections = {"/tv", "/go/", "/ok", "/pc/", "/hq", "/up"};

// Where sites send the links they no longer have.
const std::array<const char*, 4> kErrorAddresses = {
    "/Error.aspx?aspxerrorpath=", "/404.html?from=", "/errors/not-found?path=",
    "/error?code=404&url="};

std::string Paragraphs(Random& random, const std::string& extra = std::string()) {
    std::string body;
    const int paragraphs = 3 + random.Below(30);
    for (int paragraph = 0; paragraph < paragraphs; ++paragraph) {
        body += "<p>";
        const int words = 20 + random.Below(80);
        for (int word = 0; word < words; ++word) {
            body += random.Word(2, 10, word == 0) + " ";
        }
        if (paragraph == 1) {
            body += extra;
        }
        body += "</p>";
    }
    return body;
}

SitePage HtmlPage(Random& random, const std::string& title, const std::string& head = {},
                  const std::string& extra = {}) {
    const std::string body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
                             "</title>" + head + "</head><body><h1>" + title + "</h1>" +
                             Paragraphs(random, extra);
    return {"200 OK", "Content-Type: text/html; charset=utf-8\r\n", body + "</body></html>"};
}

SitePage RedirectTo(const std::string& status, const std::string& location) {
    return {status, "Location: " + location + "\r\n", std::string()};
}

// A robot challenge as the services send them: a challenge page, a marked
// reply, or a number no person gets.
SitePage BotWall(Random& random) {
    switch (random.Below(3)) {
        case 0:
            return {"403 Forbidden", "Content-Type: text/html\r\n",
                    "<!DOCTYPE html><html><head><title>Just a moment...</title></head><body>"
                    "<div class=\"cf-turnstile\"></div></body></html>"};
        case 1:
            return {"503 Service Unavailable",
                    "Content-Type: text/html\r\ncf-mitigated: challenge\r\n",
                    "<html><head><title>Attention Required!</title></head></html>"};
        default:
            return {"999 Request denied", "Content-Type: text/html\r\n", "<html></html>"};
    }
}

// The walls of CDNs, bot managers and website firewalls, and a plain
// refusal, as their services send them.
SitePage CdnWall(Random& random) {
    const std::string html = "Content-Type: text/html\r\n";
    switch (random.Below(7)) {
        case 0:
            return {"403 Forbidden", html + "Server: AkamaiGHost\r\n",
                    "<HTML><HEAD>\n<TITLE>Access Denied</TITLE>\n</HEAD><BODY>\n<H1>Access "
                    "Denied</H1>\nYou don't have permission to access this page.<P>\n"
                    "Reference&#32;&#35;18&#46;5c1d3e17&#46;1714871234&#46;1a2b3c4d\n"
                    "<P>https&#58;&#47;&#47;errors&#46;edgesuite&#46;net</P></BODY></HTML>"};
        case 1:
            return {"403 Forbidden", html + "X-Iinfo: 13-4711-0 0NNN RT(1 2)\r\nX-CDN: Imperva\r\n",
                    "<html><head><meta name=\"robots\" content=\"noindex\"></head><body>"
                    "<iframe src=\"/_Incapsula_Resource?CWUDNSAI=1\">Request unsuccessful. "
                    "Incapsula incident ID: 1234000560078-1</iframe></body></html>"};
        case 2:
            return {"403 Forbidden", html + "x-datadome: protected\r\nx-dd-b: 1\r\n",
                    "<html><head><title>example.com</title></head><body><script "
                    "src=\"https://ct.captcha-delivery.com/c.js\"></script></body></html>"};
        case 3:
            return {"403 Forbidden", html,
                    "<html><head><title>Access to this page has been denied</title></head><body>"
                    "<div id=\"px-captcha\"></div><p>Press &amp; Hold to confirm you are a "
                    "human (and not a bot).</p></body></html>"};
        case 4:
            return {"403 Forbidden", html + "x-sucuri-id: 18012\r\nServer: Sucuri/Cloudproxy\r\n",
                    "<html><head><title>Sucuri WebSite Firewall - Access Denied</title></head>"
                    "<body><h1>Access Denied - Sucuri Website Firewall</h1></body></html>"};
        case 5:
            return {"503 Service Unavailable", html,
                    "<html><head><title>Your access to this site has been limited by the site "
                    "owner</title></head><body><h1>Your access to this site has been "
                    "limited</h1><p>Generated by Wordfence at Tue, 10 Dec 2026.</p></body></html>"};
        default:
            return {"403 Forbidden",
                    html + "CF-RAY: 8a1b2c3d4e5f6a7b-FRA\r\nServer: cloudflare\r\n",
                    "<html><head><title>Attention Required! | Cloudflare</title></head><body>"
                    "<h1>Sorry, you have been blocked</h1><p>Cloudflare Ray ID: "
                    "8a1b2c3d4e5f6a7b</p></body></html>"};
    }
}

// A path's bytes as one query value.
std::string Encoded(const std::string& text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string encoded;
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (std::isalnum(byte) || character == '-' || character == '.' || character == '_') {
            encoded += character;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return encoded;
}

// The words of a path as a search's terms ("red+boots").
std::string SearchTermsOf(const std::string& path) {
    std::string terms;
    for (const char character : path.substr(0, path.find('?'))) {
        if (std::isalnum(static_cast<unsigned char>(character))) {
            terms += character;
        } else if (!terms.empty() && terms.back() != '+') {
            terms += '+';
        }
    }
    return terms;
}

SitePage ParkedPage(Random& random, int site) {
    return HtmlPage(random, "site" + std::to_string(site) + ".example", std::string(),
                    "This domain may be for sale. Buy this domain today!");
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');) {
        fields.push_back(field);
    }
    return fields;
}

int Run(int argc, char** argv) {
    int links = kDefaultLinks;
    int sites = kDefaultSites;
    if (!ReadCountOptions(argc, argv, {{"--links", &links}, {"--sites", &sites}}, "bench_rot")) {
        return 2;
    }
    Random random(20261209);
    std::vector<SiteServer::Pages> pages(static_cast<std::size_t>(sites));
    const auto isParked = [](int site) { return site % kParkedEvery == kParkedEvery - 2; };
    const auto isCatchAll = [&isParked](int site) {
        return !isParked(site) && site % kCatchAllEvery == kCatchAllEvery - 1;
    };
    const auto isSoftMissing = [&](int site) {
        return !isParked(site) && !isCatchAll(site) &&
               site % kSoftMissingEvery == kSoftMissingEvery - 3;
    };
    for (int site = 0; site < sites; ++site) {
        SiteServer::Pages& own = pages[static_cast<std::size_t>(site)];
        if (isParked(site)) {
            own["*"] = ParkedPage(random, site);
            continue;
        }
        const std::string name = random.Word(4, 10, true);
        own["/"] = HtmlPage(random, name + " - Home");
        own["/login"] = HtmlPage(random, "Sign in");
        own["/login?*"] = own["/login"];
        own["/accounts/login/*"] = HtmlPage(random, "Sign in - " + name);
        // Handlers that show what their query names, and say so with a 200
        // when they have nothing; a search that finds some.
        own["/watch?v=*"] =
            HtmlPage(random, name + " Video", std::string(), "This video isn't available anymore.");
        own["/item.php?id=*"] = HtmlPage(random, "Item | " + name, std::string(), "No such item.");
        own["/search?q=*"] = HtmlPage(random, "Search | " + name, std::string(), "12 results");
        if (isCatchAll(site)) {
            own["*"] = HtmlPage(random, name + " Shop");
        } else if (isSoftMissing(site)) {
            own["*"] = HtmlPage(random, "Page not found | " + name);
        }
    }

    // What each link is, and its URL; the server is started afterwards, so
    // URLs hold a placeholder for the port.
    struct Link {
        Kind kind;
        int site;
        std::string path;
        // For Twice: the kind of the link it repeats.
        Kind original;
        bool credentials = false;
    };
    std::vector<Link> generated;
    std::set<std::string> used;
    for (int index = 0; index < links; ++index) {
        Kind kind = KindFor(random.Below(100));
        if (kind == Kind::Twice && !generated.empty()) {
            const Link& original = generated[static_cast<std::size_t>(
                random.Below(static_cast<int>(generated.size())))];
            generated.push_back({Kind::Twice, original.site,
                                 original.path + (random.Below(2) ? "#comments" : ""),
                                 original.kind == Kind::Twice ? original.original : original.kind,
                                 original.credentials});
            continue;
        }
        if (kind == Kind::Twice) {
            kind = Kind::Fine;
        }
        int site = random.Below(sites);
        // An empty page tells only on a site that answers missing pages with
        // a 404.
        while (kind == Kind::EmptyPage &&
               (isParked(site) || isCatchAll(site) || isSoftMissing(site))) {
            site = (site + 1) % sites;
        }
        std::string path = RandomPath(random);
        // Bookmarks of pages below the root, as rot concerns them.
        if (path.rfind("/?", 0) == 0 || path == "/" || used.contains(path)) {
            path = "/page-" + std::to_string(index) + ".html" + path.substr(1);
        }
        used.insert(path);
        if (isParked(site)) {
            generated.push_back({Kind::Parked, site, random.Below(3) == 0 ? "/" : path, kind});
            continue;
        }
        SiteServer::Pages& own = pages[static_cast<std::size_t>(site)];
        const bool catchAll = isCatchAll(site);
        if (catchAll && !IsDead(kind) && kind != Kind::Moved && kind != Kind::Temporary) {
            // A page the site does not have, under its one page for all.
            generated.push_back({Kind::CatchAll, site, path, kind});
            continue;
        }
        const std::string newPath = "/new" + path;
        bool credentials = false;
        switch (kind) {
            case Kind::Moved:
                own[path] = RedirectTo("301 Moved Permanently", newPath);
                own[newPath] = HtmlPage(random, random.Word(4, 10, true));
                break;
            case Kind::Temporary:
                own[path] = RedirectTo("302 Found", newPath);
                own[newPath] = HtmlPage(random, random.Word(4, 10, true));
                break;
            case Kind::Interim:
                own[path] = HtmlPage(random, random.Word(4, 10, true));
                own[path].Interim = random.Below(2)
                                        ? "HTTP/1.1 100 Continue\r\n\r\n"
                                        : "HTTP/1.1 103 Early Hints\r\nLink: </style.css>; "
                                          "rel=preload; as=style\r\n\r\n";
                break;
            case Kind::UserInfo:
                own[path] = HtmlPage(random, random.Word(4, 10, true));
                own[path].Credentials = kBasicCredentials;
                credentials = true;
                break;
            case Kind::SignInPage:
                own[path] = {"401 Unauthorized", "WWW-Authenticate: Basic realm=\"team\"\r\n",
                             std::string()};
                break;
            case Kind::BotWall:
                own[path] = BotWall(random);
                break;
            case Kind::TwoLetterPath: {
                const std::string section = kTwoLetterSections[static_cast<std::size_t>(
                    random.Below(kTwoLetterSections.size()))];
                own[path] =
                    RedirectTo(random.Below(2) ? "301 Moved Permanently" : "302 Found", section);
                own[section] = HtmlPage(random, random.Word(4, 10, true) + " section");
                break;
            }
            case Kind::MentionsError:
                own[path] = HtmlPage(random,
                                     kErrorMentioningTitles[static_cast<std::size_t>(
                                         random.Below(kErrorMentioningTitles.size()))],
                                     std::string(), "An error 404 means the page was not found.");
                break;
            case Kind::RefreshToLive:
                own[path] =
                    HtmlPage(random, "Redirecting",
                             "<meta http-equiv=\"refresh\" content=\"0; url=" + newPath + "\">");
                own[newPath] = HtmlPage(random, random.Word(4, 10, true));
                break;
            case Kind::Removed:
                break;  // absent: 404, or the catch-all page
            case Kind::SoftMissing:
                own[path] = HtmlPage(random, kNotFoundTitles[static_cast<std::size_t>(
                                                 random.Below(kNotFoundTitles.size()))]);
                break;
            case Kind::FrontPage:
                own[path] = RedirectTo("301 Moved Permanently", "/");
                break;
            case Kind::SignIn:
                // A sign-in page that does not lead back to the link.
                own[path] = RedirectTo("302 Found", random.Below(2) ? "/login" : "/login?next=%2F");
                break;
            case Kind::SignInReturn: {
                // The way back as a path, encoded twice, or a whole URL (the
                // servers' port put in by the server).
                const std::string url =
                    Encoded("http://127.0.0." + std::to_string(1 + site) + ":") + "{port}" +
                    Encoded(path);
                const std::string back = random.Below(3) == 0   ? Encoded(path)
                                         : random.Below(2) == 0 ? Encoded(Encoded(path))
                                                                : url;
                own[path] = RedirectTo("302 Found", "/accounts/login/?next=" + back);
                break;
            }
            case Kind::QueryChosen:
            case Kind::QueryChosenRemoved: {
                const bool video = random.Below(2) == 0;
                path = video ? "/watch?v=" + random.Word(5, 5, false) + std::to_string(index)
                             : "/item.php?id=" + std::to_string(1000 + index);
                if (kind == Kind::QueryChosen) {
                    own[path] =
                        HtmlPage(random, random.Word(4, 10, true) + " " + random.Word(3, 8, false));
                }
                break;
            }
            case Kind::ErrorWordsInTitle:
                own[path] = HtmlPage(random, kErrorWordsTitles[static_cast<std::size_t>(
                                                 random.Below(kErrorWordsTitles.size()))]);
                break;
            case Kind::CdnWall:
                own[path] = CdnWall(random);
                break;
            case Kind::PlainForbidden:
                own[path] = {"403 Forbidden", "Content-Type: text/html\r\nServer: Apache\r\n",
                             "<html><head><title>403 Forbidden</title></head><body><h1>Access "
                             "Denied</h1><p>You don't have permission to access this resource."
                             "</p></body></html>"};
                break;
            case Kind::EmptyPage:
                own[path] = {"200 OK", "Content-Type: text/html; charset=utf-8\r\n",
                             random.Below(2) ? std::string() : std::string("\n   \r\n\t\n")};
                break;
            case Kind::SearchRedirect: {
                // For the link's own words, or for nothing, finding nothing.
                std::string target;
                if (random.Below(2) == 0) {
                    target = "/search?q=" + SearchTermsOf(path);
                } else {
                    target = "/search";
                    own[target] = HtmlPage(
                        random, "Search", std::string(),
                        kNoResults[static_cast<std::size_t>(random.Below(kNoResults.size()))]);
                }
                own[path] = RedirectTo("302 Found", target);
                break;
            }
            case Kind::ErrorPage: {
                const std::string target = kErrorAddresses[static_cast<std::size_t>(
                                               random.Below(kErrorAddresses.size()))] +
                                           path.substr(1);
                own[path] = RedirectTo("302 Found", target);
                own[target] = HtmlPage(random, "Our shop");
                break;
            }
            case Kind::MovedAway: {
                int other = (site + 1 + random.Below(sites - 1)) % sites;
                while (isParked(other) || other == site) {
                    other = (other + 1) % sites;
                }
                own[path] = RedirectTo("301 Moved Permanently",
                                       "http://127.0.0." + std::to_string(1 + other) + ":{port}/");
                break;
            }
            case Kind::RefreshToRemoved:
                own[path] =
                    HtmlPage(random, "Redirecting",
                             "<meta http-equiv=\"refresh\" content=\"1;URL='/gone" + path + "'\">");
                break;
            default:
                own[path] =
                    HtmlPage(random, random.Word(4, 10, true) + " " + random.Word(3, 8, false));
                break;
        }
        if (kind == Kind::Removed && isSoftMissing(site)) {
            kind = Kind::SoftMissingSite;
        }
        used.insert(path);
        generated.push_back({kind == Kind::Removed && catchAll ? Kind::CatchAll : kind, site, path,
                             kind, credentials});
    }

    SiteServer server(pages);
    const std::filesystem::path work = std::filesystem::temp_directory_path() /
                                       ("vornakle-bench-rot-" + std::to_string(::getpid()));
    const std::filesystem::path collection = work / "Favorites";
    std::map<std::string, Kind> kindOfName;
    std::map<std::string, bool> deadOfName;
    for (std::size_t index = 0; index < generated.size(); ++index) {
        const Link& link = generated[index];
        const std::filesystem::path folder =
            collection / ("Topic " + std::to_string(index / kLinksPerFolder));
        std::filesystem::create_directories(folder);
        const std::string name = "Link " + std::to_string(index);
        const std::string url = "http://" + std::string(link.credentials ? kUserInfo : "") +
                                "127.0.0." + std::to_string(1 + link.site) + ":" +
                                std::to_string(server.Port()) + link.path;
        std::ofstream(folder / (name + ".url"), std::ios::binary) << ShortcutFile(url);
        kindOfName[name] = link.kind;
        deadOfName[name] = IsDead(link.kind == Kind::Twice ? link.original : link.kind);
    }

    const std::string output = (work / "result.txt").string();
    const std::string command = std::string("'") + VORNAKLE_CHECK_PROGRAM +
                                "' --rules current --no-history --jobs 16 '" + collection.string() +
                                "' > '" + output + "'";
    int status = 0;
    const double seconds = SecondsOf([&] { status = std::system(command.c_str()); });
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        throw std::runtime_error("failed (" + std::to_string(status) + "): " + command);
    }

    std::map<std::string, int> generatedCounts;
    std::map<std::string, int> foundCounts;
    std::map<std::string, int> matrix;
    int falseAlarms = 0;
    int missedDead = 0;
    std::ifstream results(output);
    for (std::string line; std::getline(results, line);) {
        const std::vector<std::string> fields = Fields(line);
        if (fields.size() < 6 || !kindOfName.contains(fields[1])) {
            throw std::runtime_error("unexpected result line: " + line);
        }
        const std::string kind = NameOf(kindOfName[fields[1]]);
        ++generatedCounts[kind];
        ++foundCounts[fields[5]];
        ++matrix[kind + "_as_" + fields[5]];
        if (deadOfName[fields[1]] && !IsBadClass(fields[5])) {
            ++missedDead;
        } else if (!deadOfName[fields[1]] && IsBadClass(fields[5])) {
            ++falseAlarms;
        }
    }
    std::cout << "links: " << generated.size() << "\n"
              << "sites: " << sites << "\n"
              << "requests: " << server.Served() << "\n"
              << "check_seconds: " << seconds << "\n";
    for (const auto& [kind, count] : generatedCounts) {
        std::cout << "generated_" << kind << ": " << count << "\n";
    }
    for (const auto& [kind, count] : foundCounts) {
        std::cout << "found_" << kind << ": " << count << "\n";
    }
    for (const auto& [pair, count] : matrix) {
        std::cout << pair << ": " << count << "\n";
    }
    // Live links called suspect, invalid or unknown; gone ones called ok,
    // moved, login or blocked.
    std::cout << "false_alarms: " << falseAlarms << "\n"
              << "missed_dead: " << missedDead << "\n";
    std::filesystem::remove_all(work);
    return 0;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    return vornakle::bench::RunReporting("bench_rot",
                                         [&] { return vornakle::bench::Run(argc, argv); });
}
