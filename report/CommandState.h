#pragma once

#include "report/LinkTester.h"

namespace vornakle {

// Whether a window runs a command, and whether the user asked that command
// to stop: the one busy and cancel state of each window. The window's
// EnableControls switches it with the controls. Cancel also ends the check
// under way at once, so that a host that never answers cannot hold the
// command; the command's loops stop at their next test.
class CommandState {
public:
    explicit CommandState(LinkTester& tester) : tester_(tester) {}

    bool Busy() const { return busy_; }
    bool CancelRequested() const { return cancel_; }
    // Entering or leaving busy mode clears the cancel request.
    void SetBusy(bool busy) {
        busy_ = busy;
        cancel_ = false;
    }
    void Cancel() {
        cancel_ = true;
        tester_.Abort();
    }

private:
    LinkTester& tester_;
    bool busy_ = false;
    bool cancel_ = false;
};

}  // namespace vornakle
