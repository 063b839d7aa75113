#pragma once

// Helpers of the socket layer tests.

#include "net/TcpSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vornakle::testing {

// The component with its inner state opened up for the tests.
class ProbeSocket : public TTcpSocket {
public:
    using TTcpSocket::AsyncDone;
    using TTcpSocket::Canceled;
    using TTcpSocket::CheckSocketError;
    using TTcpSocket::ReportStatus;
    using TTcpSocket::SocketHandle;
    using TTcpSocket::Succeeded;
    using TTcpSocket::TimedOut;
    using TTcpSocket::Timer;
    using TTcpSocket::TTcpSocket;
    using TTcpSocket::WindowHandle;

    // Records every status text at every level.
    void RecordStatus(std::int32_t level = 8) {
        ReportLevel = level;
        OnStatus = [this](QObject*, const std::string& text) { statuses.push_back(text); };
    }
    int StatusCount(const std::string& text) const {
        int count = 0;
        for (const std::string& status : statuses) {
            count += status == text ? 1 : 0;
        }
        return count;
    }
    std::vector<std::string> statuses;
};

// Runs action from the event loop after delay, as user input or a timer
// would.
inline void RunLater(std::chrono::milliseconds delay, QObject* context,
                     std::function<void()> action) {
    QTimer::singleShot(delay, context, std::move(action));
}

// Dispatches messages until condition holds or limit passes; returns the
// condition.
inline bool ProcessUntil(const std::function<bool()>& condition,
                         std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    // A ticking timer bounds each blocking dispatch, so the loop idles
    // instead of spinning and still notices the limit.
    QTimer tick;
    tick.start(10);
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < limit.count()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return condition();
}

// Dispatches messages for a while, so that whatever is due gets delivered.
inline void ProcessFor(std::chrono::milliseconds duration) {
    ProcessUntil([] { return false; }, duration);
}

// The message of the exception action throws as E; "" when it throws none.
template <typename E>
std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& error) {
        return error.what();
    }
    return std::string();
}

// The message and the kind of the socket failure action raises as E; empty
// and Other when it raises none.
using Failure = std::pair<std::string, SockFailure>;
template <typename E>
Failure FailureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& error) {
        return {error.what(), error.Kind()};
    }
    return {std::string(), SockFailure::Other};
}

}  // namespace vornakle::testing

namespace vornakle {

// Kinds print as their numbers in failed expectations.
inline void PrintTo(SockFailure kind, std::ostream* out) {
    *out << "SockFailure(" << static_cast<int>(kind) << ")";
}

}  // namespace vornakle
