#pragma once

#include <string>

namespace vornakle {

// What the environment tells about the screen the program would show its
// windows on.
struct SessionEnvironment {
    std::string Platform;        // QT_QPA_PLATFORM: the toolkit's platforms to try, in order
    std::string WaylandDisplay;  // WAYLAND_DISPLAY
    std::string X11Display;      // DISPLAY

    static SessionEnvironment OfProcess();
};

// Whether the toolkit can show windows here: the platform names one that
// needs no display server (offscreen, a frame buffer, VNC), or a Wayland
// display is named, or the named X display accepts a connection. Without
// any the toolkit aborts the whole process, so the program asks first.
bool CanShowWindows(const SessionEnvironment& environment);

}  // namespace vornakle
