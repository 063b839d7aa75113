// Measures sequential link checks over TLS: N HEAD requests of https URLs
// through THttpClient against a loopback HTTPS server this program starts,
// and the same N URLs fetched by one curl process (curl --http1.0 -s -I),
// the yardstick; then the processor time the client takes while a server
// never answers its TLS handshake. Last, the reuse run: a collection of
// --links https links over 20 loopback addresses, each a site of its own,
// whose server (KeepAliveServer: persistent connections, sessions that
// resume) adds 30 ms to every handshake and 20 ms to every reply, checked
// by vornakle-check --rules current --jobs 32, and by linkinator 6.1.4 at
// concurrency 32 on the same links; the server counts the requests and
// handshakes of each. vornakle-check runs once more with --no-reuse (each
// request on a connection of its own, every handshake a full one) when its
// --help offers that option. With --own-only neither curl nor linkinator
// runs: only the client's own figures of the stall and the reuse run.
//
//   bench_https [--requests N] [--rounds N] [--links N] [--own-only]
//
// The sequential server closes after every reply and resumes no session,
// so both clients pay for a full handshake per URL. Both verify the
// server's certificate against the same test authority. Each side runs
// several rounds, alternating, and the best round counts.
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/BenchSupport.h"
#include "common/HeadServer.h"
#include "common/KeepAliveServer.h"
#include "common/Linkinator.h"
#include "common/LoopbackListener.h"
#include "http/HttpClient.h"
#include "support/LoopbackServer.h"
#include "support/TestCertificates.h"

