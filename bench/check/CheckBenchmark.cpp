// Measures the command-line checker's parallel checks: a collection of N
// links spread over 64 loopback addresses of one server that answers every
// request 20 ms after it arrived, checked by vornakle-check with --jobs 1 and
// --jobs 32, and the same URLs checked by LinkChecker (Debian's linkchecker
// package, installed here when missing) with 32 threads, no recursion and
// its per-host rate limit raised out of the way; robots.txt is not asked
// for, as vornakle-check does not ask for it either. Then the same links
// under the current rules (--jobs 32) against linkinator 6.1.4 (npm,
// installed into this folder's node_modules when missing) at concurrency
// 32, which finds them on a page the same server serves. That run keeps a
// history of checks; a second run over the same links with --max-age 1d
// then asks nothing and prints every link from it: its time against the
// first run's, and the history file's size per link. Last, a collection
// in which 30 % of the links repeat another's address (DuplicateRound).
//
//   bench_check [--links N] [--delay-ms N]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "DelayServer.h"
#include "DuplicateRound.h"
#include "common/BenchSupport.h"
#include "common/Linkinator.h"

namespace vornakle::bench {
namespace {

constexpr int kDefaultLinks = 2000;
constexpr int kDefaultDelayMilliseconds = 20;
constexpr int kAddresses = 64;
constexpr int kLinksPerFolder = 50;
constexpr int kParallelJobs = 32;
// Far above what 32 threads on a loopback server reach, so LinkChecker's
// per-host pacing never holds it back.
constexpr int kLinkCheckerRequestsPerSecond = 100000;
constexpr char kPagePath[] = "/links.html";

std::string UrlOf(std::uint16_t port, int index) {
    return "http://127.0.0." + std::to_string(1 + index % kAddresses) + ":" + std::to_string(port) +
           "/page" + std::to_string(index) + ".html";
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool HaveLinkChecker() {
    return std::system("command -v linkchecker > /dev/null 2>&1") == 0;
}

// The yardstick is installed from Debian's archive when it is missing, so
// that the test command never needs it.
bool EnsureLinkChecker() {
    if (HaveLinkChecker()) {
        return true;
    }
    std::cerr << "bench_check: installing linkchecker\n";
    const std::string sudo = ::geteuid() == 0 ? "" : "sudo ";
    std::system((sudo + "apt-get update -qq && " + sudo +
                 "env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "
                 "--no-install-recommends linkchecker > /dev/null")
                    .c_str());
    return HaveLinkChecker();
}

int Run(int argc, char** argv) {
    int links = kDefaultLinks;
    int delayMilliseconds = kDefaultDelayMilliseconds;
    if (!ReadCountOptions(argc, argv, {{"--links", &links}, {"--delay-ms", &delayMilliseconds}},
                          "bench_check")) {
        return 2;
    }
    const bool linkChecker = EnsureLinkChecker();
    const bool linkinator = EnsureLinkinator();

    DelayServer server(kAddresses, std::chrono::milliseconds(delayMilliseconds));
    std::string page = "<!DOCTYPE html>\n<html><head><title>Links</title></head><body>\n";
    for (int index = 0; index < links; ++index) {
        page +=
            "<a href=\"" + UrlOf(server.Port(), index) + "\">" + std::to_string(index) + "</a>\n";
    }
    page += "</body></html>\n";
    server.SetPage(kPagePath, page);
    const std::filesystem::path work = std::filesystem::temp_directory_path() /
                                       ("vornakle-bench-check-" + std::to_string(::getpid()));
    const std::filesystem::path collection = work / "Favorites";
    std::filesystem::create_directories(collection);
    std::string urlList;
    for (int index = 0; index < links; ++index) {
        char folder[32];
        char name[32];
        std::snprintf(folder, sizeof folder, "Folder %03d", index / kLinksPerFolder);
        std::snprintf(name, sizeof name, "Link %05d.url", index);
        std::filesystem::create_directories(collection / folder);
        const std::string url = UrlOf(server.Port(), index);
        WriteFile(collection / folder / name, "[InternetShortcut]\r\nURL=" + url + "\r\n");
        urlList += url + "\n";
    }

    const std::string program = VORNAKLE_CHECK_PROGRAM;
    const std::filesystem::path history = work / "history.sqlite";
    const auto ours = [&](int jobs, const std::string& rules, const std::filesystem::path& output,
                          const std::string& options = " --no-history") {
        return TimedCommand(Quoted(program) + " --rules " + rules + " --jobs " +
                            std::to_string(jobs) + options + " --format csv " +
                            Quoted(collection.string()) + " > " + Quoted(output.string()));
    };
    const long servedBefore = server.Served();
    // The parallel speed-up and LinkChecker are measured under the rules
    // the desktop program checks by.
    const double oneJob = ours(1, "classic", work / "jobs1.csv");
    const double parallel = ours(kParallelJobs, "classic", work / "jobs32.csv");
    const std::string oneOutput = ReadFile(work / "jobs1.csv");
    if (oneOutput != ReadFile(work / "jobs32.csv") ||
        server.Served() - servedBefore != 2L * links ||
        oneOutput.find(",200,OK,ok,,http://") == std::string::npos) {
        throw std::runtime_error("the two runs of vornakle-check disagree or missed links");
    }
    const long servedBeforeCurrent = server.Served();
    const std::string withHistory = " --history " + Quoted(history.string());
    const double current = ours(kParallelJobs, "current", work / "current32.csv", withHistory);
    const std::string currentOutput = ReadFile(work / "current32.csv");
    // Besides one GET per link the rot look asks each site for a made-up
    // address of each shape of link once.
    const long currentRequests = server.Served() - servedBeforeCurrent;
    if (currentRequests < links ||
        Occurrences(currentOutput, ",200,OK,ok,,http://") != static_cast<std::size_t>(links) ||
        currentOutput.find(",unknown,") != std::string::npos) {
        throw std::runtime_error("vornakle-check under current rules missed links");
    }
    const long servedBeforeCached = server.Served();
    const double cached =
        ours(kParallelJobs, "current", work / "cached32.csv", withHistory + " --max-age 1d");
    if (server.Served() != servedBeforeCached ||
        Occurrences(ReadFile(work / "cached32.csv"), ",200,OK,ok,cached,") !=
            static_cast<std::size_t>(links)) {
        throw std::runtime_error("the run with --max-age asked the server or missed links");
    }

    std::cout << "links: " << links << "\n"
              << "addresses: " << kAddresses << "\n"
              << "delay_ms: " << delayMilliseconds << "\n"
              << "jobs1_seconds: " << oneJob << "\n"
              << "jobs32_seconds: " << parallel << "\n"
              << "jobs1_links_per_second: " << links / oneJob << "\n"
              << "jobs32_links_per_second: " << links / parallel << "\n"
              << "parallel_speedup: " << oneJob / parallel << "\n"
              << "current_jobs32_seconds: " << current << "\n"
              << "current_requests_per_link: " << static_cast<double>(currentRequests) / links
              << "\n"
              << "cached_run_seconds: " << cached << "\n"
              << "cached_speedup: " << current / cached << "\n"
              << "history_bytes_per_link: "
              << static_cast<double>(std::filesystem::file_size(history)) / links << "\n";

    if (linkChecker) {
        WriteFile(work / "urls.txt", urlList);
        WriteFile(work / "linkcheckerrc", "[checking]\nthreads=" + std::to_string(kParallelJobs) +
                                              "\nrecursionlevel=0\nmaxrequestspersecond=" +
                                              std::to_string(kLinkCheckerRequestsPerSecond) + "\n");
        const long servedBeforeYardstick = server.Served();
        const double yardstick = TimedCommand(
            "linkchecker -f " + Quoted((work / "linkcheckerrc").string()) + " --threads " +
            std::to_string(kParallelJobs) +
            " --recursion-level 0 --no-robots --no-status --no-warnings -o none --stdin < " +
            Quoted((work / "urls.txt").string()) + " > /dev/null 2>&1");
        const long yardstickRequests = server.Served() - servedBeforeYardstick;
        if (yardstickRequests < links) {
            throw std::runtime_error("LinkChecker asked for only " +
                                     std::to_string(yardstickRequests) + " of " +
                                     std::to_string(links) + " URLs");
        }
        std::cout << "linkchecker_seconds: " << yardstick << "\n"
                  << "linkchecker_requests: " << yardstickRequests << "\n"
                  << "vs_linkchecker_ratio: " << parallel / yardstick << "\n";
    } else {
        std::cout << "vs_linkchecker_ratio: n/a (linkchecker could not be installed)\n";
    }
    if (linkinator) {
        const long servedBeforePeer = server.Served();
        const double peer =
            TimedCommand(Quoted(LinkinatorProgram().string()) + " " +
                         Quoted("http://127.0.0.1:" + std::to_string(server.Port()) + kPagePath) +
                         " --concurrency " + std::to_string(kParallelJobs) + " --format csv > " +
                         Quoted((work / "linkinator.csv").string()) + " 2> /dev/null");
        const long peerRequests = server.Served() - servedBeforePeer;
        if (peerRequests < links) {
            throw std::runtime_error("linkinator asked for only " + std::to_string(peerRequests) +
                                     " of " + std::to_string(links) + " URLs");
        }
        std::cout << "linkinator_seconds: " << peer << "\n"
                  << "linkinator_requests: " << peerRequests << "\n"
                  << "vs_linkinator_ratio: " << current / peer << "\n";
    } else {
        std::cout << "vs_linkinator_ratio: n/a (linkinator could not be installed)\n";
    }
    MeasureDuplicates(server, program, links, kParallelJobs, work, std::cout);
    std::filesystem::remove_all(work);
    return 0;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    return vornakle::bench::RunReporting("bench_check",
                                         [&] { return vornakle::bench::Run(argc, argv); });
}
