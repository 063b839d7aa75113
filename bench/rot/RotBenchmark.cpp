// Makes a realistic collection whose links have rotted in the ways real ones
// do (moved for good or for a while, removed, removed behind a 200 "not
// found" page in one of five languages, redirected to the front page, to a
// sign-in page, to an error page or to another site's front page, sent on by
// a refresh to a removed page, on a site that serves one page for any
// address or offers its domain for sale, bookmarked twice) and live links
// that look like rot to a careless eye (interim replies, credentials in the
// URL, sign-in pages, bot walls, pages on two-letter paths, titles that
// mention errors, a refresh to a live page), serves its sites on loopback
// addresses, checks it with vornakle-check under current rules and prints,
// for each kind of link, the classes the check gave it, with the live links
// called bad (false_alarms) and the dead ones called fine (missed_dead).
//
//   bench_rot [--links N] [--sites N]
#include <sys/wait.h>
#include <unistd.h>

#include <array>
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
    Twice
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
    constexpr std::array<std::pair<int, Kind>, 17> kShares = {{{10, Kind::Moved},
                                                               {4, Kind::Temporary},
                                                               {3, Kind::Interim},
                                                               {3, Kind::UserInfo},
                                                               {3, Kind::SignInPage},
                                                               {3, Kind::BotWall},
                                                               {4, Kind::TwoLetterPath},
                                                               {4, Kind::MentionsError},
                                                               {2, Kind::RefreshToLive},
                                                               {7, Kind::Removed},
                                                               {6, Kind::SoftMissing},
                                                               {4, Kind::FrontPage},
                                                               {3, Kind::SignIn},
                                                               {3, Kind::ErrorPage},
                                                               {3, Kind::MovedAway},
                                                               {2, Kind::RefreshToRemoved},
                                                               {8, Kind::Twice}}};
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
    for (int site = 0; site < sites; ++site) {
        SiteServer::Pages& own = pages[static_cast<std::size_t>(site)];
        if (isParked(site)) {
            own["*"] = ParkedPage(random, site);
            continue;
        }
        own["/"] = HtmlPage(random, random.Word(4, 10, true) + " - Home");
        own["/login"] = HtmlPage(random, "Sign in");
        if (site % kCatchAllEvery == kCatchAllEvery - 1) {
            own["*"] = HtmlPage(random, random.Word(4, 10, true) + " Shop");
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
        const int site = random.Below(sites);
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
        const bool catchAll = own.contains("*");
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
                own[path] = RedirectTo("302 Found", "/login?next=" + path.substr(1));
                own["/login?next=" + path.substr(1)] = own["/login"];
                break;
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
