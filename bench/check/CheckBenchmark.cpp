// Measures the command-line checker's parallel checks: a collection of N
// links spread over 64 loopback addresses of one server that answers every
// request 20 ms after it arrived, checked by vornakle-check with --jobs 1 and
// --jobs 32, and the same URLs checked by LinkChecker (Debian's linkchecker
// package, installed here when missing) with 32 threads, no recursion and
// its per-host rate limit raised out of the way; robots.txt is not asked
// for, as vornakle-check does not ask for it either.
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

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string UrlOf(std::uint16_t port, int index) {
    return "http://127.0.0." + std::to_string(1 + index % kAddresses) + ":" + std::to_string(port) +
           "/page" + std::to_string(index) + ".html";
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a shell command and returns its wall-clock seconds; throws when it
// does not end with one of the accepted exit codes.
double TimedCommand(const std::string& command, int acceptedExit = 0) {
    int status = 0;
    const double seconds = SecondsOf([&] { status = std::system(command.c_str()); });
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != acceptedExit) {
        throw std::runtime_error("failed (" + std::to_string(status) + "): " + command);
    }
    return seconds;
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

    DelayServer server(kAddresses, std::chrono::milliseconds(delayMilliseconds));
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
    const auto ours = [&](int jobs, const std::filesystem::path& output) {
        return TimedCommand(Quoted(program) + " --jobs " + std::to_string(jobs) + " --format csv " +
                            Quoted(collection.string()) + " > " + Quoted(output.string()));
    };
    const long servedBefore = server.Served();
    const double oneJob = ours(1, work / "jobs1.csv");
    const double parallel = ours(kParallelJobs, work / "jobs32.csv");
    const std::string oneOutput = ReadFile(work / "jobs1.csv");
    if (oneOutput != ReadFile(work / "jobs32.csv") ||
        server.Served() - servedBefore != 2L * links ||
        oneOutput.find(",200,OK,ok,") == std::string::npos) {
        throw std::runtime_error("the two runs of vornakle-check disagree or missed links");
    }

    std::cout << "links: " << links << "\n"
              << "addresses: " << kAddresses << "\n"
              << "delay_ms: " << delayMilliseconds << "\n"
              << "jobs1_seconds: " << oneJob << "\n"
              << "jobs32_seconds: " << parallel << "\n"
              << "jobs1_links_per_second: " << links / oneJob << "\n"
              << "jobs32_links_per_second: " << links / parallel << "\n"
              << "parallel_speedup: " << oneJob / parallel << "\n";

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
