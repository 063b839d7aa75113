#pragma once

// The WinSock 1.1 interface the socket component is written against, carried
// over to POSIX sockets. It keeps WinSock's names, error numbers and its
// window-message mode, so that the component reads like a WinSock program:
// socket events and host lookup completions are posted as messages to a
// hidden window (a QObject) on the thread that owns it.
//
// This header deliberately includes no system socket header: several of the
// names below (AF_INET, SOL_SOCKET, htons) are macros there, and WinSock's
// values differ from the system's for some of them.

#include <QEvent>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace vornakle::winsock {

using WORD = std::uint16_t;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
// A hidden window: the object that receives posted messages.
using HWND = QObject*;
// The task handle of an asynchronous host lookup; 0 when none was started.
using HANDLE = std::uintptr_t;
// A socket is its file descriptor, kept in 16 bits as the component stores it.
using SOCKET = std::uint16_t;

inline constexpr SOCKET INVALID_SOCKET = 0xFFFF;
inline constexpr int SOCKET_ERROR = -1;

inline constexpr int AF_UNSPEC = 0;
inline constexpr int AF_INET = 2;
// WinSock 2's number for IPv6; WinSock 1.1 knew only IPv4.
inline constexpr int AF_INET6 = 23;
inline constexpr int SOCK_STREAM = 1;
inline constexpr int IPPROTO_TCP = 6;
inline constexpr int SOL_SOCKET = 0xFFFF;
inline constexpr int SO_REUSEADDR = 0x0004;
inline constexpr int SO_ACCEPTCONN = 0x0002;
inline constexpr int SO_LINGER = 0x0080;
inline constexpr int SO_SNDBUF = 0x1001;
inline constexpr int SO_RCVBUF = 0x1002;
inline constexpr int TCP_NODELAY = 0x0001;
inline constexpr int MSG_PEEK = 0x2;
inline constexpr std::uint32_t INADDR_NONE = 0xFFFFFFFF;
inline constexpr std::uint32_t INADDR_ANY = 0;
inline constexpr int MAXGETHOSTSTRUCT = 1024;
inline constexpr int WSADESCRIPTION_LEN = 256;
inline constexpr int WSASYS_STATUS_LEN = 128;

// Socket events of WSAAsyncSelect.
inline constexpr long FD_READ = 0x01;
inline constexpr long FD_WRITE = 0x02;
inline constexpr long FD_OOB = 0x04;
inline constexpr long FD_ACCEPT = 0x08;
inline constexpr long FD_CONNECT = 0x10;
inline constexpr long FD_CLOSE = 0x20;

// WinSock's error numbers.
inline constexpr int WSABASEERR = 10000;
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEPROCLIM = 10067;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;
// An errno without a WinSock counterpart is reported as this base plus the
// errno, which no WinSock number uses, so it shows as an unknown error
// instead of being mistaken for a known one.
inline constexpr int kUnmappedErrorBase = 20000;

struct in_addr {
    std::uint32_t s_addr;  // network byte order
};

struct sockaddr {
    std::uint16_t sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    std::int16_t sin_family;
    std::uint16_t sin_port;  // network byte order
    in_addr sin_addr;
    char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == 16, "WinSock's IPv4 address record has 16 bytes");

struct in6_addr {
    std::uint8_t s6_addr[16];
};

// WinSock 2's IPv6 address record.
struct sockaddr_in6 {
    std::int16_t sin6_family;
    std::uint16_t sin6_port;  // network byte order
    std::uint32_t sin6_flowinfo;
    in6_addr sin6_addr;
    std::uint32_t sin6_scope_id;
};
static_assert(sizeof(sockaddr_in6) == 28, "WinSock's IPv6 address record has 28 bytes");

// An address of either family (WinSock 2's SOCKADDR_INET); si_family tells
// which member holds it.
union SOCKADDR_INET {
    sockaddr_in Ipv4;
    sockaddr_in6 Ipv6;
    std::int16_t si_family;
};

// One address of a lookup's result (WinSock 2's ADDRINFOA).
struct addrinfo {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    std::size_t ai_addrlen;
    char* ai_canonname;
    sockaddr* ai_addr;
    addrinfo* ai_next;
};

struct linger {
    std::uint16_t l_onoff;
    std::uint16_t l_linger;
};

struct hostent {
    char* h_name;
    char** h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char** h_addr_list;
};

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    std::uint16_t iMaxSockets;
    std::uint16_t iMaxUdpDg;
    char* lpVendorInfo;
};

// lParam of a socket event: the event in the low, the error in the high half.
inline constexpr LPARAM WSAMAKESELECTREPLY(long event, int error) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(error & 0xFFFF) << 16) |
                               static_cast<std::uint32_t>(event & 0xFFFF));
}
// lParam of a lookup completion: the buffer length in the low, the error in
// the high half.
inline constexpr LPARAM WSAMAKEASYNCREPLY(int bufferLength, int error) {
    return WSAMAKESELECTREPLY(bufferLength, error);
}
inline constexpr int WSAGETSELECTEVENT(LPARAM lParam) {
    return static_cast<int>(lParam & 0xFFFF);
}
inline constexpr int WSAGETSELECTERROR(LPARAM lParam) {
    return static_cast<int>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFF);
}

