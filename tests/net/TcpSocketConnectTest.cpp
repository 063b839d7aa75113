#include "net/TcpSocket.h"

#include "support/LoopbackServer.h"
#include "tests/net/NetTestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;
namespace ws = vornakle::winsock;

// Holds every lookup until released, recording the names asked for; then
// answers the addresses given (127.0.0.1 by default), or fails with error
// when one is given.
class GatedResolver {
public:
    explicit GatedResolver(int error = 0, std::vector<std::string> answers = {"127.0.0.1"}) {
        ws::SetHostResolverForTesting(
            [this, error, answers](const std::string& name,
                                   std::vector<ws::SOCKADDR_INET>& addresses) {
                std::unique_lock lock(mutex_);
                names_.push_back(name);
                released_.wait(lock, [this] { return open_; });
                if (error != 0) {
                    return error;
                }
                for (const std::string& answer : answers) {
                    addresses.push_back(ws::NumericAddress(answer));
                }
                return 0;
            });
    }
    ~GatedResolver() {
        Release();
        ProcessUntil([] { return ws::PendingHostLookups() == 0; });
        ws::SetHostResolverForTesting({});
    }
    void Release() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        released_.notify_all();
    }
    std::vector<std::string> Names() {
        std::lock_guard lock(mutex_);
        return names_;
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool open_ = false;
    std::vector<std::string> names_;
};

std::string ConnectError(TTcpSocket& socket) {
    return MessageOf<ESockError>([&] { socket.Connect(); });
}

Failure ConnectFailure(TTcpSocket& socket) {
    return FailureOf<ESockError>([&] { socket.Connect(); });
}

TEST(TcpSocketLife, OnlyTheFirstComponentFillsWinsockInfoAndTheLastReleasesWinsock) {
    ASSERT_EQ(TTcpSocket::WinsockUsers(), 0);
    auto first = std::make_unique<TTcpSocket>();
    auto second = std::make_unique<TTcpSocket>();
    EXPECT_EQ(TTcpSocket::WinsockUsers(), 2);
    ASSERT_EQ(first->WinsockInfo.size(), 6u);
    EXPECT_EQ(first->WinsockInfo[0], "Version= 1.1");
    EXPECT_EQ(first->WinsockInfo[1], "High Version= 1.1");
    EXPECT_EQ(first->WinsockInfo[2].rfind("Description= ", 0), 0u);
    EXPECT_EQ(first->WinsockInfo[3], "System= Running");
    EXPECT_EQ(first->WinsockInfo[4].rfind("Max Sockets= ", 0), 0u);
    EXPECT_EQ(first->WinsockInfo[5], "Max Udp pack size= 65507");
    EXPECT_TRUE(second->WinsockInfo.empty());

    // Whichever goes first, WinSock stays up until both are gone.
    first.reset();
    EXPECT_EQ(ws::StartupCount(), 1);
    second.reset();
    EXPECT_EQ(ws::StartupCount(), 0);
    EXPECT_EQ(TTcpSocket::WinsockUsers(), 0);
}

TEST(TcpSocketLife, ConstructionReportsNothingAtLevelZeroAndEverythingAtEight) {
    ProbeSocket socket;
    EXPECT_EQ(socket.ReportLevel, 0);
    socket.RecordStatus(0);
    socket.Cancel();
    EXPECT_TRUE(socket.statuses.empty());
    EXPECT_TRUE(socket.LastStatus.empty());

    socket.RecordStatus(4);
    socket.ReportStatus(1, "reply");
    socket.ReportStatus(4, "Sending Buffer");
    socket.Cancel();  // level 8
    EXPECT_EQ(socket.statuses, (std::vector<std::string>{"reply", "Sending Buffer"}));
    EXPECT_EQ(socket.LastStatus, "Sending Buffer");

    // A failing status handler does not fail the operation.
    socket.OnStatus = [](QObject*, const std::string&) { throw Exception("handler"); };
    socket.ReportLevel = 8;
    EXPECT_NO_THROW(socket.Cancel());
    EXPECT_EQ(socket.LastStatus, "Canceling");
}

TEST(TcpSocketErrors, ErrorNumbersBecomeTheirTexts) {
    ProbeSocket socket;
    std::string text;
    socket.LookupErrorMessage(11001, text);
    EXPECT_EQ(text, "11001:Host not found");
    socket.LookupErrorMessage(10061, text);
    EXPECT_EQ(text, "10061:Connection refused");
    socket.LookupErrorMessage(10101, text);
    EXPECT_EQ(text, "Unknown Error No. 10101");
    socket.LookupErrorMessage(0, text);
    EXPECT_EQ(text, "");
}

