#include "net/TcpSocket.h"

#include "support/LoopbackServer.h"
#include "support/TempTree.h"
#include "tests/net/NetTestSupport.h"

#include <gtest/gtest.h>

#include <poll.h>

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;
namespace ws = vornakle::winsock;

// A component connected to a server running script.
class Connection {
public:
    explicit Connection(ServerScript script, LoopbackServer::Options options = {})
        : server(std::move(script), options) {
        socket.Host = "127.0.0.1";
        socket.Port = server.Port();
        socket.Connect();
    }
    LoopbackServer server;
    ProbeSocket socket;
};

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<char>('a' + (index * 7 + index / 251) % 26);
    }
    return bytes;
}

TEST(TcpSocketReadLn, ReadsOneLineAtATimeWithItsLineEnd) {
    Connection connection(ServerScript().Send("A\r\nB\r\n\r\n").Hold());
    TTcpSocket& socket = connection.socket;
    EXPECT_EQ(socket.ReadLn(), "A\r\n");
    // The rest stayed in the socket.
    EXPECT_TRUE(socket.DataAvailable());
    EXPECT_EQ(socket.ReadLn(), "B\r\n");
    EXPECT_EQ(socket.ReadLn(), "\r\n");
}

TEST(TcpSocketReadLn, JoinsALineSentInPiecesAndKeepsBareCarriageReturns) {
    Connection connection(
        ServerScript().Send("Hel").Pause(40ms).Send("lo\r").Pause(40ms).Send("\nx\ry\rz\n").Hold());
    TTcpSocket& socket = connection.socket;
    EXPECT_EQ(socket.ReadLn(), "Hello\r\n");
    EXPECT_EQ(socket.ReadLn(), "x\ry\rz\n");
}

TEST(TcpSocketReadLn, WhatFollowsALineReachesTheOtherReadersWholeAndInOrder) {
    // ReadLn takes in more than its line; the next ReadLn, DataAvailable and
    // the captures get those bytes before the socket's.
    const std::string body = Pattern(300000);
    struct Case {
        std::string sent;
        std::vector<std::string> lines;
        std::string rest;
    };
    const Case cases[] = {
        {"head\r\n\r\n" + body, {"head\r\n", "\r\n"}, body},
        {"a\nb\nc", {"a\n", "b\n"}, "c"},
        {"x\n", {"x\n"}, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.sent.substr(0, 12));
        Connection connection(ServerScript().Send(test.sent).Close());
        ProbeSocket& socket = connection.socket;
        for (const std::string& line : test.lines) {
            EXPECT_EQ(socket.ReadLn(), line);
        }
        if (!test.rest.empty()) {
            EXPECT_TRUE(socket.DataAvailable());
        }
        std::string captured;
        socket.CaptureString(captured, -1);
        EXPECT_EQ(captured, test.rest);
        EXPECT_EQ(socket.BytesRecvd, static_cast<std::int32_t>(test.rest.size()));
        EXPECT_EQ(socket.ReadLn(), "");
    }
}

TEST(TcpSocketReadLn, LineLongerThanTheBufferIsARangeError) {
    Connection connection(ServerScript().Send(std::string(70000, 'x')).Hold());
    EXPECT_THROW(connection.socket.ReadLn(), ELineTooLong);
}

TEST(TcpSocketReadLn, EndOfStreamGivesEmptyLinesAndDropsAnUnfinishedLine) {
    Connection connection(ServerScript().Send("full\npartial").Close());
    TTcpSocket& socket = connection.socket;
    EXPECT_EQ(socket.ReadLn(), "full\n");
    EXPECT_EQ(socket.ReadLn(), "");
    EXPECT_EQ(socket.ReadLn(), "");
}

TEST(TcpSocketReadLn, PeerCloseWithUnreadDataKeepsTheConnectionUntilDrained) {
    Connection connection(ServerScript().Send("one\ntwo\n").Close());
    ProbeSocket& socket = connection.socket;
    int disconnects = 0;
    socket.OnDisconnect = [&](QObject*) { ++disconnects; };
    ASSERT_TRUE(connection.server.WaitForFinished(1));
    // The close notification is handled while data is still unread.
    ProcessFor(200ms);
    EXPECT_TRUE(socket.Connected);
    EXPECT_EQ(disconnects, 0);
    EXPECT_EQ(socket.ReadLn(), "one\n");
    EXPECT_EQ(socket.ReadLn(), "two\n");
    EXPECT_EQ(socket.ReadLn(), "");
    socket.Disconnect();
    EXPECT_FALSE(socket.Connected);
}

