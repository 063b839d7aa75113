#include "platform/WinSock.h"

// WinSock's option numbers, captured before the system headers below define
// macros of the same names with the system's own values.
namespace {
constexpr int kWinSockSolSocket = vornakle::winsock::SOL_SOCKET;
constexpr int kWinSockReuseAddress = vornakle::winsock::SO_REUSEADDR;
constexpr int kWinSockAcceptConnections = vornakle::winsock::SO_ACCEPTCONN;
constexpr int kWinSockLinger = vornakle::winsock::SO_LINGER;
constexpr int kWinSockSendBuffer = vornakle::winsock::SO_SNDBUF;
constexpr int kWinSockReceiveBuffer = vornakle::winsock::SO_RCVBUF;
constexpr int kWinSockIpProtocolTcp = vornakle::winsock::IPPROTO_TCP;
constexpr int kWinSockTcpNoDelay = vornakle::winsock::TCP_NODELAY;
constexpr int kWinSockPeek = vornakle::winsock::MSG_PEEK;
constexpr int kWinSockInet6 = vornakle::winsock::AF_INET6;
}  // namespace

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

namespace vornakle::winsock {

namespace {

// The version of the interface this layer offers: WinSock 1.1.
constexpr WORD kVersion11 = 0x0101;
// The largest IPv4 UDP payload: 65 535 minus the IP and UDP headers.
constexpr std::uint16_t kMaxUdpDatagram = 65507;
constexpr char kDescription[] = "Vornakle WinSock 1.1 over POSIX sockets";
constexpr char kSystemStatus[] = "Running";

thread_local int lastError = 0;
std::atomic<int> startupCount{0};

int SetError(int error) {
    lastError = error;
    return SOCKET_ERROR;
}

int MapErrno(int error) {
    switch (error) {
        case 0:
            return 0;
        case EINTR:
            return WSAEINTR;
        case EBADF:
            return WSAEBADF;
        case EACCES:
        case EPERM:
            return WSAEACCES;
        case EFAULT:
            return WSAEFAULT;
        case EINVAL:
            return WSAEINVAL;
        case EMFILE:
        case ENFILE:
            return WSAEMFILE;
        // A non-blocking connect under way is WinSock's "would block".
        case EAGAIN:
        case EINPROGRESS:
            return WSAEWOULDBLOCK;
        case EALREADY:
            return WSAEALREADY;
        case ENOTSOCK:
            return WSAENOTSOCK;
        case EDESTADDRREQ:
            return WSAEDESTADDRREQ;
        case EMSGSIZE:
            return WSAEMSGSIZE;
        case EPROTOTYPE:
            return WSAEPROTOTYPE;
        case ENOPROTOOPT:
            return WSAENOPROTOOPT;
        case EPROTONOSUPPORT:
            return WSAEPROTONOSUPPORT;
        case ESOCKTNOSUPPORT:
            return WSAESOCKTNOSUPPORT;
        case EOPNOTSUPP:
            return WSAEOPNOTSUPP;
        case EPFNOSUPPORT:
            return WSAEPFNOSUPPORT;
        case EAFNOSUPPORT:
            return WSAEAFNOSUPPORT;
        case EADDRINUSE:
            return WSAEADDRINUSE;
        case EADDRNOTAVAIL:
            return WSAEADDRNOTAVAIL;
        case ENETDOWN:
            return WSAENETDOWN;
        case ENETUNREACH:
            return WSAENETUNREACH;
        case ENETRESET:
            return WSAENETRESET;
        case ECONNABORTED:
            return WSAECONNABORTED;
        // Sending into a connection the peer has reset fails with EPIPE here;
        // WinSock reports the reset.
        case ECONNRESET:
        case EPIPE:
            return WSAECONNRESET;
        case ENOBUFS:
        case ENOMEM:
            return WSAENOBUFS;
        case EISCONN:
            return WSAEISCONN;
        case ENOTCONN:
            return WSAENOTCONN;
        case ESHUTDOWN:
            return WSAESHUTDOWN;
        case ETOOMANYREFS:
            return WSAETOOMANYREFS;
        case ETIMEDOUT:
            return WSAETIMEDOUT;
        case ECONNREFUSED:
            return WSAECONNREFUSED;
        case ELOOP:
            return WSAELOOP;
        case ENAMETOOLONG:
            return WSAENAMETOOLONG;
        case EHOSTDOWN:
            return WSAEHOSTDOWN;
        case EHOSTUNREACH:
            return WSAEHOSTUNREACH;
        case ENOTEMPTY:
            return WSAENOTEMPTY;
        case EUSERS:
            return WSAEUSERS;
        case EDQUOT:
            return WSAEDQUOT;
        case ESTALE:
            return WSAESTALE;
        case EREMOTE:
            return WSAEREMOTE;
        default:
            return kUnmappedErrorBase + error;
    }
}

int SetErrnoError() {
    return SetError(MapErrno(errno));
}

// The handle of a descriptor a system call returned (negative on failure,
// with errno set). A descriptor beyond the handle range cannot be told from
// INVALID_SOCKET, so it is closed and counts as too many open sockets.
SOCKET SocketOf(int descriptor) {
    if (descriptor < 0) {
        SetErrnoError();
        return INVALID_SOCKET;
    }
    if (descriptor >= INVALID_SOCKET) {
        ::close(descriptor);
        SetError(WSAEMFILE);
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(descriptor);
}

int MapResolverError(int error) {
    switch (error) {
        case EAI_NONAME:
            return WSAHOST_NOT_FOUND;
        case EAI_AGAIN:
            return WSATRY_AGAIN;
        case EAI_NODATA:
        case EAI_ADDRFAMILY:
            return WSANO_DATA;
        case EAI_MEMORY:
            return WSAENOBUFS;
        case EAI_SYSTEM:
            return MapErrno(errno);
        default:
            return WSANO_RECOVERY;
    }
}

// ---------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------
// Asynchronous host lookup.

// What a lookup helper needs to reach its window: cleared when the window is
// destroyed, so a late helper neither writes into the window owner's buffer
// nor posts to freed memory.
struct WindowAnchor {
    QObject* window = nullptr;
};

// The lookup table is never destroyed: a helper thread may still be inside
// the resolver when the program ends, and must find its mutex intact then.
struct LookupTable {
    std::mutex mutex;
    std::map<QObject*, std::shared_ptr<WindowAnchor>> anchors;
    std::set<HANDLE> live;
    HANDLE next = 1;
    HostResolver testResolver;
    LookupThreadStarter testStarter;
};

LookupTable& Lookups() {
    static LookupTable* const table = new LookupTable;
    return *table;
}

std::atomic<int> pendingLookups{0};

bool SameAddress(const SOCKADDR_INET& left, const SOCKADDR_INET& right) {
    if (left.si_family != right.si_family) {
        return false;
    }
    if (left.si_family == kWinSockInet6) {
        return std::memcmp(&left.Ipv6.sin6_addr, &right.Ipv6.sin6_addr, sizeof(in6_addr)) == 0 &&
               left.Ipv6.sin6_scope_id == right.Ipv6.sin6_scope_id;
    }
    return left.Ipv4.sin_addr.s_addr == right.Ipv4.sin_addr.s_addr;
}

// Both families, in the order getaddrinfo sorts them (RFC 6724), which is the
// order to try them in; the same address listed for several socket types
// counts once.
int SystemResolve(const std::string& name, std::vector<SOCKADDR_INET>& addresses) {
    ::addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ::addrinfo* results = nullptr;
    const int status = ::getaddrinfo(name.c_str(), nullptr, &hints, &results);
    if (status != 0) {
        return MapResolverError(status);
    }
    for (const ::addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
        SOCKADDR_INET address{};
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(::sockaddr_in)) {
            ::sockaddr_in found;
            std::memcpy(&found, entry->ai_addr, sizeof found);
            address.Ipv4.sin_family = AF_INET;
            address.Ipv4.sin_addr.s_addr = found.sin_addr.s_addr;
        } else if (entry->ai_family == AF_INET6 && entry->ai_addrlen >= sizeof(::sockaddr_in6)) {
            ::sockaddr_in6 found;
            std::memcpy(&found, entry->ai_addr, sizeof found);
            address.Ipv6.sin6_family = kWinSockInet6;
            std::memcpy(&address.Ipv6.sin6_addr, &found.sin6_addr, sizeof(in6_addr));
            address.Ipv6.sin6_scope_id = found.sin6_scope_id;
        } else {
            continue;
        }
        if (std::none_of(addresses.begin(), addresses.end(),
                         [&](const SOCKADDR_INET& known) { return SameAddress(known, address); })) {
            addresses.push_back(address);
        }
    }
    ::freeaddrinfo(results);
    return addresses.empty() ? WSANO_DATA : 0;
}

// Lays out a host entry the way WinSock does: the record first, then the
// address pointer list, the addresses and the name, all inside the caller's
// buffer. Returns 0 or WSAENOBUFS.
int WriteHostEntry(const std::string& name, const std::vector<SOCKADDR_INET>& found, char* buffer,
                   int bufferLength) {
    // A host entry has one address family, and WinSock 1.1's is IPv4.
    std::vector<std::uint32_t> addresses;
    for (const SOCKADDR_INET& address : found) {
        if (address.si_family == AF_INET) {
            addresses.push_back(address.Ipv4.sin_addr.s_addr);
        }
    }
    if (addresses.empty()) {
        return WSANO_DATA;
    }
    const std::size_t pointerBytes = (addresses.size() + 1) * sizeof(char*);
    const std::size_t needed = sizeof(hostent) + sizeof(char*) + pointerBytes +
                               addresses.size() * sizeof(std::uint32_t) + name.size() + 1;
    if (bufferLength < 0 || needed > static_cast<std::size_t>(bufferLength)) {
        return WSAENOBUFS;
    }
    char* aliases = buffer + sizeof(hostent);
    char* pointerList = aliases + sizeof(char*);
    char* addressBytes = pointerList + pointerBytes;
    char* nameBytes = addressBytes + addresses.size() * sizeof(std::uint32_t);

    char* const noAlias = nullptr;
    std::memcpy(aliases, &noAlias, sizeof noAlias);
    for (std::size_t index = 0; index < addresses.size(); ++index) {
        char* target = addressBytes + index * sizeof(std::uint32_t);
        std::memcpy(target, &addresses[index], sizeof(std::uint32_t));
        std::memcpy(pointerList + index * sizeof(char*), &target, sizeof target);
    }
    std::memcpy(pointerList + addresses.size() * sizeof(char*), &noAlias, sizeof noAlias);
    std::memcpy(nameBytes, name.c_str(), name.size() + 1);

    hostent entry{};
    entry.h_name = nameBytes;
    entry.h_aliases = reinterpret_cast<char**>(aliases);
    entry.h_addrtype = AF_INET;
    entry.h_length = sizeof(std::uint32_t);
    entry.h_addr_list = reinterpret_cast<char**>(pointerList);
    std::memcpy(buffer, &entry, sizeof entry);
    return 0;
}

// Lays out the addresses as a chain of addrinfo records, each followed by its
// address record, as many as fit into the caller's buffer. Returns 0 or
// WSAENOBUFS when not even the first fits.
int WriteAddressChain(const std::vector<SOCKADDR_INET>& addresses, char* buffer, int bufferLength) {
    constexpr std::size_t kAlignment = alignof(addrinfo);
    const auto alignedSize = [](std::size_t size) {
        return (size + kAlignment - 1) / kAlignment * kAlignment;
    };
    std::size_t used = 0;
    char* previousNext = nullptr;
    for (const SOCKADDR_INET& address : addresses) {
        const std::size_t addressLength =
            address.si_family == kWinSockInet6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        const std::size_t recordLength = alignedSize(sizeof(addrinfo) + addressLength);
        if (bufferLength < 0 || used + recordLength > static_cast<std::size_t>(bufferLength)) {
            break;
        }
        char* record = buffer + used;
        char* addressBytes = record + sizeof(addrinfo);
        std::memcpy(addressBytes, &address, addressLength);
        addrinfo entry{};
        entry.ai_family = address.si_family;
        entry.ai_socktype = SOCK_STREAM;
        entry.ai_protocol = kWinSockIpProtocolTcp;
        entry.ai_addrlen = addressLength;
        entry.ai_addr = reinterpret_cast<sockaddr*>(addressBytes);
        std::memcpy(record, &entry, sizeof entry);
        if (previousNext != nullptr) {
            std::memcpy(previousNext, &record, sizeof record);
        }
        previousNext = record + offsetof(addrinfo, ai_next);
        used += recordLength;
    }
    return used == 0 ? WSAENOBUFS : 0;
}

// What a lookup writes into its buffer.
enum class LookupResult { HostEntry, AddressChain };

std::shared_ptr<WindowAnchor> AnchorForLocked(QObject* window) {
    auto& anchor = Lookups().anchors[window];
    if (!anchor) {
        anchor = std::make_shared<WindowAnchor>();
        anchor->window = window;
        QObject::connect(
            window, &QObject::destroyed, window,
            [window] {
                std::lock_guard lock(Lookups().mutex);
                const auto found = Lookups().anchors.find(window);
                if (found != Lookups().anchors.end()) {
                    found->second->window = nullptr;
                    Lookups().anchors.erase(found);
                }
            },
            Qt::DirectConnection);
    }
    return anchor;
}

void RunLookup(HANDLE task, std::shared_ptr<WindowAnchor> anchor, UINT message, std::string name,
               char* buffer, int bufferLength, HostResolver resolver, LookupResult result) {
    std::vector<SOCKADDR_INET> addresses;
    int error = 0;
    try {
        error = resolver ? resolver(name, addresses) : SystemResolve(name, addresses);
    } catch (...) {
        error = WSANO_RECOVERY;
    }
    {
        std::lock_guard lock(Lookups().mutex);
        if (anchor->window != nullptr && Lookups().live.count(task) != 0) {
            if (error == 0) {
                error = result == LookupResult::HostEntry
                            ? WriteHostEntry(name, addresses, buffer, bufferLength)
                            : WriteAddressChain(addresses, buffer, bufferLength);
            }
            QCoreApplication::postEvent(
                anchor->window,
                new MessageEvent(message, task,
                                 WSAMAKEASYNCREPLY(error == 0 ? bufferLength : 0, error),
                                 MessageEvent::Origin::HostLookup, task));
        } else {
            Lookups().live.erase(task);
        }
    }
    --pendingLookups;
}

}  // namespace

// ---------------------------------------------------------------------------

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
        case Origin::SocketEvent: {
            const auto socket = static_cast<SOCKET>(wParam_);
            std::lock_guard lock(RegistryOf(socket).mutex);
            const Registration* registration = FindLocked(socket);
            return registration != nullptr && registration->serial == ticket_;
        }
        case Origin::HostLookup: {
            std::lock_guard lock(Lookups().mutex);
            return Lookups().live.erase(static_cast<HANDLE>(ticket_)) != 0;
        }
    }
    return false;
}

void PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr) {
        QCoreApplication::postEvent(window, new MessageEvent(message, wParam, lParam));
    }
}

int WSAStartup(WORD versionRequested, WSADATA* data) {
    const int major = versionRequested & 0xFF;
    const int minor = (versionRequested >> 8) & 0xFF;
    if (major < 1 || (major == 1 && minor < 1)) {
        return WSAVERNOTSUPPORTED;
    }
    if (data == nullptr) {
        return WSAEFAULT;
    }
    *data = WSADATA{};
    data->wVersion = kVersion11;
    data->wHighVersion = kVersion11;
    std::strncpy(data->szDescription, kDescription, WSADESCRIPTION_LEN);
    std::strncpy(data->szSystemStatus, kSystemStatus, WSASYS_STATUS_LEN);
    // Handles are kept in 16 bits, 65 535 being the invalid one, so no more
    // sockets than that can be told apart, whatever the process limit is.
    ::rlimit limit{};
    rlim_t maxSockets = INVALID_SOCKET - 1;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < maxSockets) {
        maxSockets = limit.rlim_cur;
    }
    data->iMaxSockets = static_cast<std::uint16_t>(maxSockets);
    data->iMaxUdpDg = kMaxUdpDatagram;
    ++startupCount;
    return 0;
}

int WSACleanup() {
    int count = startupCount.load();
    while (count > 0) {
        if (startupCount.compare_exchange_weak(count, count - 1)) {
            return 0;
        }
    }
    return SetError(WSANOTINITIALISED);
}

