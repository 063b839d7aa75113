#include "platform/ui/GraphicalSession.h"

#include <xcb/xcb.h>

#include <QByteArray>
#include <QByteArrayList>
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <vector>

namespace vornakle {
namespace {

// The toolkit's platforms that draw without a display server.
constexpr const char* kDisplaylessPlatforms[] = {
    "offscreen", "minimal", "minimalegl", "linuxfb", "eglfs", "vnc", "vkkhrdisplay",
};
constexpr char kX11Platform[] = "xcb";
constexpr char kWaylandPlatformPrefix[] = "wayland";

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The platform names of QT_QPA_PLATFORM ("wayland;xcb", "offscreen:fontengine=freetype").
std::vector<std::string> PlatformNames(const std::string& platform) {
    std::vector<std::string> names;
    for (const QByteArray& entry : QByteArray::fromStdString(platform).split(';')) {
        const qsizetype options = entry.indexOf(':');
        const QByteArray name = (options < 0 ? entry : entry.left(options)).trimmed();
        if (!name.isEmpty()) {
            names.push_back(name.toStdString());
        }
    }
    return names;
}

struct ConnectionCloser {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

bool X11DisplayAnswers(const std::string& display) {
    // A failed connection is an object too, and must be given back.
    const std::unique_ptr<xcb_connection_t, ConnectionCloser> connection(
        xcb_connect(display.c_str(), nullptr));
    return connection != nullptr && xcb_connection_has_error(connection.get()) == 0;
}

}  // namespace

SessionEnvironment SessionEnvironment::OfProcess() {
    return {Variable("QT_QPA_PLATFORM"), Variable("WAYLAND_DISPLAY"), Variable("DISPLAY")};
}

bool CanShowWindows(const SessionEnvironment& environment) {
    const std::vector<std::string> names = PlatformNames(environment.Platform);
    const auto named = [&names](auto&& matches) {
        return std::any_of(names.begin(), names.end(), matches);
    };
    if (named([](const std::string& name) {
            return std::find(std::begin(kDisplaylessPlatforms), std::end(kDisplaylessPlatforms),
                             name) != std::end(kDisplaylessPlatforms);
        })) {
        return true;
    }
    // Without a platform named, the toolkit picks Wayland or X11 by itself.
    const bool wayland = names.empty() || named([](const std::string& name) {
                             return name.rfind(kWaylandPlatformPrefix, 0) == 0;
                         });
    const bool x11 =
        names.empty() || named([](const std::string& name) { return name == kX11Platform; });
    return (wayland && !environment.WaylandDisplay.empty()) ||
           (x11 && !environment.X11Display.empty() && X11DisplayAnswers(environment.X11Display));
}

}  // namespace vornakle
