#pragma once

#include "net/HiddenWindows.h"
#include "net/SockErrors.h"
#include "net/ThreadTimer.h"
#include "net/TlsSession.h"
#include "platform/WinSock.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vornakle {

// A TCP client socket whose operations look blocking to the caller but wait by
// dispatching the thread's messages: socket events and host lookup
// completions arrive at its hidden window, the time-out at its timer's window.
// Each component belongs to the thread that made it, which must run a Qt
// event dispatcher (the main thread or a QThread); components on different
// threads work independently.
class TTcpSocket : public QObject {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TSocketErrorEvent =
        std::function<void(QObject* Sender, std::uint16_t ErrorNo, const std::string& Text)>;
    using THandlerEvent = std::function<void(bool& Handled)>;
    using TOnHostResolved = std::function<void(QObject* Sender)>;
    using TOnStatus = std::function<void(QObject* Sender, const std::string& Status)>;

    // Data bytes of the transfer buffer; one more byte holds a terminating
    // zero.
    static constexpr int kBufferSize = 65536;
    static constexpr int kHostEntryBufferSize = winsock::MAXGETHOSTSTRUCT;
    static constexpr std::uint32_t kSocketEvents = winsock::FD_READ | winsock::FD_OOB |
                                                   winsock::FD_ACCEPT | winsock::FD_CONNECT |
                                                   winsock::FD_CLOSE;
    // How long SendBuffer and SendFile wait for a peer that takes no data,
    // when no TimeOut is set. A link check sends a few hundred bytes, so a
    // stall this long means the peer has stopped reading.
    static constexpr int kSendStallLimitMilliseconds = 30000;
    // SendFile processes messages while it waits for room to send; this is
    // how often.
    static constexpr int kSendFileWaitSliceMilliseconds = 50;

    // The levels of ReportStatus: a status is reported while its level is
    // not above ReportLevel, so a higher ReportLevel adds the finer steps.
    // The reply line a Transaction read is the status text itself.
    static constexpr std::uint8_t kReportReply = 1;
    // "Transaction Completed" of the HTTP client.
    static constexpr std::uint8_t kReportCompletion = 2;
    // Sending, accepting and closing the connection.
    static constexpr std::uint8_t kReportConnection = 4;
    // Every other step.
    static constexpr std::uint8_t kReportDetail = 8;

    explicit TTcpSocket(QObject* Owner = nullptr);
    ~TTcpSocket() override;

    TTcpSocket(const TTcpSocket&) = delete;
    TTcpSocket& operator=(const TTcpSocket&) = delete;

    // Waits for an incoming connection on the component's (listening) socket,
    // a cancel or an abort, and returns the new connection's socket. Its
    // events arrive at the component's window like the component's own.
    virtual std::uint16_t Accept();
    // Resolves Host (or Proxy) and connects, trying every address the name
    // has in turn, each within TimeOut; with UseTls and no Proxy it then
    // secures the connection for Host (StartTls), closing it when that
    // fails. Raises ESockError on failure.
    virtual void Connect();
    // Closes the socket and prepares a fresh, unconnected one.
    virtual void Disconnect();
    // Sends Command as a line and reads the reply line; ReplyNumber is its
    // leading number.
    virtual std::string Transaction(const std::string& Command);
    // Cancels the running wait; the time-out calls it. The destructor calls
    // this class's version, so a descendant that must abort on destruction
    // does so in its own destructor.
    virtual void Abort();

    void Cancel();
    void LookupErrorMessage(std::uint16_t ErrorNo, std::string& Text);

    // Runs the TLS handshake on the established connection, checking the
    // server's certificate against ServerName as TlsCaFile and TlsInsecure
    // say, within TimeOut; a cancel ends it at once. Afterwards every
    // transfer goes over TLS until the connection closes. Raises ESockError:
    // of a TLS kind when the handshake fails, TimedOut or Canceled when it
    // is ended, the socket's error when the connection fails. Runs on a
    // plain connection already in use too (after a proxy's CONNECT). Offers
    // the session of an earlier connection to ServerName and Port unless
    // TlsResumption says Never.
    void StartTls(const std::string& ServerName);
    // The connection is secured by TLS.
    bool Secured() const { return Tls != nullptr && Tls->Established(); }
    // Whether a connection kept open between two requests can carry the
    // next one: it is open, and the peer has neither closed nor reset it
    // nor sent anything since the last reply (bytes out of turn leave the
    // next reply's start in doubt). Never waits; a TLS record that carries
    // no data (a session ticket, RFC 8446 section 4.6.1) is taken in on the
    // way.
    bool StillOpen();

