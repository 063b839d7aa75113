// The socket table of the WinSock layer: the sockets registered for
// notifications (WSAAsyncSelect), their notifiers and the state that turns
// the system's readiness into WinSock's events.

#include "platform/WinSockInternal.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace vornakle::winsock {

namespace {

// WSAAsyncSelect emulation.
//
// A registered socket has a read and a write notifier. The write notifier
// runs only while a connect is under way. The read notifier is level
// triggered: after FD_READ (or FD_ACCEPT) is posted no other may follow until
// the program calls recv (or accept). It stays on, since switching it off and
// on again wakes the thread's event loop each time, and the program usually
// receives before the next poll; only when it fires again before that receive
// is it parked (off) until the receive. After the peer's close with no data
// left it stays off for good. Everything about a registration is touched on the thread that owns
// it; the mutex guards only the table itself.

enum class SocketState { Unconnected, Connecting, Connected, Listening };

struct Registration {
    SOCKET socket = INVALID_SOCKET;
    std::uint64_t serial = 0;
    QPointer<QObject> window;
    UINT message = 0;
    long events = 0;
    SocketState state = SocketState::Unconnected;
    // FD_READ or FD_ACCEPT may be posted again.
    bool readArmed = true;
    // The read notifier fired while not armed: it is off until recv or
    // accept arms it again, so unread data cannot keep waking the thread.
    bool readParked = false;
    bool closePosted = false;
    // The peer closed and nothing is left to read: no read event can follow.
    bool endReached = false;
    // The error of a reset, taken by the close notification; WinSock keeps
    // reporting it to recv, where the system reports it only once.
    int resetError = 0;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
};

// Never destroyed, like the lookup table below: a socket still registered
// when the program ends must not have its notifiers torn down after the
// application object is gone.
// The table is split by socket number: every receive, send and notification
// locks the part of its own socket, so the sockets of many threads at once
// (a check engine's workers) do not queue on one lock.
struct RegistryPart {
    std::mutex mutex;
    std::unordered_map<SOCKET, std::unique_ptr<Registration>> sockets;
};

struct RegistryTable {
    static constexpr std::size_t kParts = 64;
    std::array<RegistryPart, kParts> parts;
    std::atomic<std::uint64_t> nextSerial{1};
};

RegistryTable& Registry() {
    static RegistryTable* const table = new RegistryTable;
    return *table;
}

RegistryPart& RegistryOf(SOCKET socket) {
    return Registry().parts[static_cast<std::size_t>(socket) % RegistryTable::kParts];
}

void Post(Registration& registration, long event, int error) {
    if (!(registration.events & event) || registration.window.isNull()) {
        return;
    }
    QCoreApplication::postEvent(
        registration.window,
        new MessageEvent(registration.message, registration.socket,
                         WSAMAKESELECTREPLY(event, error), MessageEvent::Origin::SocketEvent,
                         registration.serial));
}

void UpdateNotifiers(Registration& registration) {
    const bool wantRead = (registration.state == SocketState::Connected ||
                           registration.state == SocketState::Listening) &&
                          !registration.readParked && !registration.endReached;
    registration.readNotifier->setEnabled(wantRead);
    registration.writeNotifier->setEnabled(registration.state == SocketState::Connecting);
}

Registration* FindLocked(SOCKET socket) {
    RegistryPart& part = RegistryOf(socket);
    const auto found = part.sockets.find(socket);
    return found == part.sockets.end() ? nullptr : found->second.get();
}

void OnReadable(SOCKET socket, std::uint64_t serial) {
    std::lock_guard lock(RegistryOf(socket).mutex);
    Registration* registration = FindLocked(socket);
    if (registration == nullptr || registration->serial != serial) {
        return;
    }
    if (!registration->readArmed) {
        registration->readParked = true;
        UpdateNotifiers(*registration);
        return;
    }
    if (registration->state == SocketState::Listening) {
        Post(*registration, FD_ACCEPT, 0);
        registration->readArmed = false;
        return;
    }
    pollfd descriptor{socket, POLLIN | POLLRDHUP, 0};
    ::poll(&descriptor, 1, 0);
    char byte;
    const ssize_t peeked = ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    const int peekError = peeked < 0 ? errno : 0;
    const bool wouldBlock = peeked < 0 && (peekError == EAGAIN || peekError == EWOULDBLOCK);
    const bool hasData = peeked > 0;
    const bool peerClosed = peeked == 0 || (peeked < 0 && !wouldBlock) ||
                            (descriptor.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    if (hasData) {
        Post(*registration, FD_READ, 0);
        registration->readArmed = false;
    }
    if (peerClosed && !registration->closePosted) {
        int error = 0;
        if (peeked < 0 && !wouldBlock) {
            error = MapErrno(peekError);
        } else if (descriptor.revents & POLLERR) {
            int socketError = 0;
            socklen_t length = sizeof socketError;
            ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &socketError, &length);
            error = MapErrno(socketError);
        }
        if (error == 0) {
            // A reset the connect event found already.
            error = registration->resetError;
        }
        registration->resetError = error;
        Post(*registration, FD_CLOSE, error);
        registration->closePosted = true;
    }
    if (!hasData && peerClosed) {
        registration->endReached = true;
    }
    UpdateNotifiers(*registration);
}

// The connect under way has ended (the socket is writable or failed): posts
// FD_CONNECT with its outcome.
void CompleteConnect(SOCKET socket, Registration* registration) {
    int socketError = 0;
    socklen_t length = sizeof socketError;
    ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &socketError, &length);
    // A reset (or a close that broke the pipe) can only follow a handshake
    // that completed: the peer accepted and dropped the connection before
    // this event was handled. WinSock reports that as a connect followed by
    // the close with its error, not as a failed connect. Reading SO_ERROR
    // took the reset from the socket, so it is kept for the close, which the
    // read notification posts as for any peer close, after this connect has
    // been delivered on its own.
    const bool resetAfterConnect = socketError == ECONNRESET || socketError == EPIPE;
    registration->state =
        socketError == 0 || resetAfterConnect ? SocketState::Connected : SocketState::Unconnected;
    if (resetAfterConnect) {
        registration->resetError = MapErrno(socketError);
    }
    Post(*registration, FD_CONNECT, resetAfterConnect ? 0 : MapErrno(socketError));
    UpdateNotifiers(*registration);
}