TEST(TcpSocketReadLn, ReadAfterTheCloseWasHandledEndsEmpty) {
    // With nothing left to read, the close notification replaces the socket;
    // the next read meets 10057 and ends like the end of the stream.
    Connection connection(ServerScript().Close());
    ProbeSocket& socket = connection.socket;
    int disconnects = 0;
    socket.OnDisconnect = [&](QObject*) { ++disconnects; };
    ASSERT_TRUE(ProcessUntil([&] { return disconnects == 1; }));
    EXPECT_FALSE(socket.Connected);
    EXPECT_EQ(socket.ReadLn(), "");
    EXPECT_EQ(socket.LastErrorNo, ws::WSAENOTCONN);
    std::string captured = "old";
    socket.CaptureString(captured, -1);
    EXPECT_EQ(captured, "");
}

TEST(TcpSocketReadLn, ResetByPeerRaisesItsText) {
    Connection connection(ServerScript().ReadUntil("go\r\n").Reset());
    ProbeSocket& socket = connection.socket;
    socket.Writeln("go");
    ASSERT_TRUE(connection.server.WaitForFinished(1));
    // Wait for the reset to reach the socket, without dispatching anything.
    pollfd descriptor{socket.SocketHandle, POLLIN, 0};
    ASSERT_EQ(::poll(&descriptor, 1, 20000), 1);
    EXPECT_EQ(MessageOf<ESockError>([&] { socket.ReadLn(); }), "10054:Connection reset by peer");
}

TEST(TcpSocketReadLn, TimesOutOnASilentServerOrIsCanceled) {
    Connection connection(ServerScript().Hold());
    ProbeSocket& socket = connection.socket;
    socket.TimeOut = 150;
    EXPECT_EQ(FailureOf<EAbortError>([&] { socket.ReadLn(); }),
              Failure("Socket readln aborted", SockFailure::TimedOut));
    EXPECT_FALSE(socket.Canceled);  // consumed by the abort

    socket.TimeOut = 0;
    RunLater(50ms, &socket, [&] { socket.Cancel(); });
    EXPECT_EQ(FailureOf<EAbortError>([&] { socket.ReadLn(); }),
              Failure("Socket readln aborted", SockFailure::Canceled));
    EXPECT_TRUE(socket.Connected);
}

TEST(TcpSocketWrite, SendsExactlyTheTextUpToAZeroByte) {
    Connection connection(ServerScript().ReadUntil("end\r\n").Close());
    TTcpSocket& socket = connection.socket;
    socket.Writeln("");
    socket.Write(std::string("ab\0cd", 5));
    socket.Writeln("");
    socket.Write("end");
    socket.Writeln("");
    ASSERT_TRUE(connection.server.WaitForFinished(1));
    EXPECT_EQ(connection.server.Received(), "\r\nab\r\nend\r\n");
}

TEST(TcpSocketWrite, SendingIntoAResetConnectionRaisesTheResetText) {
    Connection connection(ServerScript().Reset());
    ProbeSocket& socket = connection.socket;
    ASSERT_TRUE(connection.server.WaitForFinished(1));
    pollfd descriptor{socket.SocketHandle, POLLIN, 0};
    ASSERT_EQ(::poll(&descriptor, 1, 20000), 1);
    // Neither the first send after the reset nor a later one passes.
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(MessageOf<ESockError>([&] { socket.Writeln("late"); }),
                  "10054:Connection reset by peer");
    }
}

TEST(TcpSocketWrite, OversizedTextIsARangeError) {
    Connection connection(ServerScript().Hold());
    EXPECT_THROW(connection.socket.Write(std::string(70000, 'x')), ERangeError);
    EXPECT_THROW(connection.socket.Writeln(std::string(65534, 'x')), ERangeError);
}

TEST(TcpSocketWrite, PendingCancelAbortsWithoutSending) {
    Connection connection(ServerScript().Hold());
    ProbeSocket& socket = connection.socket;
    socket.Cancel();
    EXPECT_EQ(MessageOf<EAbortError>([&] { socket.Writeln("never"); }), "Socket send aborted");
    EXPECT_FALSE(socket.Canceled);
    socket.Writeln("sent");
    ASSERT_TRUE(connection.server.WaitForReceived(0, "sent\r\n"));
    EXPECT_EQ(connection.server.Received(), "sent\r\n");
}

