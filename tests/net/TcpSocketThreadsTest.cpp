#include "net/TcpSocket.h"

#include "support/LoopbackServer.h"
#include "tests/net/NetTestSupport.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace vornakle::testing {
namespace {

constexpr int kCycles = 25;

// Runs connect, line exchange and disconnect cycles with a component made on
// the calling thread; returns "" or the first failure.
std::string RunCycles(const std::string& host, std::uint16_t port) {
    try {
        TTcpSocket socket;
        socket.Host = host;
        socket.Port = port;
        socket.TimeOut = 20000;
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            socket.Connect();
            const std::string line = "line " + std::to_string(cycle);
            socket.Writeln(line);
            const std::string echoed = socket.ReadLn();
            if (echoed != line + "\r\n") {
                return "echo was \"" + echoed + "\"";
            }
            socket.Disconnect();
        }
    } catch (const std::exception& error) {
        return error.what();
    }
    return std::string();
}

TEST(TcpSocketThreads, ComponentsOnTwoThreadsWorkIndependently) {
    LoopbackServer first(ServerScript().Echo());
    LoopbackServer second(ServerScript().Echo());
    std::string firstResult = "not run";
    std::string secondResult = "not run";
    std::unique_ptr<QThread> firstThread(
        QThread::create([&] { firstResult = RunCycles("localhost", first.Port()); }));
    std::unique_ptr<QThread> secondThread(
        QThread::create([&] { secondResult = RunCycles("127.0.0.1", second.Port()); }));
    firstThread->start();
    secondThread->start();
    // A component on this thread at the same time.
    const std::string mainResult = RunCycles("127.0.0.1", second.Port());
    ASSERT_TRUE(firstThread->wait(QDeadlineTimer(60000)));
    ASSERT_TRUE(secondThread->wait(QDeadlineTimer(60000)));
    EXPECT_EQ(firstResult, "");
    EXPECT_EQ(secondResult, "");
    EXPECT_EQ(mainResult, "");
    EXPECT_EQ(first.ConnectionsAccepted(), kCycles);
    EXPECT_EQ(second.ConnectionsAccepted(), 2 * kCycles);
    EXPECT_EQ(TTcpSocket::WinsockUsers(), 0);
    EXPECT_EQ(winsock::StartupCount(), 0);
}

}  // namespace
}  // namespace vornakle::testing
