#include "net/TcpSocket.h"

#include "net/TransferSupport.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstring>
#include <iterator>

namespace vornakle {

namespace {

struct ErrorText {
    std::int32_t Number;
    const char* Text;
};

// WinSock's error numbers and their texts. The last entry can never match:
// error 0 is not looked up.
constexpr ErrorText kErrorTexts[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
    {0, "Unrecognized error code"},
};
static_assert(std::size(kErrorTexts) == 51);

constexpr std::uint16_t kWinSockVersion11 = 0x0101;

std::string VersionText(std::uint16_t version) {
    // The major version is the low byte of the version word.
    return std::to_string(version & 0xFF) + "." + std::to_string((version >> 8) & 0xFF);
}

std::string BoundedText(const char* text, std::size_t capacity) {
    return std::string(text, strnlen(text, capacity));
}

}  // namespace

std::mutex TTcpSocket::WinsockUsersMutex;
int TTcpSocket::WinsockUsersCount = 0;

TTcpSocket::TTcpSocket(QObject* Owner) : QObject(Owner) {
    ReportStatus(kReportDetail, "Create");
    WindowHandle = AllocateSocketWindow(this);
    Proxy.clear();
    HostEntryBuffer = std::make_unique<HostEntryStorage>();
    Timer = std::make_unique<TThreadTimer>(this);
    Timer->SetEnabled(false);
    Timer->SetOnTimer([this](QObject* Sender) { TimerTriggered(Sender); });
    TimeOut = 0;
    Canceled = false;
    Destroying = false;
    Connected = false;
    InitializeWinsock();
}

TTcpSocket::~TTcpSocket() {
    ComponentDestroying = true;
    ReportStatus(kReportDetail, "Destroy");
    try {
        // A descendant's Abort has already been destroyed here; a descendant
        // that needs its own Abort at destruction calls it in its destructor.
        Abort();
        Cancel();
    } catch (...) {
    }
    // The window goes first: once it is gone, a host lookup still running on
    // its helper thread writes nothing into HostEntryBuffer and posts nothing,
    // so the buffer can be freed safely after it.
    WindowHandle.reset();
    WinsockInfo.clear();
    Timer.reset();
    HostEntryBuffer.reset();
    Destroying = true;
    try {
        RequestCloseSocket();
    } catch (...) {
    }
    std::lock_guard lock(WinsockUsersMutex);
    --WinsockUsersCount;
    if (WinsockUsersCount == 0) {
        winsock::WSACleanup();
    }
}

int TTcpSocket::WinsockUsers() {
    std::lock_guard lock(WinsockUsersMutex);
    return WinsockUsersCount;
}

void TTcpSocket::InitializeWinsock() {
    ReportStatus(kReportDetail, "Initializing Winsock");
    // The count and the start-up change together, so that a component made on
    // another thread at the same moment never finds the count raised but
    // WinSock not yet started.
    std::lock_guard lock(WinsockUsersMutex);
    ++WinsockUsersCount;
    try {
        if (WinsockUsersCount == 1) {
            winsock::WSAStartup(kWinSockVersion11, &WinsockData);
            WinsockInfo.push_back("Version= " + VersionText(WinsockData.wVersion));
            WinsockInfo.push_back("High Version= " + VersionText(WinsockData.wHighVersion));
            WinsockInfo.push_back("Description= " + BoundedText(WinsockData.szDescription,
                                                                sizeof WinsockData.szDescription));
            WinsockInfo.push_back("System= " + BoundedText(WinsockData.szSystemStatus,
                                                           sizeof WinsockData.szSystemStatus));
            WinsockInfo.push_back("Max Sockets= " + std::to_string(WinsockData.iMaxSockets));
            WinsockInfo.push_back("Max Udp pack size= " + std::to_string(WinsockData.iMaxUdpDg));
        }
        SocketHandle =
            winsock::socket(winsock::AF_INET, winsock::SOCK_STREAM, winsock::IPPROTO_TCP);
        // Closing resets the connection at once instead of lingering.
        const winsock::linger resetOnClose{1, 0};
        winsock::setsockopt(SocketHandle, winsock::SOL_SOCKET, winsock::SO_LINGER,
                            reinterpret_cast<const char*>(&resetOnClose), sizeof resetOnClose);
        std::string text;
        if (SocketHandle == winsock::INVALID_SOCKET) {
            CheckSocketError(winsock::WSAEWOULDBLOCK, text);
        }
        // Without its window the component would never learn of a connect,
        // data or a lookup, and its waits could not end; such a component is
        // not made at all (WSAAsyncSelect refuses a missing window).
        if (SocketHandle == winsock::INVALID_SOCKET ||
            winsock::WSAAsyncSelect(SocketHandle, WindowHandle.get(), WM_SOCKET_EVENT,
                                    kSocketEvents) != 0) {
            throw ESockError("", SockFailure::Startup);
        }
    } catch (...) {
        if (SocketHandle != winsock::INVALID_SOCKET) {
            winsock::closesocket(SocketHandle);
            SocketHandle = winsock::INVALID_SOCKET;
        }
        --WinsockUsersCount;
        if (WinsockUsersCount == 0) {
            winsock::WSACleanup();
        }
        throw ESockError("Initializaton of windows sockets failed", SockFailure::Startup);
    }
}

void TTcpSocket::ReportStatus(std::uint8_t Level, const std::string& Text) {
    if (Level > ReportLevel) {
        return;
    }
    LastStatus = Text;
    if (!ComponentDestroying && OnStatus) {
        try {
            OnStatus(this, Text);
        } catch (...) {
            // A status report never ends the operation that made it.
        }
    }
}

void TTcpSocket::CheckSocketError(std::uint16_t IgnoredError, std::string& Text) {
    LastErrorNo = winsock::WSAGetLastError();
    if (LastErrorNo != IgnoredError && LastErrorNo > winsock::WSABASEERR) {
        std::string message;
        LookupErrorMessage(static_cast<std::uint16_t>(LastErrorNo), message);
        if (OnSocketError) {
            OnSocketError(this, static_cast<std::uint16_t>(LastErrorNo), message);
        }
        throw ESockError(message, SockFailure::SocketError, LastErrorNo);
    }
    Text.clear();
}

void TTcpSocket::LookupErrorMessage(std::uint16_t ErrorNo, std::string& Text) {
    ReportStatus(kReportDetail, "Looking Up Error Message" + Text);
    Text.clear();
    if (ErrorNo == 0) {
        return;
    }
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.Number == ErrorNo) {
            Text = std::to_string(entry.Number) + ":" + entry.Text;
        }
    }
    if (Text.empty()) {
        Text = "Unknown Error No. " + std::to_string(ErrorNo);
    }
}

