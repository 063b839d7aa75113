#include "net/HiddenWindows.h"

#include "net/TcpSocket.h"
#include "net/ThreadTimer.h"

#include <QTimerEvent>
#include <QtDebug>

#include <climits>
#include <mutex>

namespace vornakle {

namespace {

std::mutex handlerMutex;
TApplicationExceptionHandler applicationExceptionHandler;

}  // namespace

SockWindowClass::SockWindowClass(TTcpSocket* owner) : owner_(owner) {
    setObjectName(QStringLiteral("SockWindowClass"));
}

bool SockWindowClass::event(QEvent* event) {
    if (event->type() != winsock::MessageEvent::EventType()) {
        return QObject::event(event);
    }
    const auto* message = static_cast<const winsock::MessageEvent*>(event);
    // A late event of a socket closed since, or of a lookup cancelled since,
    // is dropped here: acting on it would disturb the socket or lookup that
    // has taken its place.
    if (owner_ == nullptr || message->Message() < WM_SOCKET_EVENT || !message->Deliverable()) {
        return true;
    }
    TMessage record{message->Message(), message->WParam(), message->LParam(), 0};
    try {
        owner_->HandleSocketMessage(record);
    } catch (...) {
        // HandleSocketMessage swallows its own failures; nothing may unwind
        // into the event loop.
    }
    return true;
}

TmrWindowClass::TmrWindowClass(TThreadTimer* owner) : owner_(owner) {
    setObjectName(QStringLiteral("TmrWindowClass"));
}

bool TmrWindowClass::SetTimer(std::uint32_t interval) {
    KillTimer();
    if (interval == 0 || interval > static_cast<std::uint32_t>(INT_MAX)) {
        return false;
    }
    timerId_ = startTimer(static_cast<int>(interval), Qt::PreciseTimer);
    if (timerId_ != 0) {
        ++timerStarts_;
    }
    return timerId_ != 0;
}

void TmrWindowClass::KillTimer() {
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
}

void TmrWindowClass::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_ || owner_ == nullptr) {
        QObject::timerEvent(event);
        return;
    }
    try {
        owner_->FireTimer();
    } catch (...) {
        HandleApplicationException(std::current_exception());
    }
}

std::unique_ptr<SockWindowClass> AllocateSocketWindow(TTcpSocket* Owner) {
    return std::make_unique<SockWindowClass>(Owner);
}

std::unique_ptr<TmrWindowClass> AllocateTimerWindow(TThreadTimer* Owner) {
    return std::make_unique<TmrWindowClass>(Owner);
}

void SetApplicationExceptionHandler(TApplicationExceptionHandler handler) {
    std::lock_guard lock(handlerMutex);
    applicationExceptionHandler = std::move(handler);
}

void HandleApplicationException(std::exception_ptr exception) noexcept {
    TApplicationExceptionHandler handler;
    {
        std::lock_guard lock(handlerMutex);
        handler = applicationExceptionHandler;
    }
    try {
        if (handler) {
            handler(exception);
            return;
        }
        std::rethrow_exception(exception);
    } catch (const std::exception& error) {
        qWarning("%s", error.what());
    } catch (...) {
        qWarning("Unknown exception in an event handler");
    }
}

}  // namespace vornakle
