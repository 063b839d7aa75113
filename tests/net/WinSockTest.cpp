#include "platform/WinSock.h"

#include "support/LoopbackServer.h"
#include "tests/net/NetTestSupport.h"

#include <QAbstractEventDispatcher>
#include <QObject>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;
namespace ws = vornakle::winsock;

constexpr ws::UINT kMessage = 2000;

// A hidden window that records the messages it is given.
class RecordingWindow : public QObject {
public:
    struct Record {
        ws::UINT message;
        int event;
        int error;
    };
    std::vector<Record> records;
    // While set, events are kept undelivered instead of recorded.
    bool hold = false;
    std::vector<std::unique_ptr<ws::MessageEvent>> held;

    int Count(int event) const {
        int count = 0;
        for (const Record& record : records) {
            count += record.event == event ? 1 : 0;
        }
        return count;
    }

protected:
    bool event(QEvent* event) override {
        if (event->type() != ws::MessageEvent::EventType()) {
            return QObject::event(event);
        }
        const auto* message = static_cast<const ws::MessageEvent*>(event);
        if (hold) {
            held.emplace_back(message->clone());
        } else if (message->Deliverable()) {
            records.push_back({message->Message(), ws::WSAGETSELECTEVENT(message->LParam()),
                               ws::WSAGETSELECTERROR(message->LParam())});
        }
        return true;
    }
};

// WinSock started for the length of a test.
class WinSockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ws::WSADATA data{};
        ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
    }
    void TearDown() override {
        ws::SetHostResolverForTesting({});
        ws::WSACleanup();
    }

    ws::sockaddr_in Loopback(std::uint16_t port) {
        ws::sockaddr_in address{};
        address.sin_family = ws::AF_INET;
        address.sin_port = ws::htons(port);
        address.sin_addr.s_addr = ws::inet_addr("127.0.0.1");
        return address;
    }

    // A registered socket, connected to port (the FD_CONNECT is consumed).
    ws::SOCKET ConnectedSocket(RecordingWindow& window, std::uint16_t port) {
        const ws::SOCKET socket = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
        EXPECT_NE(socket, ws::INVALID_SOCKET);
        EXPECT_EQ(ws::WSAAsyncSelect(socket, &window, kMessage,
                                     ws::FD_READ | ws::FD_CONNECT | ws::FD_CLOSE),
                  0);
        const ws::sockaddr_in address = Loopback(port);
        ws::connect(socket, reinterpret_cast<const ws::sockaddr*>(&address), sizeof address);
        EXPECT_TRUE(ProcessUntil([&] { return window.Count(ws::FD_CONNECT) == 1; }));
        return socket;
    }
};