void TTcpSocket::ProcessMessages(Dispatch Mode) {
    QCoreApplication::processEvents(Mode == Dispatch::Blocking ? QEventLoop::WaitForMoreEvents
                                                               : QEventLoop::AllEvents);
}

void TTcpSocket::ResolveHost() {
    ReportStatus(kReportDetail, "Resolve Host");
    const std::string& name = Proxy.empty() ? Host : Proxy;
    const std::size_t length = std::min<std::size_t>(name.size(), kBufferSize);
    std::memcpy(Buffer, name.data(), length);
    Buffer[length] = '\0';
    HostAddresses.clear();

    const std::uint32_t address = winsock::inet_addr(Buffer);
    if (address != winsock::INADDR_NONE) {
        RemoteAddress.sin_addr.s_addr = address;
        winsock::SOCKADDR_INET dotted{};
        dotted.Ipv4.sin_family = winsock::AF_INET;
        dotted.Ipv4.sin_addr.s_addr = address;
        HostAddresses.push_back(dotted);
        return;
    }
    RemoteAddress.sin_addr.s_addr = 0;
    // An IPv6 address needs no lookup either.
    const winsock::SOCKADDR_INET numeric = winsock::NumericAddress(Buffer);
    if (numeric.si_family == winsock::AF_INET6) {
        HostAddresses.push_back(numeric);
        return;
    }
    TimerOn();
    AsyncDone = false;
    LookupTask = winsock::WSAAsyncGetAddrInfo(WindowHandle.get(), WM_HOST_LOOKUP, Buffer,
                                              HostEntryBuffer->Bytes, kHostEntryBufferSize);
    if (LookupTask == 0) {
        // No completion will ever come for a lookup that did not start: it
        // ends here as a failed lookup, with the reason in LastErrorNo.
        LastErrorNo = winsock::WSAGetLastError();
        Succeeded = false;
        AsyncDone = true;
    }
    while (!AsyncDone && !TimedOut && !Canceled) {
        ProcessMessages(Dispatch::Blocking);
    }
    TimerOff();
    if (LookupTask != 0) {
        // Still set when the wait was ended by the time-out or a cancel: the
        // lookup is given up, so that its late completion cannot end a later
        // wait or overwrite a later lookup's result.
        winsock::WSACancelAsyncRequest(LookupTask);
        LookupTask = 0;
    }
    if (TimedOut) {
        throw ESockError("Host Lookup Timed Out", SockFailure::TimedOut);
    }
    if (Canceled) {
        throw ESockError("Host Lookup Canceled", SockFailure::Canceled);
    }
    if (!Succeeded) {
        throw ESockError("Host Lookup Failed", SockFailure::LookupFailed);
    }
    const char* record = HostEntryBuffer->Bytes;
    while (record != nullptr) {
        winsock::addrinfo entry;
        std::memcpy(&entry, record, sizeof entry);
        winsock::SOCKADDR_INET found{};
        std::memcpy(&found, entry.ai_addr, std::min(entry.ai_addrlen, sizeof found));
        HostAddresses.push_back(found);
        if (found.si_family == winsock::AF_INET && RemoteAddress.sin_addr.s_addr == 0) {
            RemoteAddress.sin_addr.s_addr = found.Ipv4.sin_addr.s_addr;
        }
        record = reinterpret_cast<const char*>(entry.ai_next);
    }
    if (OnHostResolved) {
        OnHostResolved(this);
    }
}