void OnWritable(SOCKET socket, std::uint64_t serial) {
    std::lock_guard lock(RegistryOf(socket).mutex);
    Registration* registration = FindLocked(socket);
    if (registration == nullptr || registration->serial != serial ||
        registration->state != SocketState::Connecting) {
        return;
    }
    CompleteConnect(socket, registration);
}

SocketState ProbeState(SOCKET socket) {
    int listening = 0;
    socklen_t length = sizeof listening;
    if (::getsockopt(socket, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening) {
        return SocketState::Listening;
    }
    ::sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<::sockaddr*>(&peer), &peerLength) == 0) {
        return SocketState::Connected;
    }
    return SocketState::Unconnected;
}

}  // namespace

void Unregister(SOCKET socket) {
    std::unique_ptr<Registration> removed;
    {
        RegistryPart& part = RegistryOf(socket);
        std::lock_guard lock(part.mutex);
        const auto found = part.sockets.find(socket);
        if (found != part.sockets.end()) {
            removed = std::move(found->second);
            part.sockets.erase(found);
        }
    }
    // The notifiers are deleted outside the lock, on the owning thread.
}

bool RegistrationCurrent(SOCKET socket, std::uint64_t serial) {
    std::lock_guard lock(RegistryOf(socket).mutex);
    const Registration* registration = FindLocked(socket);
    return registration != nullptr && registration->serial == serial;
}

void ConnectStarted(SOCKET socket, bool completed) {
    std::lock_guard lock(RegistryOf(socket).mutex);
    Registration* registration = FindLocked(socket);
    if (registration == nullptr) {
        return;
    }
    registration->closePosted = false;
    registration->endReached = false;
    registration->resetError = 0;
    registration->readArmed = true;
    registration->readParked = false;
    if (completed) {
        // Completed at once; WinSock still reports the completion.
        registration->state = SocketState::Connected;
        Post(*registration, FD_CONNECT, 0);
        UpdateNotifiers(*registration);
        return;
    }
    registration->state = SocketState::Connecting;
    // A connect to a nearby host (loopback above all) has mostly ended by
    // now; posting its outcome at once spares switching the write notifier
    // on and off, each switch a wake-up of the thread's event loop.
    pollfd descriptor{socket, POLLOUT, 0};
    if (::poll(&descriptor, 1, 0) == 1 &&
        (descriptor.revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
        CompleteConnect(socket, registration);
    } else {
        UpdateNotifiers(*registration);
    }
}

void ListenStarted(SOCKET socket) {
    std::lock_guard lock(RegistryOf(socket).mutex);
    if (Registration* registration = FindLocked(socket)) {
        registration->state = SocketState::Listening;
        registration->readArmed = true;
        registration->readParked = false;
        UpdateNotifiers(*registration);
    }
}

int ReadTaken(SOCKET socket) {
    std::lock_guard lock(RegistryOf(socket).mutex);
    Registration* registration = FindLocked(socket);
    if (registration == nullptr) {
        return 0;
    }
    registration->readArmed = true;
    registration->readParked = false;
    UpdateNotifiers(*registration);
    return registration->resetError;
}

int WSAAsyncSelect(SOCKET socket, HWND window, UINT message, long events) {
    if (!Started()) {
        return SetError(WSANOTINITIALISED);
    }
    if (socket == INVALID_SOCKET) {
        return SetError(WSAENOTSOCK);
    }
    if (window == nullptr) {
        return SetError(WSAEINVAL);
    }
    // Notifications need the thread's event dispatcher; on a thread without
    // one (a plain std::thread) nothing would ever arrive and every wait on
    // the socket would go on for good.
    if (QAbstractEventDispatcher::instance(QThread::currentThread()) == nullptr) {
        return SetError(WSASYSNOTREADY);
    }
    int nonBlocking = 1;
    if (::ioctl(socket, FIONBIO, &nonBlocking) < 0) {
        return SetErrnoError();
    }
    auto registration = std::make_unique<Registration>();
    registration->socket = socket;
    registration->window = window;
    registration->message = message;
    registration->events = events;
    registration->state = ProbeState(socket);
    // Made off: a notifier made on registers with the dispatcher at once, and
    // every registration and removal wakes the thread's event loop.
    registration->readNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Read);
    registration->readNotifier->setSocket(socket);
    registration->writeNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Write);
    registration->writeNotifier->setSocket(socket);
    std::unique_ptr<Registration> replaced;
    {
        std::lock_guard lock(RegistryOf(socket).mutex);
        registration->serial = Registry().nextSerial++;
        const std::uint64_t serial = registration->serial;
        QObject::connect(registration->readNotifier.get(), &QSocketNotifier::activated,
                         registration->readNotifier.get(),
                         [socket, serial] { OnReadable(socket, serial); });
        QObject::connect(registration->writeNotifier.get(), &QSocketNotifier::activated,
                         registration->writeNotifier.get(),
                         [socket, serial] { OnWritable(socket, serial); });
        UpdateNotifiers(*registration);
        auto& slot = RegistryOf(socket).sockets[socket];
        replaced = std::move(slot);
        slot = std::move(registration);
    }
    return 0;
}

}  // namespace vornakle::winsock