    // Sends Length bytes (0: up to the first zero byte). A socket that takes
    // no data waits at most TimeOut, or kSendStallLimitMilliseconds without
    // one, before the send counts as timed out.
    void SendBuffer(const char* Data, std::uint16_t Length);
    // Sends Text up to its first zero byte.
    void Write(const std::string& Text);
    void Writeln(const std::string& Text);
    // The next line with its line end, or empty at the end of the stream
    // (an unfinished last line is dropped).
    std::string ReadLn();
    void SendFile(const std::string& FileName);
    // Capture the rest of the stream; the time-out limits idle time.
    void CaptureFile(const std::string& FileName);
    void CaptureString(std::string& Dest, std::int32_t MaxLength);
    bool DataAvailable();

    // Called by the hidden socket window for every message numbered
    // WM_SOCKET_EVENT or higher.
    void HandleSocketMessage(TMessage& Message);

    // Number of components that have started WinSock, over all threads.
    static int WinsockUsers();

    // Settings.
    std::string Host;
    std::int32_t Port = 0;
    std::int32_t TimeOut = 0;
    // Statuses up to this level reach OnStatus; 0 reports none.
    std::int32_t ReportLevel = 0;
    std::string Proxy;
    std::int32_t ProxyPort = 0;
    // Connect secures the connection (see StartTls).
    bool UseTls = false;
    // A file of PEM certificates trusted besides the system's store.
    std::string TlsCaFile;
    // The server's certificate is not checked; the connection is still
    // encrypted.
    bool TlsInsecure = false;
    // A connection to a name and port reached before offers the session it
    // was given then (on any thread), so that the server may skip the full
    // handshake; Never makes every handshake a full one.
    SessionResumption TlsResumption = SessionResumption::Resume;
    // Set: a server's chain that lacks an intermediate the certificate names
    // an http address for is completed with what that address serves (as
    // untrusted material; the anchors stay those above) and verified again
    // before anything is sent; unset, such a chain fails as
    // TlsUnknownIssuer.
    IssuerFetch TlsFetchIssuer;
    // The addresses whose certificates completed the chain of the
    // connection open now; empty for one that needed none. Set by StartTls,
    // cleared by Connect.
    std::vector<std::string> TlsIssuersFetched;

    // Events.
    TNotifyEvent OnReadReady;
    TNotifyEvent OnAcceptReady;
    TNotifyEvent OnConnect;
    TNotifyEvent OnDisconnect;
    TSocketErrorEvent OnSocketError;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;
    TNotifyEvent OnPacketRecvd;
    TNotifyEvent OnPacketSent;

    // State other parts read; descendants also set ReplyNumber and
    // BytesTotal.
    bool Connected = false;
    std::string LastStatus;
    std::int32_t LastErrorNo = 0;
    std::vector<std::string> WinsockInfo;
    std::int16_t ReplyNumber = 0;
    std::string LastReply;
    std::int32_t BytesSent = 0;
    std::int32_t BytesRecvd = 0;
    std::int32_t BytesTotal = 0;
    // The IPv4 address connected to (or being tried); zero while the
    // connection goes over IPv6.
    winsock::sockaddr_in RemoteAddress{};
    // The IPv6 address connected to (or being tried); zero while the
    // connection goes over IPv4.
    winsock::sockaddr_in6 RemoteAddress6{};
    // Every address the last ResolveHost found, in the order Connect tries
    // them.
    std::vector<winsock::SOCKADDR_INET> HostAddresses;

protected:
    void ReportStatus(std::uint8_t Level, const std::string& Text);
    void CheckSocketError(std::uint16_t IgnoredError, std::string& Text);
    void TimerOn();
    void TimerOff();
    void ResolveHost();
    void RequestCloseSocket();
    void InitializeWinsock();
    void TimerTriggered(QObject* Sender);
    // Ends a transfer that a cancel stopped, or the time-out or a send stall
    // (TimeOutEnded): clears the cancel for the next operation and raises
    // EAbortError with Message.
    [[noreturn]] void RaiseAborted(const std::string& Message, bool TimeOutEnded);

    // How ReceiveStream hands on what it receives.
    struct TReceiveTarget {
        // The byte count the stream announced, -1 for none: no receive takes
        // more than what is left of it, and the capture returns as soon as it
        // is complete, dispatching nothing more.
        std::int64_t Length = -1;
        // Tested before each receive; false ends the capture there. Unset:
        // no bound.
        std::function<bool()> WantsMore;
        // Takes the Got bytes at the start of Buffer; returns whether the
        // idle time-out restarts.
        std::function<bool(int Got)> Take;
    };
    // Bytes ReadLn has received and not yet handed on.
    std::size_t ReadAheadHeld() const { return ReadAheadEnd - ReadAheadStart; }
    // Data bytes received so far, over every connection the component had.
    std::int64_t ReceivedBytes() const { return ReceivedCount; }

    // The receive loop of the captures: receives into Buffer until the end of
    // the stream, a cancel or the target's end, counting BytesRecvd and
    // firing OnPacketRecvd for each chunk; raises socket errors. The caller
    // arms the time-out and raises the abort of a cancel.
    void ReceiveStream(const TReceiveTarget& Target);

