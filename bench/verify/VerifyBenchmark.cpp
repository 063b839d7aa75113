// Measures "Verify All &Links" of the main window: what a link costs beyond
// the network against a server that answers at once, and, against servers
// on many addresses that take their time, how much checking many links at
// once (current rules) gains over one after another (classic rules) and how
// idle the program stays meanwhile.
//
//   bench_verify [--links N] [--folders N] [--slow-links N] [--hosts N]
//                [--jobs N] [--per-host N]

#include <sys/resource.h>
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "common/BenchSupport.h"
#include "common/HeadServer.h"
#include "support/ScriptedDialogs.h"
#include "verify/DelayServers.h"

namespace vornakle::bench {
namespace {

constexpr std::chrono::milliseconds kSlowReply{50};

// Link number index goes to origin(index).
template <typename OriginOf>
std::string MakeCollection(int links, int folders, OriginOf&& originOf) {
    std::string root = (std::filesystem::temp_directory_path() / "vornakle-verify-XXXXXX").string();
    if (::mkdtemp(root.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    for (int link = 0; link < links; ++link) {
        const std::string folder = root + "/Folder " + std::to_string(link % folders);
        std::filesystem::create_directories(folder);
        const std::string url = originOf(link) + "/page/" + std::to_string(link);
        std::ofstream(folder + "/Link " + std::to_string(link) + ".url", std::ios::binary)
            << "[InternetShortcut]\r\nURL=" << url << "\r\n";
    }
    return root;
}

struct Measurement {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    // Of cpuSeconds, what the window's own thread used: the program's part
    // beside the check engine's workers.
    double windowThreadCpuSeconds = 0;
};

double ThisThreadCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs "Verify All &Links" of a main window with these settings over the
// collection at root; the servers' own processor time is left out.
Measurement VerifyAll(const std::string& root, const CheckSettings& settings,
                      const std::function<double()>& serverCpuSeconds) {
    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs->ChooseFolder(root);
    DialogsInstallation installation(std::move(dialogs));
    Measurement measurement;
    TMainForm form(settings);
    form.show();
    QApplication::processEvents();
    const double cpuBefore = ProcessCpuSeconds() - serverCpuSeconds();
    const double threadCpuBefore = ThisThreadCpuSeconds();
    measurement.wallSeconds = SecondsOf([&] { form.BVerifyAllClick(); });
    measurement.cpuSeconds = ProcessCpuSeconds() - serverCpuSeconds() - cpuBefore;
    measurement.windowThreadCpuSeconds = ThisThreadCpuSeconds() - threadCpuBefore;
    return measurement;
}

struct Options {
    int links = 1000;
    int folders = 50;
    int slowLinks = 1000;
    int hosts = 20;
    int jobs = 32;
    int perHost = 2;
};

int Run(const Options& options) {
    long fastServed = 0;
    Measurement fast;
    {
        HeadServer server;
        const std::string origin = "http://127.0.0.1:" + std::to_string(server.Port());
        const std::string root =
            MakeCollection(options.links, options.folders, [&](int) { return origin; });
        fast = VerifyAll(root, CheckSettings(), [] { return 0.0; });
        fastServed = server.Served();
        std::filesystem::remove_all(root);
    }

    DelayServers servers(options.hosts, kSlowReply);
    const std::string root = MakeCollection(options.slowLinks, options.folders, [&](int link) {
        return servers.Origin(link % options.hosts);
    });
    const auto serverCpu = [&] { return servers.CpuSeconds(); };
    const Measurement classic = VerifyAll(root, CheckSettings(), serverCpu);
    const long classicServed = servers.Served();
    CheckSettings current;
    current.Rules = CheckRules::Current;
    current.Jobs = options.jobs;
    current.PerHost = options.perHost;
    const Measurement parallel = VerifyAll(root, current, serverCpu);
    const long currentServed = servers.Served() - classicServed;
    std::filesystem::remove_all(root);

    std::printf("links: %d\n", options.links);
    std::printf("folders: %d\n", options.folders);
    std::printf("links_answered: %ld\n", fastServed);
    std::printf("verify_all_seconds: %.4f\n", fast.wallSeconds);
    std::printf("overhead_ms_per_link: %.3f\n", fast.wallSeconds * 1000.0 / options.links);
    std::printf("slow_links: %d\n", options.slowLinks);
    std::printf("slow_hosts: %d\n", options.hosts);
    std::printf("slow_reply_ms: %lld\n", static_cast<long long>(kSlowReply.count()));
    std::printf("classic_seconds: %.4f\n", classic.wallSeconds);
    std::printf("classic_idle_cpu_percent: %.2f\n",
                100.0 * classic.cpuSeconds / classic.wallSeconds);
    std::printf("classic_cpu_ms_per_link: %.3f\n", classic.cpuSeconds * 1000.0 / options.slowLinks);
    std::printf("current_jobs: %d\n", options.jobs);
    std::printf("current_per_host: %d\n", options.perHost);
    std::printf("current_seconds: %.4f\n", parallel.wallSeconds);
    std::printf("current_links_answered: %ld\n", currentServed);
    std::printf("current_cpu_ms_per_link: %.3f\n",
                parallel.cpuSeconds * 1000.0 / options.slowLinks);
    std::printf("max_connections_per_host: %d\n", servers.MaxOpenPerAddress());
    std::printf("parallel_speedup: %.2f\n", classic.wallSeconds / parallel.wallSeconds);
    std::printf("idle_cpu_percent: %.2f\n", 100.0 * parallel.cpuSeconds / parallel.wallSeconds);
    std::printf("idle_cpu_percent_window_thread: %.2f\n",
                100.0 * parallel.windowThreadCpuSeconds / parallel.wallSeconds);
    return fastServed == options.links && classicServed == options.slowLinks &&
                   currentServed == options.slowLinks &&
                   servers.MaxOpenPerAddress() <= options.perHost
               ? 0
               : 1;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    using namespace vornakle::bench;
    UseOffscreenPlatformUnlessChosen();
    QApplication application(argc, argv);
    Options options;
    if (!ReadCountOptions(argc, argv,
                          {{"--links", &options.links},
                           {"--folders", &options.folders},
                           {"--slow-links", &options.slowLinks},
                           {"--hosts", &options.hosts},
                           {"--jobs", &options.jobs},
                           {"--per-host", &options.perHost}},
                          "bench_verify")) {
        return 2;
    }
    return RunReporting("bench_verify", [&] { return Run(options); });
}
