// Measures "Verify All &Links" of the main window: what a link costs beyond
// the network against a server that answers at once, and how idle the
// program stays while the server takes its time.
//
//   bench_verify [--links N] [--folders N] [--slow-links N]

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "common/BenchSupport.h"
#include "common/HeadServer.h"
#include "support/ScriptedDialogs.h"

namespace vornakle::bench {
namespace {

constexpr std::chrono::milliseconds kSlowReply{50};

std::string MakeCollection(int links, int folders, std::uint16_t port) {
    std::string root = (std::filesystem::temp_directory_path() / "vornakle-verify-XXXXXX").string();
    if (::mkdtemp(root.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    for (int link = 0; link < links; ++link) {
        const std::string folder = root + "/Folder " + std::to_string(link % folders);
        std::filesystem::create_directories(folder);
        const std::string url =
            "http://127.0.0.1:" + std::to_string(port) + "/page/" + std::to_string(link);
        std::ofstream(folder + "/Link " + std::to_string(link) + ".url", std::ios::binary)
            << "[InternetShortcut]\r\nURL=" << url << "\r\n";
    }
    return root;
}

struct Measurement {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    long served = 0;
};

// Runs "Verify All &Links" of a main window over a fresh collection.
Measurement VerifyAll(int links, int folders, std::chrono::milliseconds replyDelay) {
    HeadServer server(replyDelay);
    const std::string root = MakeCollection(links, folders, server.Port());
    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs->ChooseFolder(root);
    DialogsInstallation installation(std::move(dialogs));
    Measurement measurement;
    {
        TMainForm form;
        form.show();
        QApplication::processEvents();
        const double cpuBefore = ProcessCpuSeconds();
        measurement.wallSeconds = SecondsOf([&] { form.BVerifyAllClick(); });
        measurement.cpuSeconds = ProcessCpuSeconds() - cpuBefore;
    }
    measurement.served = server.Served();
    std::filesystem::remove_all(root);
    return measurement;
}

int Run(int links, int folders, int slowLinks) {
    const Measurement fast = VerifyAll(links, folders, std::chrono::milliseconds(0));
    const Measurement slow = VerifyAll(slowLinks, folders, kSlowReply);
    std::printf("links: %d\n", links);
    std::printf("folders: %d\n", folders);
    std::printf("links_answered: %ld\n", fast.served);
    std::printf("verify_all_seconds: %.4f\n", fast.wallSeconds);
    std::printf("overhead_ms_per_link: %.3f\n", fast.wallSeconds * 1000.0 / links);
    std::printf("slow_links: %d\n", slowLinks);
    std::printf("slow_reply_ms: %lld\n", static_cast<long long>(kSlowReply.count()));
    std::printf("slow_verify_all_seconds: %.4f\n", slow.wallSeconds);
    std::printf("slow_cpu_seconds: %.4f\n", slow.cpuSeconds);
    std::printf("idle_cpu_percent: %.2f\n", 100.0 * slow.cpuSeconds / slow.wallSeconds);
    return fast.served == links && slow.served == slowLinks ? 0 : 1;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    using namespace vornakle::bench;
    UseOffscreenPlatformUnlessChosen();
    QApplication application(argc, argv);
    int links = 1000;
    int folders = 50;
    int slowLinks = 200;
    if (!ReadCountOptions(
            argc, argv,
            {{"--links", &links}, {"--folders", &folders}, {"--slow-links", &slowLinks}},
            "bench_verify")) {
        return 2;
    }
    return RunReporting("bench_verify", [&] { return Run(links, folders, slowLinks); });
}