TEST(TcpSocketWrite, PeerThatStopsReadingEndsTheSendAfterTheTimeOut) {
    LoopbackServer::Options options;
    options.receiveBufferBytes = 4096;
    Connection connection(ServerScript().HoldWithoutReading(), options);
    ProbeSocket& socket = connection.socket;
    const int small = 4096;
    ws::setsockopt(socket.SocketHandle, ws::SOL_SOCKET, ws::SO_SNDBUF,
                   reinterpret_cast<const char*>(&small), sizeof small);
    socket.TimeOut = 200;
    const std::string chunk(60000, 'x');
    Failure failure;
    for (int attempt = 0; attempt < 1000 && failure.first.empty(); ++attempt) {
        failure = FailureOf<EAbortError>([&] { socket.Write(chunk); });
    }
    EXPECT_EQ(failure, Failure("Socket send aborted", SockFailure::TimedOut));
}

TEST(TcpSocketCapture, StringCaptureTakesEverythingUpToTheClose) {
    const std::string body = Pattern(300000);
    Connection connection(ServerScript().Send(body).Close());
    ProbeSocket& socket = connection.socket;
    int packets = 0;
    socket.OnPacketRecvd = [&](QObject*) { ++packets; };
    std::string captured = "old";
    socket.CaptureString(captured, -1);
    EXPECT_EQ(captured, body);
    EXPECT_EQ(socket.BytesRecvd, static_cast<std::int32_t>(body.size()));
    EXPECT_GE(packets, 1);
}

TEST(TcpSocketCapture, MaxLengthIsTestedBeforeEachReceiveAndNotCut) {
    const std::string hundred = Pattern(100);
    Connection connection(ServerScript().Send(hundred).Hold());
    ProbeSocket& socket = connection.socket;
    ASSERT_TRUE(ProcessUntil([&] { return socket.DataAvailable(); }));
    std::string captured;
    socket.CaptureString(captured, 10);
    EXPECT_EQ(captured, hundred);
}

TEST(TcpSocketCapture, SilentServerTimesOut) {
    Connection silent(ServerScript().Hold());
    silent.socket.TimeOut = 150;
    std::string captured;
    EXPECT_EQ(MessageOf<EAbortError>([&] { silent.socket.CaptureString(captured, -1); }),
              "Socket capture aborted");
    TempTree files;
    EXPECT_EQ(FailureOf<EAbortError>([&] { silent.socket.CaptureFile(files.Path("body")); }),
              Failure("Socket send aborted", SockFailure::TimedOut));
}

// Regression: re-arming the running timer with an unchanged interval used to
// leave the old period running, so a capture timed out a TimeOut after its
// start however steadily data came.
TEST(TcpSocketCapture, TimeOutRestartsWithEveryChunkSoATrickleNeverTimesOut) {
    std::string captured;
    // Fifty chunks over about two and a half seconds: far longer than the
    // time-out, but no gap comes near it, as it restarts with every chunk.
    Connection trickle(ServerScript().Trickle("c", 50ms, 50).Close());
    trickle.socket.TimeOut = 1000;
    trickle.socket.CaptureString(captured, -1);
    EXPECT_EQ(captured, std::string(50, 'c'));
}

TEST(TcpSocketCapture, CancelFromAHandlerEndsAnEndlessStream) {
    Connection endless(ServerScript().Trickle(Pattern(1000), 1ms, 0));
    ProbeSocket& socket = endless.socket;
    socket.OnPacketRecvd = [&](QObject*) {
        if (socket.BytesRecvd >= 20000) {
            socket.Cancel();
        }
    };
    std::string captured;
    EXPECT_EQ(MessageOf<EAbortError>([&] { socket.CaptureString(captured, -1); }),
              "Socket capture aborted");
    EXPECT_GE(captured.size(), 20000u);
    EXPECT_FALSE(socket.Canceled);
}

TEST(TcpSocketCapture, FileCaptureWritesTheStreamToTheFile) {
    const std::string body = Pattern(200000);
    Connection connection(ServerScript().Send(body).Close());
    TempTree files;
    files.WriteFile("body", "previous content that must go");
    connection.socket.CaptureFile(files.Path("body"));
    EXPECT_EQ(files.ReadFile("body"), body);
    EXPECT_EQ(connection.socket.BytesRecvd, static_cast<std::int32_t>(body.size()));
}