namespace vornakle::bench {
namespace {

constexpr int kDefaultRequests = 1000;
constexpr int kDefaultRounds = 3;
// Never reached on loopback; it keeps a broken run from hanging.
constexpr std::int32_t kRequestTimeOutMilliseconds = 10000;
constexpr std::int32_t kStallMilliseconds = 2000;
// The reuse run.
constexpr int kDefaultReuseLinks = 1000;
constexpr int kReuseSites = 20;
constexpr int kReuseJobs = 32;
constexpr int kLinksPerFolder = 50;
constexpr auto kHandshakeDelay = std::chrono::milliseconds(30);
constexpr auto kReplyDelay = std::chrono::milliseconds(20);
constexpr char kNoReuseOption[] = "--no-reuse";
constexpr char kLinkPagePath[] = "/links.html";

std::string UrlOf(std::uint16_t port, int index) {
    return "https://127.0.0.1:" + std::to_string(port) + "/links/page" + std::to_string(index) +
           ".html";
}

std::string SitePath(int link) {
    return "/page-" + std::to_string(link) + ".html";
}

// Link number link lives on site link % kReuseSites, which serves it, its
// front page and, on the first site, the page listing every link for
// linkinator to start from.
std::optional<std::string> ReusePage(std::size_t site, std::string_view target,
                                     const std::string& linkPage) {
    if (target == "/") {
        return OrdinaryPage("Site " + std::to_string(site));
    }
    if (site == 0 && target == kLinkPagePath) {
        return linkPage;
    }
    constexpr std::string_view kPrefix = "/page-";
    constexpr std::string_view kSuffix = ".html";
    if (!target.starts_with(kPrefix) || !target.ends_with(kSuffix)) {
        return std::nullopt;
    }
    const std::string number(
        target.substr(kPrefix.size(), target.size() - kPrefix.size() - kSuffix.size()));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(number) % kReuseSites != site) {
        return std::nullopt;
    }
    return OrdinaryPage(TitleFor(target));
}

// The reuse run; prints its figures.
void MeasureReuse(const testing::TestAuthority& authority, const std::string& caFile, int links,
                  const std::filesystem::path& folder, bool peers) {
    // Installed first, so that what the installation says comes before the
    // figures.
    const bool linkinator = peers && EnsureLinkinator();
    std::vector<std::string> names;
    std::vector<std::uint32_t> addresses;
    for (std::size_t site = 0; site < kReuseSites; ++site) {
        addresses.push_back(LoopbackAddress(site));
        names.push_back("127.0.0." + std::to_string(site + 1));
    }
    // Written before anyone asks for it: linkinator's run comes last.
    std::string linkPage;
    KeepAliveServer::Settings settings;
    settings.Addresses = addresses;
    settings.Tls = authority.Issue(names);
    settings.HandshakeDelay = kHandshakeDelay;
    settings.ReplyDelay = kReplyDelay;
    settings.Pages = [&linkPage](std::size_t site, std::string_view target) {
        return ReusePage(site, target, linkPage);
    };
    KeepAliveServer server(settings);
    std::vector<std::string> urls;
    linkPage = "<!DOCTYPE html>\n<html><head><title>Links</title></head><body>\n";
    for (int link = 0; link < links; ++link) {
        urls.push_back("https://" + names[static_cast<std::size_t>(link % kReuseSites)] + ":" +
                       std::to_string(server.Port()) + SitePath(link));
        linkPage += "<a href=\"" + urls.back() + "\">" + std::to_string(link) + "</a>\n";
    }
    linkPage += "</body></html>\n";
    const std::filesystem::path collection = folder / "Favorites";
    WriteCollection(collection, urls, kLinksPerFolder);

    const std::string program = VORNAKLE_CHECK_PROGRAM;
    double cpuSeconds = 0;
    const auto check = [&](const std::vector<std::string>& extra, KeepAliveServer::Counts& counts) {
        std::vector<std::string> arguments = {
            program,        "--rules",   "current", "--jobs", std::to_string(kReuseJobs),
            "--no-history", "--ca-file", caFile};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(collection.string());
        const KeepAliveServer::Counts before = server.Counted();
        const ProgramRun run = RunProgram(arguments, folder / "result.txt");
        counts = server.Counted() - before;
        cpuSeconds = run.CpuSeconds;
        const std::size_t fine = FineResults(ReadFile(folder / "result.txt"));
        if (run.ExitCode != 0 || fine != static_cast<std::size_t>(links)) {
            throw std::runtime_error("vornakle-check found " + std::to_string(fine) + " of " +
                                     std::to_string(links) + " links fine (exit " +
                                     std::to_string(run.ExitCode) + ")");
        }
        return run.Seconds;
    };
    KeepAliveServer::Counts reuse;
    const double reuseSeconds = check({}, reuse);
    std::cout << "reuse_links: " << links << "\n"
              << "reuse_sites: " << kReuseSites << "\n"
              << "handshake_delay_ms: " << kHandshakeDelay.count() << "\n"
              << "reply_delay_ms: " << kReplyDelay.count() << "\n"
              << "reuse_seconds: " << reuseSeconds << "\n"
              << "reuse_cpu_seconds: " << cpuSeconds << "\n"
              << "requests_per_link: " << static_cast<double>(reuse.Requests) / links << "\n"
              << "connections_per_link: " << static_cast<double>(reuse.Connections) / links << "\n"
              << "handshakes_per_link: " << static_cast<double>(reuse.FullHandshakes) / links
              << "\n"
              << "resumed_handshakes: " << reuse.ResumedHandshakes << "\n";

    if (RunProgram({program, "--help"}, folder / "help.txt").ExitCode == 0 &&
        ReadFile(folder / "help.txt").find(kNoReuseOption) != std::string::npos) {
        KeepAliveServer::Counts without;
        const double withoutSeconds = check({kNoReuseOption}, without);
        std::cout << "no_reuse_seconds: " << withoutSeconds << "\n"
                  << "no_reuse_requests_per_link: " << static_cast<double>(without.Requests) / links
                  << "\n"
                  << "no_reuse_handshakes_per_link: "
                  << static_cast<double>(without.FullHandshakes) / links << "\n"
                  << "reuse_speedup: " << withoutSeconds / reuseSeconds << "\n";
    } else {
        std::cout << "reuse_speedup: n/a (vornakle-check has no " << kNoReuseOption << ")\n";
    }

    if (!linkinator) {
        std::cout << "vs_linkinator_ratio: n/a ("
                  << (peers ? "linkinator could not be installed" : "--own-only") << ")\n";
        return;
    }
    // Node trusts the test authority only when told so.
    ::setenv("NODE_EXTRA_CA_CERTS", caFile.c_str(), 1);
    const KeepAliveServer::Counts before = server.Counted();
    const ProgramRun peer = RunProgram(
        {LinkinatorProgram().string(),
         "https://" + names.front() + ":" + std::to_string(server.Port()) + kLinkPagePath,
         "--concurrency", std::to_string(kReuseJobs), "--format", "csv"},
        folder / "linkinator.csv");
    const KeepAliveServer::Counts counts = server.Counted() - before;
    // The listing page is one request more.
    if (peer.ExitCode != 0 || counts.Requests < links + 1) {
        throw std::runtime_error("linkinator asked for " + std::to_string(counts.Requests) +
                                 " URLs of " + std::to_string(links + 1) + " (exit " +
                                 std::to_string(peer.ExitCode) + ")");
    }
    std::cout << "linkinator_seconds: " << peer.Seconds << "\n"
              << "linkinator_requests_per_link: "
              << static_cast<double>(counts.Requests - 1) / links << "\n"
              << "linkinator_handshakes_per_link: "
              << static_cast<double>(counts.FullHandshakes) / links << "\n"
              << "vs_linkinator_ratio: " << reuseSeconds / peer.Seconds << "\n";
}

int Run(int argc, char** argv) {
    int requests = kDefaultRequests;
    int rounds = kDefaultRounds;
    int links = kDefaultReuseLinks;
    // The one option without a count.
    std::vector<char*> arguments(argv, argv + argc);
    const auto ownOnly = std::find_if(arguments.begin(), arguments.end(), [](const char* text) {
        return std::string_view(text) == "--own-only";
    });
    const bool peers = ownOnly == arguments.end();
    if (!peers) {
        arguments.erase(ownOnly);
    }
    if (!ReadCountOptions(static_cast<int>(arguments.size()), arguments.data(),
                          {{"--requests", &requests}, {"--rounds", &rounds}, {"--links", &links}},
                          "bench_https")) {
        return 2;
    }
    if (peers && !CurlAvailable()) {
        return 1;
    }

    QCoreApplication application(argc, argv);
    const testing::TestAuthority authority;
    HeadServer server(std::chrono::milliseconds(0), authority.Issue({"127.0.0.1"}));
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("vornakle-bench-https-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string caFile = (folder / "authority.pem").string();
    std::ofstream(caFile) << authority.CertificatePem();

    HttpClientSettings settings;
    settings.AllowHttps = true;
    settings.Tls.CaFile = caFile;
    settings.TimeOut = kRequestTimeOutMilliseconds;
    THttpClient client(settings);
    BestRounds best{};
    if (peers) {
        best = CompareWithCurl(
            client, server, [&](int index) { return UrlOf(server.Port(), index); }, requests,
            rounds, "--cacert '" + caFile + "'");
    }
    const double ours = best.ours;
    const double curl = best.curl;

    // A server that accepts the connection and never answers the client's
    // hello: the handshake waits until the time-out ends it.
    testing::LoopbackServer silent(testing::ServerScript().Hold());
    settings.TimeOut = kStallMilliseconds;
    THttpClient stalled(settings);
    bool timedOut = false;
    const double cpuStart = ProcessCpuSeconds();
    const double wallSeconds = SecondsOf([&] {
        try {
            stalled.Head("https://127.0.0.1:" + std::to_string(silent.Port()) + "/");
        } catch (const ESockError& error) {
            timedOut = error.Kind() == SockFailure::TimedOut;
        }
    });
    const double cpuSeconds = ProcessCpuSeconds() - cpuStart;

    if (peers) {
        std::printf("requests: %d\n", requests);
        std::printf("rounds: %d\n", rounds);
        std::printf("ours_seconds: %.4f\n", ours);
        std::printf("curl_seconds: %.4f\n", curl);
        std::printf("ours_microseconds_per_head: %.1f\n", ours / requests * 1e6);
        std::printf("curl_microseconds_per_head: %.1f\n", curl / requests * 1e6);
        std::printf("https_vs_curl_ratio: %.2f\n", ours / curl);
    }
    std::printf("stall_wall_seconds: %.4f\n", wallSeconds);
    std::printf("stall_ended_by_time_out: %s\n", timedOut ? "yes" : "no");
    std::printf("idle_cpu_percent: %.2f\n", 100.0 * cpuSeconds / wallSeconds);
    std::fflush(stdout);
    MeasureReuse(authority, caFile, links, folder, peers);
    std::filesystem::remove_all(folder);
    return timedOut ? 0 : 1;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    return vornakle::bench::RunReporting("bench_https",
                                         [&] { return vornakle::bench::Run(argc, argv); });
}