// A window message posted to a hidden window: the message number and its two
// parameters. Socket events and lookup completions of sockets or lookups that
// have since been closed or cancelled are stale; a window asks Deliverable()
// before acting on one, so that a late event of a closed socket can never act
// on the fresh socket that may have received the same descriptor number.
class MessageEvent : public QEvent {
public:
    enum class Origin { Posted, SocketEvent, HostLookup };

    MessageEvent(UINT message, WPARAM wParam, LPARAM lParam, Origin origin = Origin::Posted,
                 std::uint64_t ticket = 0);

    static QEvent::Type EventType();
    MessageEvent* clone() const override { return new MessageEvent(*this); }

    UINT Message() const { return message_; }
    WPARAM WParam() const { return wParam_; }
    LPARAM LParam() const { return lParam_; }

    // False when the socket registration or the lookup this event belongs to
    // has ended since it was posted. A lookup completion is retired by the
    // call, so it is delivered at most once.
    bool Deliverable() const;

private:
    UINT message_;
    WPARAM wParam_;
    LPARAM lParam_;
    Origin origin_;
    std::uint64_t ticket_;
};

// Posts a message to a hidden window (the system's PostMessage).
void PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

// Asks for socket events as messages to a window; makes the socket
// non-blocking. Events follow WinSock's re-enabling rule: after FD_READ is
// posted no further FD_READ is posted until recv is called on the socket (the
// same for FD_ACCEPT and accept); FD_CONNECT and FD_CLOSE are posted once.
// Must be called on the thread the window lives on, which must run a Qt event
// dispatcher (the main thread or a QThread).
int WSAAsyncSelect(SOCKET socket, HWND window, UINT message, long events);

// Looks a host name up on a helper thread. On completion the host entry is
// written into buffer and message is posted to the window, the error in the
// high 16 bits of lParam. A lookup whose window is gone by then, or that was
// cancelled, writes nothing and posts nothing. Returns 0 when no lookup could
// be started (error in WSAGetLastError).
HANDLE WSAAsyncGetHostByName(HWND window, UINT message, const char* name, char* buffer,
                             int bufferLength);
// The same for addresses of both families, IPv6 and IPv4 in the resolver's
// order (the order of RFC 6724 that getaddrinfo gives): on completion buffer
// holds a chain of addrinfo records with their addresses, as many as fit
// (the first one always does in a buffer of MAXGETHOSTSTRUCT bytes).
HANDLE WSAAsyncGetAddrInfo(HWND window, UINT message, const char* name, char* buffer,
                           int bufferLength);
int WSACancelAsyncRequest(HANDLE task);

SOCKET socket(int af, int type, int protocol);
int setsockopt(SOCKET socket, int level, int name, const char* value, int length);
int getsockopt(SOCKET socket, int level, int name, char* value, int* length);
int connect(SOCKET socket, const sockaddr* name, int length);
int bind(SOCKET socket, const sockaddr* name, int length);
int listen(SOCKET socket, int backlog);
int getsockname(SOCKET socket, sockaddr* name, int* length);
int closesocket(SOCKET socket);
int send(SOCKET socket, const char* data, int length, int flags);
int recv(SOCKET socket, char* data, int length, int flags);
SOCKET accept(SOCKET socket, sockaddr* address, int* length);
std::uint32_t inet_addr(const char* text);
// A numeric address of family (AF_INET or AF_INET6) into address (an
// in_addr or in6_addr): 1 when text is one, 0 when it is not.
int inet_pton(int family, const char* text, void* address);
std::uint16_t htons(std::uint16_t value);
std::uint16_t ntohs(std::uint16_t value);

// Stands in for select() on one socket: waits up to timeoutMilliseconds until
// the socket can take more data. Returns 1 when it can, 0 on time-out and
// SOCKET_ERROR on failure.
int WaitWritable(SOCKET socket, int timeoutMilliseconds);

// Number of WSAStartup calls not yet matched by WSACleanup.
int StartupCount();

// The resolver behind WSAAsyncGetHostByName and WSAAsyncGetAddrInfo: fills the
// addresses of a name (their ports 0) in the order to try them and returns 0,
// or returns a WinSock error number. Tests replace it to hold a lookup open,
// make it fail or give a name addresses of both families; an empty function
// restores the system resolver.
using HostResolver =
    std::function<int(const std::string& name, std::vector<SOCKADDR_INET>& addresses)>;
// An address record of a numeric address of either family (port 0), an
// IPv6 one also in brackets ("[::1]"); one whose family is AF_UNSPEC when
// text is none.
SOCKADDR_INET NumericAddress(const std::string& text);
void SetHostResolverForTesting(HostResolver resolver);
// Starts the helper thread of a lookup with its body. Tests replace it to make
// the start fail the way std::thread fails when the system has no thread left
// (by throwing std::system_error); an empty function restores std::thread.
using LookupThreadStarter = std::function<void(std::function<void()> body)>;
void SetLookupThreadStarterForTesting(LookupThreadStarter starter);
// Number of lookup helper threads that have not finished yet.
int PendingHostLookups();

}  // namespace vornakle::winsock
