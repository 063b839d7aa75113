#pragma once

#include <QProgressBar>

namespace vornakle {

// Busy mode of a window for the life of a command, left however the command
// ends, an exception included; the progress bar goes back to 0 with it. Form
// is a window with EnableControls(bool Enabled).
template <typename Form>
class BusyScope {
public:
    BusyScope(Form& form, QProgressBar* progress) : form_(form), progress_(progress) {
        form_.EnableControls(false);
    }
    ~BusyScope() {
        progress_->setValue(0);
        form_.EnableControls(true);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    Form& form_;
    QProgressBar* progress_;
};

}  // namespace vornakle
