// Vornakle: asks for the Favorites directory, shows it, and runs until the
// main window closes.
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/MainForm.h"
#include "generated/Version.h"
#include "net/HiddenWindows.h"
#include "platform/ui/Application.h"
#include "platform/ui/GraphicalSession.h"

namespace {

// Started where no window can be shown (over ssh, on a console, in a
// service), the program says so instead of letting the toolkit abort.
constexpr int kNoGraphicalSessionExitCode = 2;
constexpr char kNoGraphicalSessionMessage[] =
    "vornakle: Vornakle ist ein Programm mit Fenstern und braucht eine grafische Sitzung;\n"
    "hier ist keine Anzeige erreichbar (DISPLAY und WAYLAND_DISPLAY sind leer oder\n"
    "antworten nicht).\n"
    "Eine Favoritensammlung prüft im Terminal: vornakle-check VERZEICHNIS\n";

}  // namespace

int main(int argc, char** argv) {
    // The version is told without a window, so also where none can be shown.
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--version") == 0) {
            std::printf("vornakle %s\n", vornakle::kVersion);
            return 0;
        }
    }
    if (!vornakle::CanShowWindows(vornakle::SessionEnvironment::OfProcess())) {
        std::fputs(kNoGraphicalSessionMessage, stderr);
        return kNoGraphicalSessionExitCode;
    }
    vornakle::TApplication application(argc, argv);
    // Timer handlers of the socket layer report their errors like any other
    // handler of the program.
    vornakle::SetApplicationExceptionHandler(vornakle::ReportException);
    auto MainForm = std::make_unique<vornakle::TMainForm>();
    if (!MainForm->FolderChosen()) {
        return 0;
    }
    MainForm->show();
    return vornakle::TApplication::exec();
}