TEST(TcpSocketErrors, CheckSocketErrorRaisesOnlyRealErrors) {
    ProbeSocket socket;
    std::vector<std::uint16_t> reported;
    socket.OnSocketError = [&](QObject*, std::uint16_t error, const std::string&) {
        reported.push_back(error);
    };
    std::string text = "untouched";
    for (const int harmless : {0, 997, 10000, ws::WSAEWOULDBLOCK}) {
        ws::WSASetLastError(harmless);
        EXPECT_NO_THROW(socket.CheckSocketError(ws::WSAEWOULDBLOCK, text)) << harmless;
        EXPECT_EQ(text, "");
        EXPECT_EQ(socket.LastErrorNo, harmless);
    }
    EXPECT_TRUE(reported.empty());
    ws::WSASetLastError(ws::WSAECONNRESET);
    EXPECT_EQ(MessageOf<ESockError>([&] { socket.CheckSocketError(ws::WSAEWOULDBLOCK, text); }),
              "10054:Connection reset by peer");
    EXPECT_EQ(reported, (std::vector<std::uint16_t>{ws::WSAECONNRESET}));
}

TEST(TcpSocketConnect, DottedAddressConnectsWithoutLookup) {
    LoopbackServer server(ServerScript().Hold());
    ProbeSocket socket;
    socket.RecordStatus();
    bool resolved = false;
    int connects = 0;
    socket.OnHostResolved = [&](QObject*) { resolved = true; };
    socket.OnConnect = [&](QObject*) { ++connects; };
    socket.Host = "127.0.0.1";
    socket.Port = server.Port();
    socket.Connect();
    EXPECT_TRUE(socket.Connected);
    EXPECT_FALSE(resolved);
    EXPECT_EQ(connects, 1);
    EXPECT_TRUE(server.WaitForConnections(1));
    EXPECT_EQ(socket.RemoteAddress.sin_port, ws::htons(server.Port()));
    EXPECT_EQ(socket.StatusCount("Resolve Host"), 1);
    EXPECT_EQ(socket.StatusCount("Timer Triggered"), 0);
}

TEST(TcpSocketConnect, LocalhostIsLookedUp) {
    LoopbackServer server(ServerScript().Hold());
    TTcpSocket socket;
    int resolved = 0;
    socket.OnHostResolved = [&](QObject*) { ++resolved; };
    socket.Host = "localhost";
    socket.Port = server.Port();
    socket.Connect();
    EXPECT_TRUE(socket.Connected);
    EXPECT_EQ(resolved, 1);
    EXPECT_EQ(socket.RemoteAddress.sin_addr.s_addr, ws::inet_addr("127.0.0.1"));
}

TEST(TcpSocketConnect, UnresolvableOrEmptyHostIsANullRemoteAddress) {
    ProbeSocket socket;
    socket.Port = 80;
    for (const char* host : {"no-such-host.invalid", ""}) {
        socket.Host = host;
        EXPECT_EQ(ConnectFailure(socket), Failure("Null Remote Address", SockFailure::LookupFailed))
            << host;
        EXPECT_FALSE(socket.Connected);
    }
}

TEST(TcpSocketConnect, InvalidHostHandlerGetsExactlyOneRetry) {
    LoopbackServer server(ServerScript().Hold());
    ProbeSocket socket;
    socket.RecordStatus();
    socket.Port = server.Port();
    int calls = 0;

    // Handled but not repaired: two lookups, then the error.
    socket.Host = "no-such-host.invalid";
    socket.OnInvalidHost = [&](bool& handled) {
        ++calls;
        handled = true;
    };
    EXPECT_EQ(ConnectError(socket), "Null Remote Address");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(socket.StatusCount("Resolve Host"), 2);

    // Not handled: one lookup.
    socket.statuses.clear();
    socket.OnInvalidHost = [&](bool&) { ++calls; };
    EXPECT_EQ(ConnectError(socket), "Null Remote Address");
    EXPECT_EQ(socket.StatusCount("Resolve Host"), 1);

    // Repaired: the retry connects.
    socket.OnInvalidHost = [&](bool& handled) {
        socket.Host = "localhost";
        handled = true;
    };
    socket.Connect();
    EXPECT_TRUE(socket.Connected);
}