void TTcpSocket::Connect() {
    ReportStatus(kReportDetail, "Connecting");
    Canceled = false;
    TlsIssuersFetched.clear();
    if (Connected) {
        throw ESockError("Already connected");
    }
    int retries = 0;
    for (;;) {
        try {
            ResolveHost();
        } catch (const ESockError& error) {
            // A time-out or a cancel ends the connect; a failed lookup leaves
            // no address and is judged below.
            if (error.Kind() != SockFailure::LookupFailed) {
                throw;
            }
        }
        if (!HostAddresses.empty()) {
            break;
        }
        if (retries > 0 || !OnInvalidHost) {
            throw ESockError("Null Remote Address", SockFailure::LookupFailed);
        }
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled) {
            throw ESockError("Null Remote Address", SockFailure::LookupFailed);
        }
        ++retries;
    }
    // A name with several addresses (IPv6 and IPv4 ones, or several of a
    // family) is reached on the first that answers (RFC 6724 section 2 gives
    // the order, RFC 8305 the reason to go on).
    const std::vector<winsock::SOCKADDR_INET> addresses = HostAddresses;
    for (std::size_t index = 0; index < addresses.size(); ++index) {
        if (ConnectTo(addresses[index], index + 1 == addresses.size())) {
            break;
        }
    }
    if (UseTls && Proxy.empty()) {
        try {
            StartTls(Host);
        } catch (...) {
            // A connection that could not be secured is none: nothing may go
            // over it in the clear.
            RequestCloseSocket();
            throw;
        }
    }
}

