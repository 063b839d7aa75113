// Makes a realistic collection whose links have rotted in the ways real ones
// do (moved for good or for a while, removed, removed behind a 200 "not
// found" page in one of five languages, redirected to the front page or to a
// sign-in page, on a site that serves one page for any address, bookmarked
// twice), serves its sites on loopback addresses, checks it with
// vornakle-check under current rules and prints, for each kind of link, the
// classes the check gave it.
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
// Every this many sites one serves the same page for any address.
constexpr int kCatchAllEvery = 8;
constexpr int kLinksPerFolder = 40;

enum class Kind {
    Fine,
    Moved,
    Temporary,
    Removed,
    SoftMissing,
    FrontPage,
    SignIn,
    CatchAll,
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
        case Kind::Removed:
            return "removed_404";
        case Kind::SoftMissing:
            return "removed_soft_404";
        case Kind::FrontPage:
            return "removed_to_front_page";
        case Kind::SignIn:
            return "removed_to_sign_in";
        case Kind::CatchAll:
            return "removed_on_catch_all_site";
        case Kind::Twice:
            return "bookmarked_twice";
    }
    return "?";
}

// Out of 100 links: what rots how.
Kind KindFor(int draw) {
    constexpr std::array<std::pair<int, Kind>, 7> kShares = {{{12, Kind::Moved},
                                                              {5, Kind::Temporary},
                                                              {9, Kind::Removed},
                                                              {7, Kind::SoftMissing},
                                                              {5, Kind::FrontPage},
                                                              {4, Kind::SignIn},
                                                              {10, Kind::Twice}}};
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

SitePage HtmlPage(Random& random, const std::string& title) {
    std::string body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
                       "</title></head><body><h1>" + title + "</h1>";
    const int paragraphs = 3 + random.Below(30);
    for (int paragraph = 0; paragraph < paragraphs; ++paragraph) {
        body += "<p>";
        const int words = 20 + random.Below(80);
        for (int word = 0; word < words; ++word) {
            body += random.Word(2, 10, word == 0) + " ";
        }
        body += "</p>";
    }
    return {"200 OK", "Content-Type: text/html; charset=utf-8\r\n", body + "</body></html>"};
}

SitePage RedirectTo(const std::string& status, const std::string& location) {
    return {status, "Location: " + location + "\r\n", std::string()};
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
    for (int site = 0; site < sites; ++site) {
        SiteServer::Pages& own = pages[static_cast<std::size_t>(site)];
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
    };
    std::vector<Link> generated;
    std::set<std::string> used;
    for (int index = 0; index < links; ++index) {
        Kind kind = KindFor(random.Below(100));
        if (kind == Kind::Twice && !generated.empty()) {
            const Link& original = generated[static_cast<std::size_t>(
                random.Below(static_cast<int>(generated.size())))];
            generated.push_back(
                {Kind::Twice, original.site, original.path + (random.Below(2) ? "#comments" : "")});
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
        SiteServer::Pages& own = pages[static_cast<std::size_t>(site)];
        const bool catchAll = own.contains("*");
        if (catchAll && kind == Kind::Fine) {
            // A page the site does not have, under its one page for all.
            generated.push_back({Kind::CatchAll, site, path});
            continue;
        }
        const std::string newPath = "/new" + path;
        switch (kind) {
            case Kind::Moved:
                own[path] = RedirectTo("301 Moved Permanently", newPath);
                own[newPath] = HtmlPage(random, random.Word(4, 10, true));
                break;
            case Kind::Temporary:
                own[path] = RedirectTo("302 Found", newPath);
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
            default:
                own[path] =
                    HtmlPage(random, random.Word(4, 10, true) + " " + random.Word(3, 8, false));
                break;
        }
        generated.push_back(
            {kind == Kind::Removed && catchAll ? Kind::CatchAll : kind, site, path});
    }

    SiteServer server(pages);
    const std::filesystem::path work = std::filesystem::temp_directory_path() /
                                       ("vornakle-bench-rot-" + std::to_string(::getpid()));
    const std::filesystem::path collection = work / "Favorites";
    std::map<std::string, Kind> kindOfName;
    for (std::size_t index = 0; index < generated.size(); ++index) {
        const Link& link = generated[index];
        const std::filesystem::path folder =
            collection / ("Topic " + std::to_string(index / kLinksPerFolder));
        std::filesystem::create_directories(folder);
        const std::string name = "Link " + std::to_string(index);
        const std::string url = "http://127.0.0." + std::to_string(1 + link.site) + ":" +
                                std::to_string(server.Port()) + link.path;
        std::ofstream(folder / (name + ".url"), std::ios::binary) << ShortcutFile(url);
        kindOfName[name] = link.kind;
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
    std::filesystem::remove_all(work);
    return 0;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    return vornakle::bench::RunReporting("bench_rot",
                                         [&] { return vornakle::bench::Run(argc, argv); });
}