    // Dispatches the thread's messages once. Blocking: when nothing is
    // pending, sleeps until the next message arrives. Every flag a wait
    // re-tests is changed by a message (socket event, lookup completion,
    // timer tick, user input), so blocking loses nothing and idles at no
    // processor cost.
    enum class Dispatch { Pending, Blocking };
    static void ProcessMessages(Dispatch Mode);

    char Buffer[kBufferSize + 1] = {};
    bool Canceled = false;
    bool Destroying = false;
    bool Succeeded = false;
    // The WinSock error the last failed connect reported, so a refusal can
    // be told from an unreachable host.
    std::int32_t ConnectErrorNo = 0;
    bool TimedOut = false;
    bool AsyncDone = false;
    // Set while the time-out's Abort runs, so that a descendant's Abort can
    // tell it from a user's.
    bool TimeOutAborting = false;
    std::unique_ptr<TThreadTimer> Timer;
    winsock::WSADATA WinsockData{};
    winsock::SOCKET SocketHandle = winsock::INVALID_SOCKET;
    std::unique_ptr<SockWindowClass> WindowHandle;
    // Aligned for the host entry record the lookup writes at its start.
    struct HostEntryStorage {
        alignas(winsock::hostent) char Bytes[kHostEntryBufferSize];
    };
    std::unique_ptr<HostEntryStorage> HostEntryBuffer;

private:
    // What ReceiveStream reads: the bytes ReadLn received beyond its line
    // first, then the socket.
    int BufferedReceive(char* Data, int Length);
    // Forgets the bytes read ahead: the connection they came from is gone.
    void DropReadAhead() { ReadAheadStart = ReadAheadEnd = 0; }
    // How SendAll goes along. Plain: waits for room to send without
    // processing messages. Progress: counts BytesSent and fires OnPacketSent
    // for each piece sent, and processes messages (a cancel) while it waits
    // and after each piece.
    enum class SendPace { Plain, Progress };
    // Sends Length bytes of Data until all are sent, the socket takes no
    // more (send returns 0) or a cancel. False when the peer took nothing
    // for the stall limit; raises socket errors.
    bool SendAll(const char* Data, std::size_t Length, SendPace Pace);
    // Waits for room to send as Pace says; false when the stall limit passed
    // first.
    bool AwaitSendRoom(SendPace Pace);
    // Waits until the socket takes data again, at most Milliseconds; false
    // when the time passed first. Raises a socket error.
    bool WaitForSendRoom(int Milliseconds);
    // After a receive that failed: true when the socket is no longer
    // connected, as the peer's close was handled while no data was waiting
    // and the socket was replaced; that ends the stream like a receive of 0
    // bytes. False when no data is waiting yet. Raises a real socket error.
    bool ReceiveFailedAtEnd();
    int SendStallLimit() const;
    void MakeSocket(int Family, int Protocol);
    // Connects to one address of HostAddresses: true when connected; false
    // when it failed, refused or timed out and another address follows.
    // Raises when the last address fails, and on a cancel.
    bool ConnectTo(const winsock::SOCKADDR_INET& Address, bool LastAddress);
    // After a handshake that ended with an issuer missing: fetches it
    // (TlsFetchIssuer) and verifies again, round by round; raises the
    // certificate's failure when the chain stays incomplete.
    void CompleteTlsChain();
    // WinSock's recv and send on SocketHandle, over TLS once it is secured.
    int SocketReceive(char* Data, int Length, int Flags);
    int SocketSend(const char* Data, int Length);

    // Set when the component's destructor has begun; events are no longer
    // fired then.
    bool ComponentDestroying = false;
    // An FD_ACCEPT arrived that Accept has not taken yet.
    bool AcceptPending = false;
    // The host lookup in flight, kept so that a lookup given up on (time-out,
    // cancel) is cancelled and cannot complete into a later wait.
    winsock::HANDLE LookupTask = 0;
    // The address family of SocketHandle.
    int SocketFamily = winsock::AF_INET;
    // The socket has been used for a connect attempt: the next attempt needs
    // a fresh one.
    bool SocketTried = false;
    // ReadLn receives what the socket holds in one go and hands it out line
    // by line; a peek and a receive per line would cost two system calls,
    // a header of twenty lines forty. The other readers take these bytes
    // before the socket's. Allocated on the first line read.
    std::vector<char> ReadAhead;
    std::size_t ReadAheadStart = 0;
    std::size_t ReadAheadEnd = 0;
    // Counted by SocketReceive, so that a request on a kept connection can
    // tell a close before its reply from one within it.
    std::int64_t ReceivedCount = 0;
    // The TLS side of the connection, from StartTls until the close.
    std::unique_ptr<TlsSession> Tls;
    // The context of the last handshake, kept for the next connection with
    // the same settings: made anew it would read the trust store again.
    std::shared_ptr<TlsContext> TlsContextInUse;

    static std::mutex WinsockUsersMutex;
    static int WinsockUsersCount;
};

}  // namespace vornakle