bool TTcpSocket::ConnectTo(const winsock::SOCKADDR_INET& Address, bool LastAddress) {
    const int family =
        Address.si_family == winsock::AF_INET6 ? winsock::AF_INET6 : winsock::AF_INET;
    // A socket whose connect failed is not tried again.
    if (family != SocketFamily || SocketTried || SocketHandle == winsock::INVALID_SOCKET) {
        if (SocketHandle != winsock::INVALID_SOCKET) {
            winsock::closesocket(SocketHandle);
        }
        MakeSocket(family, 0);
    }
    SocketTried = true;
    const auto port =
        winsock::htons(static_cast<std::uint16_t>((Proxy.empty() ? Port : ProxyPort) & 0xFFFF));
    const winsock::sockaddr* target = nullptr;
    int targetLength = 0;
    if (family == winsock::AF_INET6) {
        RemoteAddress = winsock::sockaddr_in{};
        RemoteAddress6 = Address.Ipv6;
        RemoteAddress6.sin6_port = port;
        target = reinterpret_cast<const winsock::sockaddr*>(&RemoteAddress6);
        targetLength = sizeof RemoteAddress6;
    } else {
        RemoteAddress6 = winsock::sockaddr_in6{};
        RemoteAddress.sin_family = winsock::AF_INET;
        RemoteAddress.sin_addr.s_addr = Address.Ipv4.sin_addr.s_addr;
        RemoteAddress.sin_port = port;
        target = reinterpret_cast<const winsock::sockaddr*>(&RemoteAddress);
        targetLength = sizeof RemoteAddress;
    }
    AsyncDone = false;
    Succeeded = true;
    ConnectErrorNo = 0;
    if (winsock::connect(SocketHandle, target, targetLength) == winsock::SOCKET_ERROR) {
        if (!LastAddress && winsock::WSAGetLastError() != winsock::WSAEWOULDBLOCK) {
            // Refused on the spot (no route for this family): the next one.
            LastErrorNo = winsock::WSAGetLastError();
            return false;
        }
        std::string text;
        CheckSocketError(winsock::WSAEWOULDBLOCK, text);
    }
    TimerOn();
    while (!Connected && !TimedOut && !Canceled && Succeeded) {
        ProcessMessages(Dispatch::Blocking);
    }
    TimerOff();
    if (!TimedOut && !Canceled && Succeeded) {
        return true;
    }
    if (!LastAddress && (TimedOut || !Succeeded)) {
        // The time-out's cancel ended this attempt only.
        Canceled = false;
        return false;
    }
    if (OnConnectionFailed) {
        OnConnectionFailed(this);
    }
    if (TimedOut) {
        throw ESockError("Connection Timed out", SockFailure::TimedOut);
    }
    if (Canceled) {
        throw ESockError("Connection Canceled", SockFailure::Canceled);
    }
    throw ESockError("Connection Failed", SockFailure::ConnectFailed, ConnectErrorNo);
}