TEST(TcpSocketConnect, AllOnesAddressGoesToTheNameLookup) {
    GatedResolver resolver;
    resolver.Release();
    RefusingPort refusing;
    TTcpSocket socket;
    socket.Host = "255.255.255.255";
    socket.Port = refusing.Port();
    // The gated resolver answers 127.0.0.1, where the port refuses.
    EXPECT_EQ(ConnectError(socket), "Connection Failed");
    EXPECT_EQ(resolver.Names(), (std::vector<std::string>{"255.255.255.255"}));
}

TEST(TcpSocketConnect, Ipv6AddressConnectsWithoutLookup) {
    if (!LoopbackServer::Ipv6LoopbackAvailable()) {
        GTEST_SKIP() << "this machine has no IPv6 loopback address";
    }
    LoopbackServer::Options options;
    options.address = "::1";
    LoopbackServer server(ServerScript().Send("six\n").Close(), options);
    // Bare, and in the brackets of a URL.
    for (const char* host : {"::1", "[::1]"}) {
        SCOPED_TRACE(host);
        TTcpSocket socket;
        bool resolved = false;
        socket.OnHostResolved = [&](QObject*) { resolved = true; };
        socket.Host = host;
        socket.Port = server.Port();
        socket.Connect();
        EXPECT_EQ(socket.ReadLn(), "six\n");
        EXPECT_FALSE(resolved);
        EXPECT_EQ(socket.RemoteAddress6.sin6_family, ws::AF_INET6);
        EXPECT_EQ(socket.RemoteAddress6.sin6_port, ws::htons(server.Port()));
        EXPECT_EQ(socket.RemoteAddress.sin_addr.s_addr, 0u);
    }
}

TEST(TcpSocketConnect, EveryAddressOfANameIsTriedUntilOneAnswers) {
    const bool ipv6 = LoopbackServer::Ipv6LoopbackAvailable();
    struct Case {
        std::vector<std::string> addresses;
        // Where the server listens; the other addresses refuse its port.
        std::string listening;
        int expectedFamily;
    };
    std::vector<Case> cases = {
        // An IPv6 address that refuses (or, without IPv6, cannot be
        // reached), then the IPv4 one that answers.
        {{"::1", "127.0.0.1"}, "127.0.0.1", ws::AF_INET},
        {{"127.0.0.2", "127.0.0.3", "127.0.0.1"}, "127.0.0.1", ws::AF_INET},
    };
    if (ipv6) {
        cases.push_back({{"127.0.0.1", "::1"}, "::1", ws::AF_INET6});
    }
    for (const Case& test : cases) {
        SCOPED_TRACE(test.addresses.front() + " first");
        GatedResolver resolver(0, test.addresses);
        resolver.Release();
        LoopbackServer::Options options;
        options.address = test.listening;
        LoopbackServer server(ServerScript().Send("here\n").Close(), options);
        TTcpSocket socket;
        int failures = 0;
        socket.OnConnectionFailed = [&](QObject*) { ++failures; };
        socket.Host = "several.invalid";
        socket.Port = server.Port();
        socket.TimeOut = 10000;
        socket.Connect();
        EXPECT_EQ(socket.ReadLn(), "here\n");
        EXPECT_EQ(failures, 0);
        EXPECT_EQ(socket.HostAddresses.size(), test.addresses.size());
        EXPECT_EQ(socket.RemoteAddress6.sin6_family == ws::AF_INET6 ? ws::AF_INET6 : ws::AF_INET,
                  test.expectedFamily);
    }
}

TEST(TcpSocketConnect, AddressThatDoesNotAnswerWithinTheTimeOutPassesToTheNext) {
    LoopbackServer server(ServerScript().Send("late but here\n").Close());
    UnansweringPort silent("127.0.0.2", server.Port());
    GatedResolver resolver(0, {"127.0.0.2", "127.0.0.1"});
    resolver.Release();
    ProbeSocket socket;
    socket.Host = "slow-first.invalid";
    socket.Port = server.Port();
    socket.TimeOut = 200;
    socket.Connect();
    EXPECT_EQ(socket.ReadLn(), "late but here\n");
    // The time-out's cancel belonged to the first attempt only.
    EXPECT_FALSE(socket.Canceled);
}

