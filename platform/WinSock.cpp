// The WinSock layer's start-up, its errors and the socket calls, over POSIX
// sockets. The socket table, event delivery and address lookup have files
// of their own (WinSockInternal.h names them).

#include "platform/WinSockInternal.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

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

}  // namespace

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

bool Started() {
    return startupCount.load() > 0;
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

SOCKET socket(int af, int type, int protocol) {
    if (!Started()) {
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
    ConnectStarted(socket, result == 0);
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
    ListenStarted(socket);
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
    // Calling recv re-enables FD_READ, peeking included.
    const int resetError = ReadTaken(socket);
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
    ReadTaken(socket);
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
