// Vornakle: asks for the Favorites directory, shows it, and runs until the
// main window closes.
#include <memory>

#include "app/MainForm.h"
#include "platform/ui/Application.h"
#include "report/ReportForm.h"

int main(int argc, char** argv) {
    vornakle::TApplication application(argc, argv);
    auto MainForm = std::make_unique<vornakle::TMainForm>();
    if (!MainForm->FolderChosen()) {
        return 0;
    }
    // The report lives as long as the main window, as its modal companion.
    auto* ReportForm = new vornakle::TReportForm(MainForm.get());
    (void)ReportForm;
    MainForm->show();
    return vornakle::TApplication::exec();
}