TEST(TcpSocketConnect, NameWhoseAddressesAllRefuseFailsOnce) {
    GatedResolver resolver(0, {"127.0.0.2", "127.0.0.1"});
    resolver.Release();
    RefusingPort refusing;
    TTcpSocket socket;
    int failures = 0;
    socket.OnConnectionFailed = [&](QObject*) { ++failures; };
    socket.Host = "refusing.invalid";
    socket.Port = refusing.Port();
    EXPECT_EQ(ConnectFailure(socket), Failure("Connection Failed", SockFailure::ConnectFailed));
    EXPECT_EQ(failures, 1);
    // The address tried last is the one that stands.
    EXPECT_EQ(socket.RemoteAddress.sin_addr.s_addr, ws::inet_addr("127.0.0.1"));
}

TEST(TcpSocketConnect, ConnectWhileConnectedFailsBeforeAnyLookup) {
    LoopbackServer server(ServerScript().Hold());
    ProbeSocket socket;
    socket.Host = "127.0.0.1";
    socket.Port = server.Port();
    socket.Connect();
    socket.RecordStatus();
    EXPECT_EQ(ConnectError(socket), "Already connected");
    EXPECT_EQ(socket.StatusCount("Resolve Host"), 0);
    EXPECT_TRUE(socket.Connected);
}

TEST(TcpSocketConnect, RefusedConnectionFiresConnectionFailed) {
    RefusingPort refusing;
    TTcpSocket socket;
    int failures = 0;
    socket.OnConnectionFailed = [&](QObject*) { ++failures; };
    socket.Host = "127.0.0.1";
    socket.Port = refusing.Port();
    EXPECT_EQ(ConnectFailure(socket), Failure("Connection Failed", SockFailure::ConnectFailed));
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(socket.Connected);
}

TEST(TcpSocketConnect, ImmediateConnectErrorRaisesItsTextWithoutConnectionFailed) {
    // The system refuses a TCP connect to a multicast group on the spot; no
    // packet leaves the machine.
    TTcpSocket socket;
    int failures = 0;
    socket.OnConnectionFailed = [&](QObject*) { ++failures; };
    socket.Host = "224.0.0.1";
    socket.Port = 80;
    ESockError raised("");
    try {
        socket.Connect();
    } catch (const ESockError& error) {
        raised = error;
    }
    EXPECT_EQ(raised.Message(), "10051:Network is unreachable");
    EXPECT_EQ(raised.Kind(), SockFailure::SocketError);
    EXPECT_EQ(raised.ErrorNo(), ws::WSAENETUNREACH);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(socket.LastErrorNo, ws::WSAENETUNREACH);
}

TEST(TcpSocketConnect, LookupTimesOutOrIsCanceled) {
    GatedResolver resolver(ws::WSAHOST_NOT_FOUND);
    ProbeSocket socket;
    socket.Host = "slow.invalid";
    socket.Port = 80;
    socket.TimeOut = 100;
    EXPECT_EQ(ConnectFailure(socket), Failure("Host Lookup Timed Out", SockFailure::TimedOut));
    EXPECT_TRUE(socket.TimedOut);

    socket.TimeOut = 0;
    RunLater(50ms, &socket, [&] { socket.Cancel(); });
    EXPECT_EQ(ConnectFailure(socket), Failure("Host Lookup Canceled", SockFailure::Canceled));
    EXPECT_TRUE(socket.Canceled);
    EXPECT_FALSE(socket.TimedOut);
}

TEST(TcpSocketConnect, AbandonedLookupCannotFailTheNextConnect) {
    GatedResolver resolver(ws::WSAHOST_NOT_FOUND);
    LoopbackServer server(ServerScript().Hold());
    ProbeSocket socket;
    socket.Host = "slow.invalid";
    socket.TimeOut = 100;
    EXPECT_EQ(ConnectError(socket), "Host Lookup Timed Out");
    // The lookup fails after it was given up, before the next connect waits:
    // were its completion posted, it would be handled inside that wait as a
    // failed socket message.
    resolver.Release();
    for (int pass = 0; pass < 2000 && ws::PendingHostLookups() > 0; ++pass) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(ws::PendingHostLookups(), 0);
    socket.Host = "127.0.0.1";
    socket.Port = server.Port();
    socket.TimeOut = 0;
    socket.Connect();
    EXPECT_TRUE(socket.Connected);
}