int WSAGetLastError() {
    return lastError;
}

void WSASetLastError(int error) {
    lastError = error;
}

int StartupCount() {
    return startupCount.load();
}

int WSAAsyncSelect(SOCKET socket, HWND window, UINT message, long events) {
    if (startupCount.load() == 0) {
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

namespace {

HANDLE StartLookup(HWND window, UINT message, const char* name, char* buffer, int bufferLength,
                   LookupResult result) {
    if (startupCount.load() == 0) {
        SetError(WSANOTINITIALISED);
        return 0;
    }
    if (window == nullptr || name == nullptr || buffer == nullptr) {
        SetError(WSAEINVAL);
        return 0;
    }
    HANDLE task = 0;
    std::shared_ptr<WindowAnchor> anchor;
    HostResolver resolver;
    LookupThreadStarter starter;
    {
        std::lock_guard lock(Lookups().mutex);
        task = Lookups().next++;
        anchor = AnchorForLocked(window);
        Lookups().live.insert(task);
        resolver = Lookups().testResolver;
        starter = Lookups().testStarter;
    }
    ++pendingLookups;
    try {
        std::function<void()> body = [task, anchor, message, lookedUp = std::string(name), buffer,
                                      bufferLength, resolver, result] {
            RunLookup(task, anchor, message, lookedUp, buffer, bufferLength, resolver, result);
        };
        if (starter) {
            starter(std::move(body));
        } else {
            std::thread(std::move(body)).detach();
        }
    } catch (const std::exception&) {
        --pendingLookups;
        std::lock_guard lock(Lookups().mutex);
        Lookups().live.erase(task);
        SetError(WSAENOBUFS);
        return 0;
    }
    return task;
}

}  // namespace

HANDLE WSAAsyncGetHostByName(HWND window, UINT message, const char* name, char* buffer,
                             int bufferLength) {
    return StartLookup(window, message, name, buffer, bufferLength, LookupResult::HostEntry);
}

HANDLE WSAAsyncGetAddrInfo(HWND window, UINT message, const char* name, char* buffer,
                           int bufferLength) {
    return StartLookup(window, message, name, buffer, bufferLength, LookupResult::AddressChain);
}

int WSACancelAsyncRequest(HANDLE task) {
    std::lock_guard lock(Lookups().mutex);
    if (Lookups().live.erase(task) == 0) {
        return SetError(WSAEINVAL);
    }
    return 0;
}

void SetHostResolverForTesting(HostResolver resolver) {
    std::lock_guard lock(Lookups().mutex);
    Lookups().testResolver = std::move(resolver);
}

void SetLookupThreadStarterForTesting(LookupThreadStarter starter) {
    std::lock_guard lock(Lookups().mutex);
    Lookups().testStarter = std::move(starter);
}

int PendingHostLookups() {
    return pendingLookups.load();
}

SOCKET socket(int af, int type, int protocol) {
    if (startupCount.load() == 0) {
        SetError(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    if (af != AF_INET && af != kWinSockInet6) {
        SetError(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != SOCK_STREAM) {
        SetError(WSAESOCKTNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (protocol != 0 && protocol != kWinSockIpProtocolTcp) {
        SetError(WSAEPROTONOSUPPORT);
        return INVALID_SOCKET;
    }
    return SocketOf(::socket(af == kWinSockInet6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC,
                             IPPROTO_TCP));
}

int setsockopt(SOCKET socket, int level, int name, const char* value, int length) {
    if (value == nullptr) {
        return SetError(WSAEFAULT);
    }
    int systemLevel = 0;
    int systemName = 0;
    if (level == kWinSockSolSocket && name == kWinSockLinger) {
        if (length < static_cast<int>(sizeof(linger))) {
            return SetError(WSAEFAULT);
        }
        linger ours;
        std::memcpy(&ours, value, sizeof ours);
        ::linger theirs{ours.l_onoff, ours.l_linger};
        if (::setsockopt(socket, SOL_SOCKET, SO_LINGER, &theirs, sizeof theirs) != 0) {
            return SetErrnoError();
        }
        return 0;
    }
    if (level == kWinSockSolSocket && name == kWinSockReuseAddress) {
        systemLevel = SOL_SOCKET;
        systemName = SO_REUSEADDR;
    } else if (level == kWinSockSolSocket && name == kWinSockSendBuffer) {
        systemLevel = SOL_SOCKET;
        systemName = SO_SNDBUF;
    } else if (level == kWinSockSolSocket && name == kWinSockReceiveBuffer) {
        systemLevel = SOL_SOCKET;
        systemName = SO_RCVBUF;
    } else if (level == kWinSockIpProtocolTcp && name == kWinSockTcpNoDelay) {
        systemLevel = IPPROTO_TCP;
        systemName = TCP_NODELAY;
    } else {
        return SetError(WSAENOPROTOOPT);
    }
    if (length < static_cast<int>(sizeof(int))) {
        return SetError(WSAEFAULT);
    }
    int option = 0;
    std::memcpy(&option, value, sizeof option);
    if (::setsockopt(socket, systemLevel, systemName, &option, sizeof option) != 0) {
        return SetErrnoError();
    }
    return 0;
}

int getsockopt(SOCKET socket, int level, int name, char* value, int* length) {
    if (value == nullptr || length == nullptr || *length < static_cast<int>(sizeof(int))) {
        return SetError(WSAEFAULT);
    }
    if (level != kWinSockSolSocket || name != kWinSockAcceptConnections) {
        return SetError(WSAENOPROTOOPT);
    }
    int option = 0;
    socklen_t optionLength = sizeof option;
    if (::getsockopt(socket, SOL_SOCKET, SO_ACCEPTCONN, &option, &optionLength) != 0) {
        return SetErrnoError();
    }
    std::memcpy(value, &option, sizeof option);
    *length = sizeof option;
    return 0;
}

namespace {

// The system's record of a WinSock address of either family; its length, 0
// when name is no address record of a known family or too short for one.
socklen_t ToSystemAddress(const sockaddr* name, int length, ::sockaddr_storage& address) {
    address = ::sockaddr_storage{};
    if (name == nullptr || length < static_cast<int>(sizeof(sockaddr_in))) {
        return 0;
    }
    std::int16_t family = 0;
    std::memcpy(&family, name, sizeof family);
    if (family == kWinSockInet6) {
        if (length < static_cast<int>(sizeof(sockaddr_in6))) {
            return 0;
        }
        sockaddr_in6 ours;
        std::memcpy(&ours, name, sizeof ours);
        ::sockaddr_in6 theirs{};
        theirs.sin6_family = AF_INET6;
        theirs.sin6_port = ours.sin6_port;
        theirs.sin6_flowinfo = ours.sin6_flowinfo;
        std::memcpy(&theirs.sin6_addr, &ours.sin6_addr, sizeof theirs.sin6_addr);
        theirs.sin6_scope_id = ours.sin6_scope_id;
        std::memcpy(&address, &theirs, sizeof theirs);
        return sizeof theirs;
    }
    sockaddr_in ours;
    std::memcpy(&ours, name, sizeof ours);
    ::sockaddr_in theirs{};
    theirs.sin_family = static_cast<sa_family_t>(ours.sin_family);
    theirs.sin_port = ours.sin_port;
    theirs.sin_addr.s_addr = ours.sin_addr.s_addr;
    std::memcpy(&address, &theirs, sizeof theirs);
    return sizeof theirs;
}

// Writes the WinSock record of a system address into name when *length has
// room for it; the length written goes to *length.
void FromSystemAddress(const ::sockaddr_storage& address, sockaddr* name, int* length) {
    if (name == nullptr || length == nullptr) {
        return;
    }
    if (address.ss_family == AF_INET6) {
        if (*length < static_cast<int>(sizeof(sockaddr_in6))) {
            return;
        }
        ::sockaddr_in6 theirs;
        std::memcpy(&theirs, &address, sizeof theirs);
        sockaddr_in6 ours{};
        ours.sin6_family = kWinSockInet6;
        ours.sin6_port = theirs.sin6_port;
        ours.sin6_flowinfo = theirs.sin6_flowinfo;
        std::memcpy(&ours.sin6_addr, &theirs.sin6_addr, sizeof ours.sin6_addr);
        ours.sin6_scope_id = theirs.sin6_scope_id;
        std::memcpy(name, &ours, sizeof ours);
        *length = sizeof ours;
        return;
    }
    if (*length < static_cast<int>(sizeof(sockaddr_in))) {
        return;
    }
    ::sockaddr_in theirs;
    std::memcpy(&theirs, &address, sizeof theirs);
    sockaddr_in ours{};
    ours.sin_family = static_cast<std::int16_t>(theirs.sin_family);
    ours.sin_port = theirs.sin_port;
    ours.sin_addr.s_addr = theirs.sin_addr.s_addr;
    std::memcpy(name, &ours, sizeof ours);
    *length = sizeof ours;
}

}  // namespace

int connect(SOCKET socket, const sockaddr* name, int length) {
    if (socket == INVALID_SOCKET) {
        return SetError(WSAENOTSOCK);
    }
    ::sockaddr_storage address;
    const socklen_t addressLength = ToSystemAddress(name, length, address);
    if (addressLength == 0) {
        return SetError(WSAEFAULT);
    }
    if (address.ss_family != AF_INET && address.ss_family != AF_INET6) {
        return SetError(WSAEAFNOSUPPORT);
    }
    const int result =
        ::connect(socket, reinterpret_cast<const ::sockaddr*>(&address), addressLength);
    const int error = result == 0 ? 0 : errno;
    if (result != 0 && error != EINPROGRESS) {
        return SetError(MapErrno(error));
    }
    std::lock_guard lock(RegistryOf(socket).mutex);
    if (Registration* registration = FindLocked(socket)) {
        registration->closePosted = false;
        registration->endReached = false;
        registration->resetError = 0;
        registration->readArmed = true;
        registration->readParked = false;
        if (result == 0) {
            // Completed at once; WinSock still reports the completion.
            registration->state = SocketState::Connected;
            Post(*registration, FD_CONNECT, 0);
            UpdateNotifiers(*registration);
        } else {
            registration->state = SocketState::Connecting;
            // A connect to a nearby host (loopback above all) has mostly
            // ended by now; posting its outcome at once spares switching the
            // write notifier on and off, each switch a wake-up of the
            // thread's event loop.
            pollfd descriptor{socket, POLLOUT, 0};
            if (::poll(&descriptor, 1, 0) == 1 &&
                (descriptor.revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
                CompleteConnect(socket, registration);
            } else {
                UpdateNotifiers(*registration);
            }
        }
    }
    return result == 0 ? 0 : SetError(WSAEWOULDBLOCK);
}

int bind(SOCKET socket, const sockaddr* name, int length) {
    ::sockaddr_storage address;
    const socklen_t addressLength = ToSystemAddress(name, length, address);
    if (addressLength == 0) {
        return SetError(WSAEFAULT);
    }
    if (::bind(socket, reinterpret_cast<const ::sockaddr*>(&address), addressLength) != 0) {
        return SetErrnoError();
    }
    return 0;
}

int listen(SOCKET socket, int backlog) {
    if (::listen(socket, backlog) != 0) {
        return SetErrnoError();
    }
    std::lock_guard lock(RegistryOf(socket).mutex);
    if (Registration* registration = FindLocked(socket)) {
        registration->state = SocketState::Listening;
        registration->readArmed = true;
        registration->readParked = false;
        UpdateNotifiers(*registration);
    }
    return 0;
}

int getsockname(SOCKET socket, sockaddr* name, int* length) {
    ::sockaddr_storage address{};
    socklen_t addressLength = sizeof address;
    if (::getsockname(socket, reinterpret_cast<::sockaddr*>(&address), &addressLength) != 0) {
        return SetErrnoError();
    }
    const int needed = address.ss_family == AF_INET6 ? static_cast<int>(sizeof(sockaddr_in6))
                                                     : static_cast<int>(sizeof(sockaddr_in));
    if (name == nullptr || length == nullptr || *length < needed) {
        return SetError(WSAEFAULT);
    }
    FromSystemAddress(address, name, length);
    return 0;
}

int closesocket(SOCKET socket) {
    if (socket == INVALID_SOCKET) {
        return SetError(WSAENOTSOCK);
    }
    Unregister(socket);
    if (::close(socket) != 0) {
        return SetErrnoError();
    }
    return 0;
}

int send(SOCKET socket, const char* data, int length, int flags) {
    if (socket == INVALID_SOCKET) {
        return SetError(WSAENOTSOCK);
    }
    if (length < 0 || (data == nullptr && length > 0)) {
        return SetError(WSAEFAULT);
    }
    if (flags != 0) {
        return SetError(WSAEOPNOTSUPP);
    }
    // No SIGPIPE: a peer that has gone is an error to report, not a reason
    // for the process to end.
    const ssize_t sent = ::send(socket, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (sent < 0) {
        return SetErrnoError();
    }
    return static_cast<int>(sent);
}

int recv(SOCKET socket, char* data, int length, int flags) {
    if (socket == INVALID_SOCKET) {
        return SetError(WSAENOTSOCK);
    }
    if (length < 0 || (data == nullptr && length > 0)) {
        return SetError(WSAEFAULT);
    }
    if ((flags & ~kWinSockPeek) != 0) {
        return SetError(WSAEOPNOTSUPP);
    }
    int resetError = 0;
    {
        std::lock_guard lock(RegistryOf(socket).mutex);
        if (Registration* registration = FindLocked(socket)) {
            // Calling recv re-enables FD_READ, peeking included.
            registration->readArmed = true;
            registration->readParked = false;
            resetError = registration->resetError;
            UpdateNotifiers(*registration);
        }
    }
    const int systemFlags = (flags & kWinSockPeek) ? MSG_PEEK : 0;
    const ssize_t received = ::recv(socket, data, static_cast<std::size_t>(length), systemFlags);
    if (received < 0) {
        return SetErrnoError();
    }
    if (received == 0 && resetError != 0 && length > 0) {
        return SetError(resetError);
    }
    return static_cast<int>(received);
}

SOCKET accept(SOCKET socket, sockaddr* address, int* length) {
    {
        std::lock_guard lock(RegistryOf(socket).mutex);
        if (Registration* registration = FindLocked(socket)) {
            registration->readArmed = true;
            registration->readParked = false;
            UpdateNotifiers(*registration);
        }
    }
    ::sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    const SOCKET accepted = SocketOf(
        ::accept4(socket, reinterpret_cast<::sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC));
    if (accepted != INVALID_SOCKET) {
        FromSystemAddress(peer, address, length);
    }
    return accepted;
}

std::uint32_t inet_addr(const char* text) {
    if (text == nullptr) {
        return INADDR_NONE;
    }
    return ::inet_addr(text);
}

int inet_pton(int family, const char* text, void* address) {
    if (text == nullptr || address == nullptr) {
        return 0;
    }
    if (family == kWinSockInet6) {
        return ::inet_pton(AF_INET6, text, address) == 1 ? 1 : 0;
    }
    if (family == AF_INET) {
        return ::inet_pton(AF_INET, text, address) == 1 ? 1 : 0;
    }
    return 0;
}

SOCKADDR_INET NumericAddress(const std::string& text) {
    SOCKADDR_INET address{};
    // An IPv6 address may come in the brackets a URL writes it in (RFC 3986
    // section 3.2.2).
    const bool bracketed = text.size() > 2 && text.front() == '[' && text.back() == ']';
    const std::string inner = bracketed ? text.substr(1, text.size() - 2) : text;
    if (!bracketed && (inet_pton)(AF_INET, inner.c_str(), &address.Ipv4.sin_addr) == 1) {
        address.Ipv4.sin_family = AF_INET;
    } else if ((inet_pton)(kWinSockInet6, inner.c_str(), &address.Ipv6.sin6_addr) == 1) {
        address.Ipv6.sin6_family = kWinSockInet6;
    }
    return address;
}

// Parenthesised: the system may define htons and ntohs as macros.
std::uint16_t(htons)(std::uint16_t value) {
    return (::htons)(value);
}

std::uint16_t(ntohs)(std::uint16_t value) {
    return (::ntohs)(value);
}

int WaitWritable(SOCKET socket, int timeoutMilliseconds) {
    pollfd descriptor{socket, POLLOUT, 0};
    int result = 0;
    do {
        result = ::poll(&descriptor, 1, timeoutMilliseconds);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        return SetErrnoError();
    }
    return result > 0 ? 1 : 0;
}

}  // namespace vornakle::winsock