TEST(WinSockStartup, CallsBeforeStartupFailWithNotInitialised) {
    ASSERT_EQ(ws::StartupCount(), 0);
    EXPECT_EQ(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
    EXPECT_EQ(ws::WSACleanup(), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
}

TEST_F(WinSockTest, StartupReportsVersionOnePointOne) {
    ws::WSADATA data{};
    ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_GT(data.iMaxSockets, 0);
    EXPECT_EQ(ws::StartupCount(), 2);
    ws::WSACleanup();
    EXPECT_EQ(ws::WSAStartup(0x0001, &data), ws::WSAVERNOTSUPPORTED);
}

TEST_F(WinSockTest, AsyncSelectRefusesAMissingWindow) {
    const ws::SOCKET socket = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    EXPECT_EQ(ws::WSAAsyncSelect(socket, nullptr, kMessage, ws::FD_READ), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEINVAL);
    ws::closesocket(socket);
}

TEST_F(WinSockTest, RefusedConnectPostsConnectWithTheError) {
    RefusingPort refusing;
    RecordingWindow window;
    const ws::SOCKET socket = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    ws::WSAAsyncSelect(socket, &window, kMessage, ws::FD_CONNECT | ws::FD_CLOSE);
    const ws::sockaddr_in address = Loopback(refusing.Port());
    const int result =
        ws::connect(socket, reinterpret_cast<const ws::sockaddr*>(&address), sizeof address);
    ASSERT_EQ(result, ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
    ASSERT_TRUE(ProcessUntil([&] { return !window.records.empty(); }));
    ProcessFor(100ms);
    ASSERT_EQ(window.records.size(), 1u);
    EXPECT_EQ(window.records[0].message, kMessage);
    EXPECT_EQ(window.records[0].event, ws::FD_CONNECT);
    EXPECT_EQ(window.records[0].error, ws::WSAECONNREFUSED);
    ws::closesocket(socket);
}

TEST_F(WinSockTest, ReadEventIsNotRepostedUntilRecv) {
    LoopbackServer server(
        ServerScript().Send("one").Pause(30ms).Send("two").Pause(30ms).Send("three").Hold());
    RecordingWindow window;
    const ws::SOCKET socket = ConnectedSocket(window, server.Port());
    // All three pieces arrive while nobody reads: one FD_READ, no flood, and
    // the unread data does not keep waking the thread (the test's own timer
    // ticks every 10 ms).
    ASSERT_TRUE(ProcessUntil([&] { return window.Count(ws::FD_READ) == 1; }));
    int wakeUps = 0;
    const QMetaObject::Connection counting = QObject::connect(
        QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [&] { ++wakeUps; });
    ProcessFor(300ms);
    QObject::disconnect(counting);
    EXPECT_EQ(window.Count(ws::FD_READ), 1);
    EXPECT_LT(wakeUps, 150);

    // A peek re-enables the event; the data is still there, so it comes again.
    char buffer[64];
    EXPECT_GT(ws::recv(socket, buffer, 3, ws::MSG_PEEK), 0);
    ASSERT_TRUE(ProcessUntil([&] { return window.Count(ws::FD_READ) == 2; }));
    // Everything read: nothing more to announce.
    std::string all;
    while (all.size() < 11) {
        const int got = ws::recv(socket, buffer, sizeof buffer, 0);
        if (got > 0) {
            all.append(buffer, got);
        } else {
            ProcessFor(10ms);
        }
    }
    EXPECT_EQ(all, "onetwothree");
    ProcessFor(200ms);
    EXPECT_LE(window.Count(ws::FD_READ), 3);
    EXPECT_EQ(window.Count(ws::FD_CLOSE), 0);
    ws::closesocket(socket);
}

TEST_F(WinSockTest, PeerCloseIsPostedOnceAndResetCarriesItsError) {
    LoopbackServer graceful(ServerScript().Close());
    LoopbackServer resetting(ServerScript().Reset());
    RecordingWindow gracefulWindow;
    RecordingWindow resetWindow;
    const ws::SOCKET first = ConnectedSocket(gracefulWindow, graceful.Port());
    const ws::SOCKET second = ConnectedSocket(resetWindow, resetting.Port());
    ASSERT_TRUE(ProcessUntil([&] {
        return gracefulWindow.Count(ws::FD_CLOSE) == 1 && resetWindow.Count(ws::FD_CLOSE) == 1;
    }));
    ProcessFor(200ms);
    EXPECT_EQ(gracefulWindow.Count(ws::FD_CLOSE), 1);
    EXPECT_EQ(gracefulWindow.records.back().error, 0);
    EXPECT_EQ(resetWindow.Count(ws::FD_CLOSE), 1);
    EXPECT_EQ(resetWindow.records.back().error, ws::WSAECONNRESET);
    // The reset stays visible to recv, as WinSock keeps reporting it.
    char byte;
    EXPECT_EQ(ws::recv(second, &byte, 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAECONNRESET);
    EXPECT_EQ(ws::recv(first, &byte, 1, 0), 0);
    ws::closesocket(first);
    ws::closesocket(second);
}

TEST_F(WinSockTest, EventsOfAClosedSocketAreNotDeliverable) {
    LoopbackServer server(ServerScript().Send("data").Hold());
    RecordingWindow window;
    const ws::SOCKET socket = ConnectedSocket(window, server.Port());
    window.hold = true;
    ASSERT_TRUE(ProcessUntil([&] { return !window.held.empty(); }));
    EXPECT_TRUE(window.held[0]->Deliverable());
    ws::closesocket(socket);
    EXPECT_FALSE(window.held[0]->Deliverable());
    // A fresh socket may well get the same number; the old event is not its.
    const ws::SOCKET fresh = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    ws::WSAAsyncSelect(fresh, &window, kMessage, ws::FD_READ | ws::FD_CLOSE);
    EXPECT_FALSE(window.held[0]->Deliverable());
    ws::closesocket(fresh);
}

TEST_F(WinSockTest, LookupOfLocalhostFillsTheHostEntry) {
    RecordingWindow window;
    alignas(ws::hostent) char buffer[ws::MAXGETHOSTSTRUCT];
    const ws::HANDLE task =
        ws::WSAAsyncGetHostByName(&window, kMessage, "localhost", buffer, sizeof buffer);
    ASSERT_NE(task, 0u);
    ASSERT_TRUE(ProcessUntil([&] { return !window.records.empty(); }));
    EXPECT_EQ(window.records[0].error, 0);
    ws::hostent entry;
    std::memcpy(&entry, buffer, sizeof entry);
    ASSERT_NE(entry.h_addr_list, nullptr);
    ASSERT_NE(entry.h_addr_list[0], nullptr);
    std::uint32_t address;
    std::memcpy(&address, entry.h_addr_list[0], sizeof address);
    EXPECT_EQ(address, ws::inet_addr("127.0.0.1"));
}

TEST_F(WinSockTest, LookupOfAnUnresolvableNameReportsAResolverError) {
    RecordingWindow window;
    alignas(ws::hostent) char buffer[ws::MAXGETHOSTSTRUCT];
    ASSERT_NE(
        ws::WSAAsyncGetHostByName(&window, kMessage, "no-such-host.invalid", buffer, sizeof buffer),
        0u);
    ASSERT_TRUE(ProcessUntil([&] { return !window.records.empty(); }));
    EXPECT_GE(window.records[0].error, ws::WSAHOST_NOT_FOUND);
    EXPECT_LE(window.records[0].error, ws::WSANO_DATA);
}

// Holds every lookup until released.
class GatedResolver {
public:
    ws::HostResolver Resolver() {
        return [this](const std::string& name, std::vector<ws::SOCKADDR_INET>& addresses) {
            std::unique_lock lock(mutex_);
            names_.push_back(name);
            released_.wait(lock, [this] { return open_; });
            addresses.push_back(ws::NumericAddress("127.0.0.1"));
            return 0;
        };
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

bool WaitForLookupsToFinish() {
    return ProcessUntil([] { return ws::PendingHostLookups() == 0; });
}

TEST_F(WinSockTest, LookupFinishingAfterItsWindowIsGoneWritesAndPostsNothing) {
    GatedResolver gate;
    ws::SetHostResolverForTesting(gate.Resolver());
    alignas(ws::hostent) char buffer[ws::MAXGETHOSTSTRUCT];
    std::memset(buffer, 0x5A, sizeof buffer);
    {
        RecordingWindow window;
        ASSERT_NE(
            ws::WSAAsyncGetHostByName(&window, kMessage, "example.invalid", buffer, sizeof buffer),
            0u);
    }
    gate.Release();
    ASSERT_TRUE(WaitForLookupsToFinish());
    ProcessFor(50ms);
    for (const char byte : buffer) {
        ASSERT_EQ(byte, 0x5A);
    }
}

TEST_F(WinSockTest, CancelledLookupPostsNothing) {
    GatedResolver gate;
    ws::SetHostResolverForTesting(gate.Resolver());
    RecordingWindow window;
    alignas(ws::hostent) char buffer[ws::MAXGETHOSTSTRUCT];
    const ws::HANDLE task =
        ws::WSAAsyncGetHostByName(&window, kMessage, "example.invalid", buffer, sizeof buffer);
    ASSERT_NE(task, 0u);
    EXPECT_EQ(ws::WSACancelAsyncRequest(task), 0);
    EXPECT_EQ(ws::WSACancelAsyncRequest(task), ws::SOCKET_ERROR);
    gate.Release();
    ASSERT_TRUE(WaitForLookupsToFinish());
    ProcessFor(50ms);
    EXPECT_TRUE(window.records.empty());
}

TEST_F(WinSockTest, AddressLookupGivesEveryAddressInTheResolversOrder) {
    ws::SetHostResolverForTesting([](const std::string&, std::vector<ws::SOCKADDR_INET>& found) {
        for (const char* address : {"::1", "127.0.0.1", "2001:db8::7", "192.0.2.1"}) {
            found.push_back(ws::NumericAddress(address));
        }
        return 0;
    });
    RecordingWindow window;
    alignas(ws::addrinfo) char buffer[ws::MAXGETHOSTSTRUCT];
    ASSERT_NE(ws::WSAAsyncGetAddrInfo(&window, kMessage, "dual.invalid", buffer, sizeof buffer),
              0u);
    ASSERT_TRUE(ProcessUntil([&] { return !window.records.empty(); }));
    EXPECT_EQ(window.records[0].error, 0);
    std::vector<std::pair<int, std::size_t>> families;
    for (const char* record = buffer; record != nullptr;) {
        ws::addrinfo entry;
        std::memcpy(&entry, record, sizeof entry);
        families.emplace_back(entry.ai_family, entry.ai_addrlen);
        record = reinterpret_cast<const char*>(entry.ai_next);
    }
    const std::vector<std::pair<int, std::size_t>> expected = {
        {ws::AF_INET6, sizeof(ws::sockaddr_in6)},
        {ws::AF_INET, sizeof(ws::sockaddr_in)},
        {ws::AF_INET6, sizeof(ws::sockaddr_in6)},
        {ws::AF_INET, sizeof(ws::sockaddr_in)}};
    EXPECT_EQ(families, expected);

    // A host entry has room for one family: WinSock 1.1's IPv4 ones.
    window.records.clear();
    alignas(ws::hostent) char entryBuffer[ws::MAXGETHOSTSTRUCT];
    ASSERT_NE(ws::WSAAsyncGetHostByName(&window, kMessage, "dual.invalid", entryBuffer,
                                        sizeof entryBuffer),
              0u);
    ASSERT_TRUE(ProcessUntil([&] { return !window.records.empty(); }));
    ws::hostent entry;
    std::memcpy(&entry, entryBuffer, sizeof entry);
    EXPECT_EQ(entry.h_addrtype, ws::AF_INET);
    std::uint32_t first = 0;
    std::memcpy(&first, entry.h_addr_list[0], sizeof first);
    EXPECT_EQ(first, ws::inet_addr("127.0.0.1"));
    ASSERT_NE(entry.h_addr_list[1], nullptr);
    EXPECT_EQ(entry.h_addr_list[2], nullptr);
}

TEST(WinSockAddresses, NumericAddressesOfBothFamilies) {
    const std::pair<const char*, int> cases[] = {
        {"127.0.0.1", ws::AF_INET},     {"::1", ws::AF_INET6},
        {"[::1]", ws::AF_INET6},        {"[fe80::1]", ws::AF_INET6},
        {"[127.0.0.1]", ws::AF_UNSPEC}, {"localhost", ws::AF_UNSPEC},
        {"[::1", ws::AF_UNSPEC},        {"", ws::AF_UNSPEC}};
    for (const auto& [text, family] : cases) {
        EXPECT_EQ(ws::NumericAddress(text).si_family, family) << text;
    }
}

TEST(WinSockAddresses, InetAddrTakesOnlyDottedAddresses) {
    const std::uint32_t loopback = ws::inet_addr("127.0.0.1");
    unsigned char bytes[4];
    std::memcpy(bytes, &loopback, sizeof bytes);
    EXPECT_EQ(bytes[0], 127);
    EXPECT_EQ(bytes[3], 1);
    EXPECT_EQ(ws::inet_addr("localhost"), ws::INADDR_NONE);
    EXPECT_EQ(ws::inet_addr(""), ws::INADDR_NONE);
    EXPECT_EQ(ws::inet_addr("255.255.255.255"), ws::INADDR_NONE);
    EXPECT_EQ(ws::ntohs(ws::htons(8080)), 8080);
}

}  // namespace
}  // namespace vornakle::testing
