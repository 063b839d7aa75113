#include "platform/ui/Dialogs.h"

#include "platform/ui/QtDialogs.h"

namespace vornakle {
namespace {

// Only the user-interface thread asks the user anything, so a plain global is
// enough.
std::unique_ptr<Dialogs>& InstalledDialogs() {
    static std::unique_ptr<Dialogs> installed;
    return installed;
}

}  // namespace

Dialogs& CurrentDialogs() {
    std::unique_ptr<Dialogs>& installed = InstalledDialogs();
    if (!installed) {
        installed = std::make_unique<QtDialogs>();
    }
    return *installed;
}

std::unique_ptr<Dialogs> InstallDialogs(std::unique_ptr<Dialogs> dialogs) {
    std::unique_ptr<Dialogs> previous = std::move(InstalledDialogs());
    InstalledDialogs() = std::move(dialogs);
    return previous;
}

DialogsInstallation::DialogsInstallation(std::unique_ptr<Dialogs> dialogs)
    : previous_(InstallDialogs(std::move(dialogs))) {}

DialogsInstallation::~DialogsInstallation() {
    InstallDialogs(std::move(previous_));
}

}  // namespace vornakle
