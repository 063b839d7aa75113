#include "platform/ui/WindowTitle.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace vornakle {
namespace {

// The toolkit turns a doubled mark into the mark itself.
const QString kModifiedMark = QStringLiteral("[*]");
const QString kLiteralModifiedMark = QStringLiteral("[*][*]");

struct FreeDeleter {
    void operator()(void* reply) const { std::free(reply); }
};

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> reply(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The plugin writes the title for window managers into _NET_WM_NAME, with
// the application's name where the title is empty; the older WM_NAME keeps
// the title as given. An empty _NET_WM_NAME makes both agree.
void ClearX11Title(QWidget* window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    // Makes the native window now, with the title the plugin chose, so that
    // the one written here comes after it.
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t property = InternAtom(connection, "_NET_WM_NAME");
    const xcb_atom_t type = InternAtom(connection, "UTF8_STRING");
    if (property == XCB_ATOM_NONE || type == XCB_ATOM_NONE) {
        return;
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, property, type, 8, 0, nullptr);
    xcb_flush(connection);
}

}  // namespace

void SetExactWindowTitle(QWidget* window, const QString& title) {
    QString escaped = title;
    escaped.replace(kModifiedMark, kLiteralModifiedMark);
    window->setWindowTitle(escaped);
    if (title.isEmpty()) {
        ClearX11Title(window);
    }
}

}  // namespace vornakle
