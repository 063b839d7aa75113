// Vornakle: asks for the Favorites directory, shows it, and runs until the
// main window closes.
#include <memory>

#include "app/MainForm.h"
#include "net/HiddenWindows.h"
#include "platform/ui/Application.h"

int main(int argc, char** argv) {
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
