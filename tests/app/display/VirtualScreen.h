#pragma once

#include <sys/types.h>

#include <string>

namespace vornakle::testing {

// An X server of the test's own (Xvfb from Debian's xvfb), on a display
// number the server picks itself, ended with this object. Tests of what the
// user reads in title bars need a real X server: the offscreen platform has
// no title bars.
class VirtualScreen {
public:
    VirtualScreen();
    ~VirtualScreen();
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    bool IsRunning() const { return !display_.empty(); }
    // ":N", for DISPLAY.
    const std::string& Display() const { return display_; }
    // Why no server runs.
    const std::string& Failure() const { return failure_; }

private:
    pid_t server_ = -1;
    std::string display_;
    std::string failure_;
};

}  // namespace vornakle::testing
