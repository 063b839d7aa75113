// Asynchronous address lookup of the WinSock layer: the resolver runs on a
// helper thread, and its reply is laid out in the caller's buffer as
// WinSock does and posted to the window that asked.

#include "platform/WinSockInternal.h"

#include <QCoreApplication>
#include <QObject>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace vornakle::winsock {

namespace {

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

HANDLE StartLookup(HWND window, UINT message, const char* name, char* buffer, int bufferLength,
                   LookupResult result) {
    if (!Started()) {
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

bool TakeLookupReply(HANDLE task) {
    std::lock_guard lock(Lookups().mutex);
    return Lookups().live.erase(task) != 0;
}

}  // namespace vornakle::winsock
