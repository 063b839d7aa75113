// Measures the check at the scale of the largest collections: N links
// (100 000 unless told) spread over S loopback addresses (1 000, from
// 127.1.0.1 on), each a site of ordinary HTML pages with titles, as real
// sites serve them (so the rot look reads every page), behind a server
// (KeepAliveServer: epoll, persistent connections) that answers every
// request 100 ms after it arrived; checked by vornakle-check --rules
// current --jobs 256 --per-host 2, after the same check of the first tenth
// of the links. Prints the time against its floor (links times the delay
// over the parallel slots: one request per link), the checker's peak
// memory and processor time per link, and how the time grows from a tenth
// of the links to all of them.
//
//   bench_scale [--links N] [--sites N] [--delay-ms N] [--jobs N] [--per-host N]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/BenchSupport.h"
#include "common/KeepAliveServer.h"

namespace vornakle::bench {
namespace {

constexpr int kDefaultLinks = 100000;
constexpr int kDefaultSites = 1000;
constexpr int kDefaultDelayMilliseconds = 100;
constexpr int kDefaultJobs = 256;
constexpr int kDefaultPerHost = 2;
constexpr int kSmallRunDivisor = 10;
constexpr int kLinksPerFolder = 100;
// Sites take 127.1.y.z with z from 1 to this, so that no address ends in 0
// or 255.
constexpr std::uint32_t kAddressesPerBlock = 250;
constexpr std::uint32_t kFirstBlock = 0x7F010000;  // 127.1.0.0

std::uint32_t SiteAddress(std::size_t site) {
    return kFirstBlock + static_cast<std::uint32_t>(site / kAddressesPerBlock) * 256 + 1 +
           static_cast<std::uint32_t>(site % kAddressesPerBlock);
}

std::string DottedAddress(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

// Where a page lives on its site, as bookmarks name pages: a folder or two,
// a page name (the link's number keeps it apart from every other) and now
// and then a query.
std::string PagePath(Random& random, int link) {
    std::string path = "/";
    for (int depth = random.Below(3); depth > 0; --depth) {
        path += random.Word(3, 10, false) + "/";
    }
    path += random.Word(4, 10, false) + "-" + std::to_string(link) + ".html";
    if (random.Below(5) == 0) {
        path += "?ref=" + random.Word(3, 8, false);
    }
    return path;
}

struct RunFigures {
    ProgramRun Run;
    KeepAliveServer::Counts Counts;
    std::size_t Fine = 0;
};

int Run(int argc, char** argv) {
    int links = kDefaultLinks;
    int sites = kDefaultSites;
    int delayMilliseconds = kDefaultDelayMilliseconds;
    int jobs = kDefaultJobs;
    int perHost = kDefaultPerHost;
    if (!ReadCountOptions(argc, argv,
                          {{"--links", &links},
                           {"--sites", &sites},
                           {"--delay-ms", &delayMilliseconds},
                           {"--jobs", &jobs},
                           {"--per-host", &perHost}},
                          "bench_scale")) {
        return 2;
    }

    // Every page a site has; anything else is 404, as the made-up address
    // next to a deep link is on a real site.
    std::vector<std::unordered_set<std::string>> pagesOf(static_cast<std::size_t>(sites));
    std::vector<std::size_t> siteOf;
    std::vector<std::string> paths;
    Random random(20261210);
    for (int link = 0; link < links; ++link) {
        siteOf.push_back(static_cast<std::size_t>(random.Below(sites)));
        paths.push_back(PagePath(random, link));
        pagesOf[siteOf.back()].insert(paths.back());
    }
    KeepAliveServer::Settings settings;
    for (std::size_t site = 0; site < static_cast<std::size_t>(sites); ++site) {
        settings.Addresses.push_back(SiteAddress(site));
    }
    settings.ReplyDelay = std::chrono::milliseconds(delayMilliseconds);
    settings.Pages = [&pagesOf](std::size_t site, std::string_view target) {
        if (target == "/") {
            return std::optional<std::string>(OrdinaryPage("Site " + std::to_string(site)));
        }
        if (!pagesOf[site].contains(std::string(target))) {
            return std::optional<std::string>();
        }
        return std::optional<std::string>(OrdinaryPage(TitleFor(target)));
    };
    KeepAliveServer server(settings);

    std::vector<std::string> urls;
    for (int link = 0; link < links; ++link) {
        urls.push_back("http://" +
                       DottedAddress(SiteAddress(siteOf[static_cast<std::size_t>(link)])) + ":" +
                       std::to_string(server.Port()) + paths[static_cast<std::size_t>(link)]);
    }
    const std::filesystem::path work = std::filesystem::temp_directory_path() /
                                       ("vornakle-bench-scale-" + std::to_string(::getpid()));
    const auto check = [&](int count) {
        const std::filesystem::path collection = work / ("Favorites-" + std::to_string(count));
        WriteCollection(collection, std::vector<std::string>(urls.begin(), urls.begin() + count),
                        kLinksPerFolder);
        const KeepAliveServer::Counts before = server.Counted();
        RunFigures figures;
        figures.Run = RunProgram(
            {VORNAKLE_CHECK_PROGRAM, "--rules", "current", "--jobs", std::to_string(jobs),
             "--per-host", std::to_string(perHost), "--no-history", collection.string()},
            work / "result.txt");
        figures.Counts = server.Counted() - before;
        figures.Fine = FineResults(ReadFile(work / "result.txt"));
        std::filesystem::remove_all(collection);
        return figures;
    };
    const int smallLinks = std::max(1, links / kSmallRunDivisor);
    const RunFigures small = check(smallLinks);
    const double serverCpuBefore = server.CpuSeconds();
    const RunFigures large = check(links);
    const double serverCpu = server.CpuSeconds() - serverCpuBefore;
    std::filesystem::remove_all(work);

    const int slots = std::min(jobs, sites * perHost);
    const auto floorOf = [&](int count) {
        return static_cast<double>(count) * delayMilliseconds / 1000.0 / slots;
    };
    std::cout << "links: " << links << "\n"
              << "sites: " << sites << "\n"
              << "delay_ms: " << delayMilliseconds << "\n"
              << "jobs: " << jobs << "\n"
              << "per_host: " << perHost << "\n"
              << "seconds: " << large.Run.Seconds << "\n"
              << "floor_seconds: " << floorOf(links) << "\n"
              << "floor_ratio: " << large.Run.Seconds / floorOf(links) << "\n"
              << "peak_rss_mb: " << large.Run.PeakRssMegabytes << "\n"
              << "cpu_ms_per_link: " << large.Run.CpuSeconds * 1000.0 / links << "\n"
              << "requests_per_link: " << static_cast<double>(large.Counts.Requests) / links << "\n"
              << "connections_per_link: " << static_cast<double>(large.Counts.Connections) / links
              << "\n"
              << "server_cpu_seconds: " << serverCpu << "\n"
              << "server_most_open: " << server.MostOpen() << "\n"
              << "small_links: " << smallLinks << "\n"
              << "small_seconds: " << small.Run.Seconds << "\n"
              << "small_floor_ratio: " << small.Run.Seconds / floorOf(smallLinks) << "\n"
              << "small_peak_rss_mb: " << small.Run.PeakRssMegabytes << "\n"
              << "growth_10k_to_100k: " << large.Run.Seconds / small.Run.Seconds << "\n";
    // A figure over links that were not checked through would flatter.
    const std::size_t notFine =
        static_cast<std::size_t>(links + smallLinks) - large.Fine - small.Fine;
    std::cout << "not_fine_links: " << notFine << "\n";
    return notFine == 0 ? 0 : 1;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    return vornakle::bench::RunReporting("bench_scale",
                                         [&] { return vornakle::bench::Run(argc, argv); });
}
