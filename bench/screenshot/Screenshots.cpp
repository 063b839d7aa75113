// Saves pictures of both windows for the README: the main window over a small
// sample collection, with a few links checked, and the report window over the
// same collection, whose statuses are set by hand; and the main window in the
// middle of a check of many links at once (current rules), against loopback
// servers of this program's own, some of which never answer, and the report
// window after it was cancelled, with the class and reason columns.
//
//   screenshots DIRECTORY   writes DIRECTORY/main-window.png,
//                           DIRECTORY/report-window.png,
//                           DIRECTORY/parallel-check.png and
//                           DIRECTORY/report-current-rules.png
#include <QAbstractButton>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <utility>

#include "app/MainForm.h"
#include "platform/FileSystem.h"
#include "platform/ui/Application.h"
#include "report/ReportForm.h"
#include "store/LinkStatus.h"
#include "store/Shortcut.h"
#include "store/widgets/BookTreeView.h"
#include "store/widgets/LinkItems.h"
#include "support/LoopbackServer.h"
#include "support/ScriptedDialogs.h"

namespace vornakle {
namespace {

constexpr int kUsageError = 2;

struct SampleLink {
    const char* path;
    const char* url;
};

const SampleLink kSampleLinks[] = {
    {"Nachrichten/Tagesschau.url", "https://www.tagesschau.de/"},
    {"Nachrichten/Sport/Kicker.url", "https://www.kicker.de/"},
    {"Reisen/Bahn.url", "https://www.bahn.de/"},
    {"Werkzeuge/Qt.url", "https://www.qt.io/"},
    {"Wikipedia.url", "https://de.wikipedia.org/"},
    {"Alte Seite.url", "http://www.example.invalid/alt"},
    {"Suchmaschine.url", "https://duckduckgo.com/"},
    {"Wetter.url", "http://wetter.example.org/"},
};

// One of each kind of outcome, so that the report has something to list.
const std::pair<const char*, LinkStatus> kSampleStatuses[] = {
    {"Alte Seite.url", LinkStatus::Reply(404)},
    {"Suchmaschine.url", LinkStatus::Reply(200)},
    {"Wetter.url", kStatusUnknown},
};

void WriteCollection(const std::string& root) {
    for (const SampleLink& link : kSampleLinks) {
        const std::filesystem::path path = std::filesystem::path(root) / link.path;
        std::filesystem::create_directories(path.parent_path());
        CreateNewFile(path.string(), NewShortcutText(link.url));
    }
}

// Files the sample statuses on the links of the root folder, which the main
// window lists when it starts.
void SetSampleStatuses(TMainForm& form, LinkItems& items) {
    TBookTree* root = form.Root();
    for (const auto& [name, status] : kSampleStatuses) {
        for (int index = 0; index < root->Count(); ++index) {
            TBookTree* node = root->Child(index);
            if (LastPathPart(node->Path) == name) {
                node->Status = status;
                ShowLinkStatus(items, items.IndexOfNode(node));
            }
        }
    }
}

bool Save(QWidget& window, const QString& path) {
    QApplication::processEvents();
    if (!window.grab().save(path)) {
        std::cerr << "cannot write " << path.toStdString() << "\n";
        return false;
    }
    std::cout << "wrote " << path.toStdString() << "\n";
    return true;
}

// Links of the parallel check: their names, and the server each goes to.
const std::pair<const char*, int> kParallelLinks[] = {
    {"Archiv", 0}, {"Bahn", 0},        {"Blog", 1},    {"Forum", 2}, {"Kalender", 0},
    {"Karten", 3}, {"Nachrichten", 0}, {"Rezepte", 1}, {"Suche", 3}, {"Video", 4},
    {"Wetter", 2}, {"Wiki", 0},        {"Zeitung", 4}, {"Zug", 3},
};

bool SaveParallelCheck(const QDir& directory) {
    using namespace std::chrono_literals;
    using testing::LoopbackServer;
    using testing::ServerScript;
    const auto answer = [](const char* statusLine) {
        return ServerScript().ReadUntil("\r\n\r\n").Send(std::string(statusLine) + "\r\n\r\n");
    };
    // Two hosts hold their replies: the picture shows their links under way.
    const ServerScript scripts[] = {answer("HTTP/1.1 200 OK"), answer("HTTP/1.1 404 Not Found"),
                                    ServerScript().ReadUntil("\r\n\r\n").Hold(),
                                    answer("HTTP/1.1 200 OK"),
                                    ServerScript().ReadUntil("\r\n\r\n").Hold()};
    std::vector<std::unique_ptr<LoopbackServer>> servers;
    for (std::size_t index = 0; index < std::size(scripts); ++index) {
        LoopbackServer::Options options;
        options.address = "127.0.0." + std::to_string(index + 2);
        servers.push_back(std::make_unique<LoopbackServer>(scripts[index], options));
    }
    const QTemporaryDir collection;
    if (!collection.isValid()) {
        std::cerr << "cannot make a temporary directory\n";
        return false;
    }
    const std::string root = collection.path().toStdString();
    for (const auto& [name, server] : kParallelLinks) {
        const LoopbackServer& host = *servers[static_cast<std::size_t>(server)];
        CreateNewFile(root + "/" + name + ".url",
                      NewShortcutText("http://" + host.Address() + ":" +
                                      std::to_string(host.Port()) + "/" + name));
    }
    std::filesystem::create_directories(root + "/Reisen");
    std::filesystem::create_directories(root + "/Werkzeuge");

    auto scripted = std::make_unique<ScriptedDialogs>();
    scripted->ChooseFolder(root);
    const DialogsInstallation installation(std::move(scripted));
    CheckSettings settings;
    settings.Rules = CheckRules::Current;
    TMainForm form(settings);
    form.show();
    QApplication::processEvents();
    auto* list = form.findChild<QTreeView*>(QStringLiteral("LVList"));
    auto* items = qobject_cast<LinkItems*>(list->model());

    // Pictured from inside the check's own loop once every link of the
    // answering hosts has its status, then cancelled.
    bool saved = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, &form, [&] {
        int waiting = 0;
        for (int row = 0; row < items->Count(); ++row) {
            waiting += items->ImageIndex(row) == kImageBeingTested ? 1 : 0;
        }
        if (!form.CheckRunning() || waiting > 6) {
            return;
        }
        probe.stop();
        saved = Save(form, directory.filePath(QStringLiteral("parallel-check.png")));
        form.BExitClick();
    });
    probe.start(20);
    QTimer::singleShot(20000, &form, [&] { form.BExitClick(); });
    form.BVerifyAllClick();
    // The report is modal: pictured and closed from inside its own loop.
    QTimer::singleShot(0, &form, [&] {
        TReportForm* report = form.Report();
        saved =
            Save(*report, directory.filePath(QStringLiteral("report-current-rules.png"))) && saved;
        report->findChild<QAbstractButton*>(QStringLiteral("BOK"))->click();
    });
    form.BReportClick();
    return saved;
}

int Run(const QString& directory) {
    const QTemporaryDir collection;
    if (!collection.isValid()) {
        std::cerr << "cannot make a temporary directory\n";
        return 1;
    }
    const std::string root = collection.path().toStdString();
    WriteCollection(root);

    auto scripted = std::make_unique<ScriptedDialogs>();
    scripted->ChooseFolder(root);
    const DialogsInstallation installation(std::move(scripted));
    TMainForm form;
    form.show();
    QApplication::processEvents();

    auto* list = form.findChild<QTreeView*>(QStringLiteral("LVList"));
    auto* items = qobject_cast<LinkItems*>(list->model());
    SetSampleStatuses(form, *items);
    list->setCurrentIndex(items->index(1, 0));
    bool saved = Save(form, QDir(directory).filePath(QStringLiteral("main-window.png")));

    // The report is modal: it is pictured and closed from inside its own
    // event loop.
    QTimer::singleShot(0, &form, [&] {
        TReportForm* report = form.Report();
        saved =
            Save(*report, QDir(directory).filePath(QStringLiteral("report-window.png"))) && saved;
        report->findChild<QAbstractButton*>(QStringLiteral("BOK"))->click();
    });
    form.BReportClick();
    saved = SaveParallelCheck(QDir(directory)) && saved;
    return saved ? 0 : 1;
}

}  // namespace
}  // namespace vornakle

int main(int argc, char** argv) {
    vornakle::TApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: screenshots DIRECTORY\n";
        return vornakle::kUsageError;
    }
    return vornakle::Run(QString::fromLocal8Bit(argv[1]));
}