TEST(TcpSocketSendFile, SendsTheWholeFileAndCountsIt) {
    const std::string content = Pattern(150000);
    TempTree files;
    files.WriteFile("upload", content);
    Connection connection(ServerScript().Hold());
    ProbeSocket& socket = connection.socket;
    int packets = 0;
    socket.OnPacketSent = [&](QObject*) { ++packets; };
    socket.SendFile(files.Path("upload"));
    socket.SendFile(files.Path("upload"));
    EXPECT_EQ(socket.BytesSent, static_cast<std::int32_t>(2 * content.size()));
    EXPECT_GE(packets, 2);
    ASSERT_TRUE(connection.server.WaitForReceived(0, content + content));
    EXPECT_EQ(connection.server.Received(), content + content);

    EXPECT_THROW(socket.SendFile(files.Path("missing")), EFileError);
}

TEST(TcpSocketSendFile, PeerThatStopsReadingEndsTheSendAfterTheTimeOut) {
    // Far more than the two small socket buffers between the ends can hold.
    const std::string content = Pattern(4 * 1024 * 1024);
    TempTree files;
    files.WriteFile("upload", content);
    LoopbackServer::Options options;
    options.receiveBufferBytes = 4096;
    Connection connection(ServerScript().HoldWithoutReading(), options);
    ProbeSocket& socket = connection.socket;
    const int small = 4096;
    ws::setsockopt(socket.SocketHandle, ws::SOL_SOCKET, ws::SO_SNDBUF,
                   reinterpret_cast<const char*>(&small), sizeof small);
    socket.TimeOut = 200;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FailureOf<EAbortError>([&] { socket.SendFile(files.Path("upload")); }),
              Failure("Socket send aborted", SockFailure::TimedOut));
    // Ended by the TimeOut, not by the limit that holds without one.
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(TTcpSocket::kSendStallLimitMilliseconds));
    EXPECT_GT(socket.BytesSent, 0);
    EXPECT_LT(socket.BytesSent, static_cast<std::int32_t>(content.size()));
    EXPECT_FALSE(socket.Canceled);
}

TEST(TcpSocketTransaction, ReplyNumberIsTheLeadingNumberOfTheReply) {
    Connection connection(ServerScript()
                              .ReadUntil("A\r\n")
                              .Send("250 OK\r\n")
                              .ReadUntil("B\r\n")
                              .Send("OK then\r\n")
                              .ReadUntil("C\r\n")
                              .Send("99999999999 too long\r\n")
                              .ReadUntil("D\r\n")
                              .Send("40000 beyond\r\n")
                              .Hold());
    ProbeSocket& socket = connection.socket;
    socket.RecordStatus(1);
    EXPECT_EQ(socket.Transaction("A"), "250 OK\r\n");
    EXPECT_EQ(socket.ReplyNumber, 250);
    EXPECT_EQ(socket.LastReply, "250 OK\r\n");
    EXPECT_EQ(socket.statuses, (std::vector<std::string>{"250 OK\r\n"}));
    socket.Transaction("B");
    EXPECT_EQ(socket.ReplyNumber, 0);
    socket.Transaction("C");
    EXPECT_EQ(socket.ReplyNumber, 0);
    EXPECT_THROW(socket.Transaction("D"), ERangeError);
}

TEST(TcpSocketAccept, TakesAnIncomingConnection) {
    ProbeSocket listener;
    ws::sockaddr_in address{};
    address.sin_family = ws::AF_INET;
    address.sin_addr.s_addr = ws::inet_addr("127.0.0.1");
    ASSERT_EQ(
        ws::bind(listener.SocketHandle, reinterpret_cast<ws::sockaddr*>(&address), sizeof address),
        0);
    ASSERT_EQ(ws::listen(listener.SocketHandle, 4), 0);
    int length = sizeof address;
    ws::getsockname(listener.SocketHandle, reinterpret_cast<ws::sockaddr*>(&address), &length);

    TTcpSocket client;
    client.Host = "127.0.0.1";
    client.Port = ws::ntohs(address.sin_port);
    client.Connect();
    const ws::SOCKET accepted = listener.Accept();
    EXPECT_NE(accepted, ws::INVALID_SOCKET);
    EXPECT_EQ(listener.RemoteAddress.sin_addr.s_addr, ws::inet_addr("127.0.0.1"));
    client.Writeln("hello");
    char buffer[16] = {};
    ASSERT_TRUE(ProcessUntil([&] { return ws::recv(accepted, buffer, 7, ws::MSG_PEEK) == 7; }));
    EXPECT_EQ(std::string(buffer, 7), "hello\r\n");
    ws::closesocket(accepted);

    listener.Cancel();
    EXPECT_EQ(MessageOf<ESockError>([&] { listener.Accept(); }), "Accepting Canceled");
}

}  // namespace
}  // namespace vornakle::testing
