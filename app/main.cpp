// Vornakle: asks for the Favorites directory, shows it, and runs until the
// main window closes.
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/MainForm.h"
#include "app/ProgramOptions.h"
#include "generated/Version.h"
#include "history/CheckHistory.h"
#include "platform/ui/Application.h"
#include "platform/ui/GraphicalSession.h"

namespace {

// Started where no window can be shown (over ssh, on a console, in a
// service), the program says so instead of letting the toolkit abort.
constexpr int kNoGraphicalSessionExitCode = 2;
constexpr int kUsageExitCode = 2;
constexpr char kNoGraphicalSessionMessage[] =
    "vornakle: Vornakle ist ein Programm mit Fenstern und braucht eine grafische Sitzung;\n"
    "hier ist keine Anzeige erreichbar (DISPLAY und WAYLAND_DISPLAY sind leer oder\n"
    "antworten nicht).\n"
    "Eine Favoritensammlung prüft im Terminal: vornakle-check VERZEICHNIS\n";

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The system's D-Bus library keeps one allocation until the process ends;
// a sanitized build of the program would otherwise fail at every exit,
// however it is started.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
#endif

int main(int argc, char** argv) {
    // The command line is read before the toolkit starts, so --help and
    // --version work where no window can be shown, and the toolkit never
    // takes an option of ours (or a typo) for one of its own.
    vornakle::ProgramOptions options;
    try {
        options = vornakle::ParseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const vornakle::EUsageError& error) {
        std::fprintf(stderr, "vornakle: %s\nTry 'vornakle --help'.\n", error.what());
        return kUsageExitCode;
    }
    if (options.Kind == vornakle::ProgramOptions::Mode::Version) {
        std::printf("vornakle %s\n", vornakle::kVersion);
        return 0;
    }
    if (options.Kind == vornakle::ProgramOptions::Mode::Help) {
        std::fputs(vornakle::ProgramUsageText().c_str(), stdout);
        return 0;
    }
    if (!vornakle::CanShowWindows(vornakle::SessionEnvironment::OfProcess())) {
        std::fputs(kNoGraphicalSessionMessage, stderr);
        return kNoGraphicalSessionExitCode;
    }
    int toolkitArgc = 1;
    vornakle::TApplication application(toolkitArgc, argv);
    auto MainForm = std::make_unique<vornakle::TMainForm>(options.Check);
    MainForm->KeepHistoryIn(vornakle::DefaultHistoryPath());
    MainForm->SetCheckFilter(std::move(options.Filter));
    MainForm->SetCheckMaxAge(options.MaxAge);
    if (!MainForm->FolderChosen()) {
        return 0;
    }
    MainForm->show();
    return vornakle::TApplication::exec();
}