void TTcpSocket::StartTls(const std::string& ServerName) {
    ReportStatus(kReportDetail, "Start TLS");
    if (!Connected) {
        throw ESockError("Socket is not connected", SockFailure::Other);
    }
    if (ReadAheadHeld() > 0) {
        // Bytes the peer sent after the last line read and before the
        // handshake: whatever they are, they are not the server's hello,
        // and they must not pass for data the connection secured.
        throw ESockError("TLS handshake failure: data before the handshake",
                         SockFailure::TlsProtocol);
    }
    const TlsSettings settings{TlsCaFile, TlsInsecure, TlsResumption};
    if (TlsContextInUse == nullptr || TlsContextInUse->Settings() != settings) {
        TlsContextInUse = TlsContext::For(settings);
    }
    // The handshake's records and the request that follows are small writes
    // in a row; Nagle's rule would hold each behind the acknowledgement of
    // the one before (delayed by the peer for up to 40 ms).
    const int noDelay = 1;
    winsock::setsockopt(SocketHandle, winsock::IPPROTO_TCP, winsock::TCP_NODELAY,
                        reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    TlsIssuersFetched.clear();
    Tls = std::make_unique<TlsSession>(
        TlsContextInUse, SocketHandle, ServerName, Port,
        TlsFetchIssuer ? TlsSession::IssuerFetching::Allowed : TlsSession::IssuerFetching::Refused);
    TimerOn();
    {
        // A handshake that did not finish leaves a plain connection, which
        // the caller disconnects.
        ScopeExit unfinished([this] {
            TimerOff();
            if (Tls != nullptr && !Tls->Established()) {
                Tls.reset();
            }
        });
        bool issuerMissing = false;
        while (!Canceled) {
            const TlsSession::Step step = Tls->Handshake();
            if (step == TlsSession::Step::Done) {
                break;
            }
            if (step == TlsSession::Step::IssuerMissing) {
                issuerMissing = true;
                break;
            }
            if (step == TlsSession::Step::SocketError) {
                std::string text;
                CheckSocketError(winsock::WSAEWOULDBLOCK, text);
            }
            if (step == TlsSession::Step::WantWrite) {
                // Rare in a handshake: a send buffer full of its own bytes.
                WaitForSendRoom(kSendFileWaitSliceMilliseconds);
                ProcessMessages(Dispatch::Pending);
            } else {
                ProcessMessages(Dispatch::Blocking);
            }
            if (Tls == nullptr) {
                // The peer's close was handled meanwhile.
                throw ESockError("TLS handshake failure: connection closed",
                                 SockFailure::TlsHandshake);
            }
        }
        if (issuerMissing) {
            // Each fetch keeps time of its own.
            TimerOff();
            CompleteTlsChain();
        }
    }
    if (TimedOut) {
        throw ESockError("TLS handshake timed out", SockFailure::TimedOut);
    }
    if (Canceled) {
        throw ESockError("TLS handshake canceled", SockFailure::Canceled);
    }
}

void TTcpSocket::CompleteTlsChain() {
    // A cancel that came during a fetch ends the rounds; StartTls raises it.
    while (!Canceled) {
        const std::vector<std::string> addresses = Tls->IssuerAddressesToFetch();
        if (addresses.empty()) {
            Tls->RefuseChain();
        }
        // The fetches wait for the network, and meanwhile the peer's close
        // may be handled, which ends the session: it is asked for nothing
        // until they are done.
        std::vector<std::optional<std::string>> bodies;
        for (const std::string& address : addresses) {
            ReportStatus(kReportDetail, "Fetch issuer " + address);
            bodies.push_back(TlsFetchIssuer(address));
        }
        if (Canceled) {
            return;
        }
        if (Tls == nullptr) {
            throw ESockError("TLS handshake failure: connection closed", SockFailure::TlsHandshake);
        }
        for (std::size_t index = 0; index < addresses.size(); ++index) {
            Tls->TakeIssuers(addresses[index], bodies[index]);
        }
        if (Tls->VerifyAgain()) {
            TlsIssuersFetched = Tls->IssuersFetchedFrom();
            return;
        }
    }
}

void TTcpSocket::TimerOn() {
    ReportStatus(kReportDetail, "Timer On");
    TimedOut = false;
    if (TimeOut < 0) {
        throw ERangeError();
    }
    // The timer's setters restart it only on a change, so re-arming a running
    // timer with the same interval would leave its old period running; the
    // captures re-arm after every chunk to limit idle time, which needs a
    // full new period each time.
    Timer->SetEnabled(false);
    Timer->SetInterval(static_cast<std::uint32_t>(TimeOut));
    Timer->SetEnabled(true);
}

void TTcpSocket::TimerOff() {
    ReportStatus(kReportDetail, "Timer Off");
    Timer->SetEnabled(false);
}

void TTcpSocket::TimerTriggered(QObject* /*Sender*/) {
    ReportStatus(kReportDetail, "Timer Triggered");
    TimerOff();
    TimedOut = true;
    AsyncDone = true;
    TimeOutAborting = true;
    ScopeExit aborted([this] { TimeOutAborting = false; });
    Abort();
}

void TTcpSocket::RaiseAborted(const std::string& Message, bool TimeOutEnded) {
    Canceled = false;
    throw EAbortError(Message, TimeOutEnded ? SockFailure::TimedOut : SockFailure::Canceled);
}

void TTcpSocket::Cancel() {
    ReportStatus(kReportDetail, "Canceling");
    Canceled = true;
}

void TTcpSocket::Abort() {
    ReportStatus(kReportDetail, "Abort");
    Cancel();
}

void TTcpSocket::Disconnect() {
    ReportStatus(kReportDetail, "Disconnecting");
    RequestCloseSocket();
}

void TTcpSocket::MakeSocket(int Family, int Protocol) {
    DropReadAhead();
    SocketFamily = Family;
    SocketTried = false;
    SocketHandle = winsock::socket(Family, winsock::SOCK_STREAM, Protocol);
    if (SocketHandle != winsock::INVALID_SOCKET &&
        winsock::WSAAsyncSelect(SocketHandle, WindowHandle.get(), WM_SOCKET_EVENT, kSocketEvents) !=
            0) {
        // A socket whose events cannot reach the window would leave the next
        // wait without an end; an invalid handle makes the next Connect fail
        // with a socket error instead.
        winsock::closesocket(SocketHandle);
        SocketHandle = winsock::INVALID_SOCKET;
    }
}

void TTcpSocket::RequestCloseSocket() {
    ReportStatus(kReportConnection, "Request Close Socket");
    Connected = false;
    AcceptPending = false;
    DropReadAhead();
    if (SocketHandle == winsock::INVALID_SOCKET) {
        return;
    }
    if (Tls != nullptr) {
        Tls->Shutdown();
        Tls.reset();
    }
    if (winsock::closesocket(SocketHandle) != 0) {
        std::string text;
        CheckSocketError(winsock::WSAEWOULDBLOCK, text);
        return;
    }
    SocketHandle = winsock::INVALID_SOCKET;
    if (!ComponentDestroying && OnDisconnect) {
        OnDisconnect(this);
    }
    if (!Destroying) {
        MakeSocket(winsock::AF_INET, 0);
    }
}

void TTcpSocket::HandleSocketMessage(TMessage& Message) {
    try {
        Succeeded = winsock::WSAGETSELECTERROR(Message.LParam) == 0;
        if (Message.Msg == WM_SOCKET_EVENT) {
            switch (winsock::WSAGETSELECTEVENT(Message.LParam)) {
                case winsock::FD_READ:
                    if (OnReadReady) {
                        try {
                            OnReadReady(this);
                        } catch (...) {
                        }
                    }
                    break;
                case winsock::FD_ACCEPT:
                    Connected = true;
                    AcceptPending = true;
                    if (OnAcceptReady) {
                        OnAcceptReady(this);
                    }
                    break;
                case winsock::FD_CONNECT:
                    ConnectErrorNo = winsock::WSAGETSELECTERROR(Message.LParam);
                    if (Succeeded) {
                        Connected = true;
                        if (OnConnect) {
                            OnConnect(this);
                        }
                    }
                    break;
                case winsock::FD_CLOSE:
                    // With data left the reader drains it and meets the end of
                    // the stream itself.
                    if (!DataAvailable()) {
                        RequestCloseSocket();
                    }
                    break;
                default:
                    break;
            }
        } else if (Message.Msg == WM_HOST_LOOKUP) {
            AsyncDone = true;
            LookupTask = 0;
        }
    } catch (...) {
        // A failure while a message is handled must not reach the event loop.
    }
    Message.Result = 0;
}

}  // namespace vornakle
