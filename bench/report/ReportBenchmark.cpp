// Measures "Show &Report" over a large collection in which no link is tested
// yet, so every link is listed: from the command to the filled list sorted by
// name, against reading the same files once.
//
//   bench_report [--links N] [--folders N]
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "common/BenchSupport.h"
#include "report/ReportForm.h"
#include "store/widgets/LinkItems.h"
#include "support/ScriptedDialogs.h"

namespace vornakle::bench {
namespace {

constexpr int kRounds = 3;

std::vector<std::string> Generate(const std::string& root, int links, int folders) {
    Random random(77);
    std::vector<std::string> folderPaths;
    for (int folder = 0; folder < folders; ++folder) {
        folderPaths.push_back(root + "/" + random.Word(4, 10, true) + " " + std::to_string(folder));
        std::filesystem::create_directories(folderPaths.back());
    }
    std::vector<std::string> files;
    for (int link = 0; link < links; ++link) {
        const std::string path = folderPaths[static_cast<std::size_t>(link % folders)] + "/" +
                                 random.Word(3, 10, true) + " " + random.Word(2, 9, false) + " " +
                                 std::to_string(link) + ".url";
        const std::string url =
            "https://www." + random.Word(4, 12, false) + ".de/" + random.Word(3, 12, false);
        std::ofstream(path, std::ios::binary)
            << "[DEFAULT]\r\nBASEURL=" << url << "\r\n[InternetShortcut]\r\nURL=" << url << "\r\n";
        files.push_back(path);
    }
    return files;
}

int Run(int links, int folders) {
    std::string root = (std::filesystem::temp_directory_path() / "vornakle-report-XXXXXX").string();
    if (::mkdtemp(root.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    const std::vector<std::string> files = Generate(root, links, folders);

    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs->ChooseFolder(root);
    DialogsInstallation installation(std::move(dialogs));
    auto form = std::make_unique<TMainForm>();
    form->show();
    QApplication::processEvents();

    double floorSeconds = 1e9;
    double reportSeconds = 1e9;
    int listed = 0;
    for (int round = 0; round < kRounds; ++round) {
        floorSeconds = std::min(floorSeconds, ReadFilesOnce(files));
        TReportForm& report = *form->Report();
        // What "Show &Report" does up to the window on the screen: fill,
        // then the showing sorts by name.
        const double seconds = SecondsOf([&] {
            form->FillReport();
            report.show();
        });
        reportSeconds = std::min(reportSeconds, seconds);
        listed = report.ReportItems().Count();
        report.hide();
        report.ReportItems().Clear();
        QApplication::processEvents();
    }
    form.reset();
    std::filesystem::remove_all(root);

    std::printf("links: %d\n", links);
    std::printf("folders: %d\n", folders);
    std::printf("items_listed: %d\n", listed);
    std::printf("read_once_seconds: %.4f\n", floorSeconds);
    std::printf("report_open_seconds: %.4f\n", reportSeconds);
    std::printf("report_open_ratio: %.3f\n", reportSeconds / floorSeconds);
    return listed == links ? 0 : 1;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    using namespace vornakle::bench;
    UseOffscreenPlatformUnlessChosen();
    QApplication application(argc, argv);
    int links = 100000;
    int folders = 2000;
    if (!ReadCountOptions(argc, argv, {{"--links", &links}, {"--folders", &folders}},
                          "bench_report")) {
        return 2;
    }
    return RunReporting("bench_report", [&] { return Run(links, folders); });
}
