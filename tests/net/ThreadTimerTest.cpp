#include "net/ThreadTimer.h"

#include "tests/net/NetTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;

TEST(ThreadTimer, RunsOnlyWithIntervalEnabledAndHandler) {
    TThreadTimer timer;
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    // Nothing runs until a handler is set.
    EXPECT_FALSE(timer.WindowHandle()->TimerRunning());
    timer.SetInterval(0);
    int ticks = 0;
    timer.SetOnTimer([&](QObject* sender) {
        EXPECT_EQ(sender, &timer);
        ++ticks;
    });
    EXPECT_FALSE(timer.WindowHandle()->TimerRunning());
    timer.SetInterval(500);
    EXPECT_TRUE(timer.WindowHandle()->TimerRunning());
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.WindowHandle()->TimerRunning());
    EXPECT_EQ(ticks, 0);
}

TEST(ThreadTimer, OnlyARealChangeRestartsThePeriodButANewHandlerAlwaysDoes) {
    TThreadTimer timer;
    timer.SetOnTimer([](QObject*) {});
    TmrWindowClass& window = *timer.WindowHandle();
    ASSERT_EQ(window.TimerStarts(), 1);
    timer.SetEnabled(true);
    timer.SetInterval(1000);
    EXPECT_EQ(window.TimerStarts(), 1);
    timer.SetOnTimer([](QObject*) {});
    EXPECT_EQ(window.TimerStarts(), 2);
    timer.SetInterval(2000);
    EXPECT_EQ(window.TimerStarts(), 3);
    EXPECT_TRUE(window.TimerRunning());
}

TEST(ThreadTimer, AnIntervalTheSystemCannotTimeIsNoTimer) {
    TThreadTimer timer;
    timer.SetOnTimer([](QObject*) {});
    EXPECT_EQ(MessageOf<Exception>([&] { timer.SetInterval(3000000000u); }), "No Timer");
}

TEST(ThreadTimer, TicksRepeatThroughTheMessageQueue) {
    TThreadTimer timer;
    int ticks = 0;
    timer.SetInterval(10);
    timer.SetOnTimer([&](QObject*) { ++ticks; });
    EXPECT_EQ(ticks, 0);  // only a dispatching thread gets ticks
    EXPECT_TRUE(ProcessUntil([&] { return ticks >= 3; }));
}

TEST(ThreadTimer, HandlerExceptionGoesToTheApplicationHandlerAndTheTimerKeepsTicking) {
    std::vector<std::string> reported;
    SetApplicationExceptionHandler([&](std::exception_ptr exception) {
        try {
            std::rethrow_exception(exception);
        } catch (const std::exception& error) {
            reported.push_back(error.what());
        }
    });
    TThreadTimer timer;
    timer.SetInterval(10);
    timer.SetOnTimer([](QObject*) { throw Exception("tick failed"); });
    EXPECT_TRUE(ProcessUntil([&] { return reported.size() >= 2; }));
    SetApplicationExceptionHandler({});
    ASSERT_GE(reported.size(), 2u);
    EXPECT_EQ(reported[0], "tick failed");
    EXPECT_TRUE(timer.Enabled());
}

TEST(SocketWindow, MessagesFromSocketEventUpReachTheOwner) {
    ProbeSocket socket;
    socket.Succeeded = true;
    // Below the socket messages: default processing, the owner sees nothing.
    winsock::PostMessage(socket.WindowHandle.get(), WM_SOCKET_EVENT - 1, 0,
                         winsock::WSAMAKESELECTREPLY(0, 10054));
    ProcessFor(50ms);
    EXPECT_TRUE(socket.Succeeded);
    // 1127 is no message of the component, but it reaches it, which records
    // its error part.
    winsock::PostMessage(socket.WindowHandle.get(), 1127, 0, winsock::WSAMAKESELECTREPLY(0, 10054));
    EXPECT_TRUE(ProcessUntil([&] { return !socket.Succeeded; }));
}

TEST(SocketWindow, EachComponentHasItsOwnWindowOfTheOneClass) {
    ProbeSocket first;
    ProbeSocket second;
    ASSERT_NE(first.WindowHandle, nullptr);
    ASSERT_NE(second.WindowHandle, nullptr);
    EXPECT_NE(first.WindowHandle.get(), second.WindowHandle.get());
    EXPECT_STREQ(first.WindowHandle->metaObject()->className(),
                 second.WindowHandle->metaObject()->className());
    EXPECT_EQ(first.WindowHandle->objectName(), "SockWindowClass");
    EXPECT_EQ(first.Timer->WindowHandle()->objectName(), "TmrWindowClass");
}

}  // namespace
}  // namespace vornakle::testing
