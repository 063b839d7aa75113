// Saves pictures of both windows for the README: the main window over a small
// sample collection, with a few links checked, and the report window over the
// same collection. Nothing is checked over the network; the statuses are set
// by hand.
//
//   screenshots DIRECTORY   writes DIRECTORY/main-window.png and
//                           DIRECTORY/report-window.png
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
const std::pair<const char*, std::int32_t> kSampleStatuses[] = {
    {"Alte Seite.url", 404},
    {"Suchmaschine.url", 200},
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
