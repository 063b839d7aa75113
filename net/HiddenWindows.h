#pragma once

// The hidden windows of the socket layer. A hidden window is a small QObject
// owned by its component and living on the component's thread: posted
// messages (winsock::MessageEvent) play the window messages and its QObject
// timer plays the window timer. Its event handler is the window procedure of
// its class, which routes what it receives to the owner.

#include "platform/WinSock.h"

#include <QObject>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

namespace vornakle {

class TTcpSocket;
class TThreadTimer;

// The message record a window procedure hands to its owner.
struct TMessage {
    std::uint32_t Msg = 0;
    winsock::WPARAM WParam = 0;
    winsock::LPARAM LParam = 0;
    std::intptr_t Result = 0;
};

// Message numbers routed to the socket component.
inline constexpr std::uint32_t WM_USER = 0x0400;
inline constexpr std::uint32_t WM_SOCKET_EVENT = WM_USER + 101;  // 1125
inline constexpr std::uint32_t WM_HOST_LOOKUP = WM_USER + 102;   // 1126

// The window of class "SockWindowClass": every message numbered
// WM_SOCKET_EVENT or higher goes to the owner's HandleSocketMessage.
class SockWindowClass : public QObject {
    Q_OBJECT

public:
    explicit SockWindowClass(TTcpSocket* owner);

protected:
    bool event(QEvent* event) override;

private:
    TTcpSocket* owner_;
};

// The window of class "TmrWindowClass": carries the one system timer of its
// TThreadTimer (identifier 1) and calls the timer's FireTimer on each tick.
class TmrWindowClass : public QObject {
    Q_OBJECT

public:
    explicit TmrWindowClass(TThreadTimer* owner);

    // Starts (or restarts) the system timer; false when none could be made.
    bool SetTimer(std::uint32_t interval);
    void KillTimer();
    bool TimerRunning() const { return timerId_ != 0; }
    // How often the system timer was started, each start a full new period.
    int TimerStarts() const { return timerStarts_; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    TThreadTimer* owner_;
    int timerId_ = 0;
    int timerStarts_ = 0;
};

// Return a new hidden window attached to its owner, or null when none could
// be made.
std::unique_ptr<SockWindowClass> AllocateSocketWindow(TTcpSocket* Owner);
std::unique_ptr<TmrWindowClass> AllocateTimerWindow(TThreadTimer* Owner);

// The application-wide exception handler, for exceptions raised inside a
// window procedure that must not unwind into the toolkit (an OnTimer handler).
// The application installs one that shows the message to the user; without
// one the message goes to the log.
using TApplicationExceptionHandler = std::function<void(std::exception_ptr)>;
void SetApplicationExceptionHandler(TApplicationExceptionHandler handler);
void HandleApplicationException(std::exception_ptr exception) noexcept;

}  // namespace vornakle
