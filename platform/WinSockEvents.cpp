// Event delivery of the WinSock layer: the window messages it posts, and
// whether a socket event or a lookup reply is still for the socket or
// lookup that is there now.

#include "platform/WinSockInternal.h"

#include <QCoreApplication>

namespace vornakle::winsock {

MessageEvent::MessageEvent(UINT message, WPARAM wParam, LPARAM lParam, Origin origin,
                           std::uint64_t ticket)
    : QEvent(EventType()),
      message_(message),
      wParam_(wParam),
      lParam_(lParam),
      origin_(origin),
      ticket_(ticket) {}

QEvent::Type MessageEvent::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool MessageEvent::Deliverable() const {
    switch (origin_) {
        case Origin::Posted:
            return true;
        case Origin::SocketEvent:
            return RegistrationCurrent(static_cast<SOCKET>(wParam_), ticket_);
        case Origin::HostLookup:
            return TakeLookupReply(static_cast<HANDLE>(ticket_));
    }
    return false;
}

void PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr) {
        QCoreApplication::postEvent(window, new MessageEvent(message, wParam, lParam));
    }
}

}  // namespace vornakle::winsock