TEST(TcpSocketConnect, ConnectTimesOutOrIsCanceled) {
    UnansweringPort silent;
    ProbeSocket socket;
    int failures = 0;
    socket.OnConnectionFailed = [&](QObject*) { ++failures; };
    socket.Host = "127.0.0.1";
    socket.Port = silent.Port();
    socket.TimeOut = 150;
    EXPECT_EQ(ConnectFailure(socket), Failure("Connection Timed out", SockFailure::TimedOut));
    EXPECT_TRUE(socket.TimedOut);
    EXPECT_TRUE(socket.Canceled);
    EXPECT_EQ(failures, 1);

    // A fresh socket for the second attempt, the first one is still trying.
    socket.Disconnect();
    socket.TimeOut = 0;
    RunLater(50ms, &socket, [&] { socket.Cancel(); });
    EXPECT_EQ(ConnectFailure(socket), Failure("Connection Canceled", SockFailure::Canceled));
    EXPECT_FALSE(socket.TimedOut);
    EXPECT_EQ(failures, 2);
}

TEST(TcpSocketConnect, NegativeTimeOutIsARangeError) {
    LoopbackServer server(ServerScript().Hold());
    TTcpSocket socket;
    socket.Host = "127.0.0.1";
    socket.Port = server.Port();
    socket.TimeOut = -1;
    EXPECT_THROW(socket.Connect(), ERangeError);
}

TEST(TcpSocketConnect, ReconnectsAfterDisconnect) {
    LoopbackServer server(ServerScript().ReadUntil("\r\n").Close());
    TTcpSocket socket;
    int disconnects = 0;
    socket.OnDisconnect = [&](QObject*) { ++disconnects; };
    socket.Host = "127.0.0.1";
    socket.Port = server.Port();
    for (const char* line : {"first", "second"}) {
        socket.Connect();
        socket.Writeln(line);
        socket.Disconnect();
        EXPECT_FALSE(socket.Connected);
    }
    EXPECT_EQ(disconnects, 2);
    ASSERT_TRUE(server.WaitForFinished(2));
    EXPECT_EQ(server.Received(0), "first\r\n");
    EXPECT_EQ(server.Received(1), "second\r\n");
}

TEST(TcpSocketConnect, ComponentDestroyedWhileItsLookupRunsIsSafe) {
    GatedResolver resolver;
    auto socket = std::make_unique<TTcpSocket>();
    socket->Host = "held.invalid";
    TTcpSocket* raw = socket.get();
    RunLater(30ms, raw, [raw] { raw->Cancel(); });
    EXPECT_EQ(ConnectError(*socket), "Host Lookup Canceled");
    EXPECT_GE(ws::PendingHostLookups(), 1);
    socket.reset();
    resolver.Release();
    ASSERT_TRUE(ProcessUntil([] { return ws::PendingHostLookups() == 0; }));
    ProcessFor(50ms);
    EXPECT_EQ(TTcpSocket::WinsockUsers(), 0);
}

TEST(TcpSocketConnect, LookupWhoseThreadCannotStartIsAFailedLookup) {
    // Thread starts fail as they do when the system has no thread left.
    struct NoThreads {
        NoThreads() {
            ws::SetLookupThreadStarterForTesting([](std::function<void()>) {
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            });
        }
        ~NoThreads() { ws::SetLookupThreadStarterForTesting({}); }
    };
    LoopbackServer server(ServerScript().Hold());
    ProbeSocket socket;
    socket.Host = "localhost";
    socket.Port = server.Port();
    // Were the wait left to a completion that never comes, the time-out
    // would end it instead.
    socket.TimeOut = 10000;
    int invalidHosts = 0;
    socket.OnInvalidHost = [&](bool&) { ++invalidHosts; };
    {
        NoThreads noThreads;
        EXPECT_EQ(ConnectError(socket), "Null Remote Address");
    }
    EXPECT_FALSE(socket.TimedOut);
    EXPECT_EQ(invalidHosts, 1);
    EXPECT_EQ(socket.LastErrorNo, ws::WSAENOBUFS);
    EXPECT_EQ(ws::PendingHostLookups(), 0);
    EXPECT_EQ(server.ConnectionsAccepted(), 0);

    // Nothing of the failed start is left over to disturb the next lookup.
    socket.Connect();
    EXPECT_TRUE(socket.Connected);
    EXPECT_TRUE(server.WaitForConnections(1));
}

TEST(TcpSocketLife, ComponentOnAThreadWithoutEventDispatcherIsNotMade) {
    // Its waits could never end there, so construction fails instead.
    std::string message = "constructed";
    std::thread plain([&] { message = MessageOf<ESockError>([] { TTcpSocket socket; }); });
    plain.join();
    EXPECT_EQ(message, "Initializaton of windows sockets failed");
    EXPECT_EQ(TTcpSocket::WinsockUsers(), 0);
    EXPECT_EQ(ws::StartupCount(), 0);
}

}  // namespace
}  // namespace vornakle::testing
