#pragma once

#include <QTimer>

#include <cstdint>

namespace vornakle {

class THttpClient;

// Aborts the client's request under way once milliseconds have passed (never
// for 0 or less). The abort runs on this thread, inside a wait of the
// request, as the client requires; make it on the client's thread.
class CheckDeadline {
public:
    CheckDeadline(THttpClient& client, std::int64_t milliseconds);

    CheckDeadline(const CheckDeadline&) = delete;
    CheckDeadline& operator=(const CheckDeadline&) = delete;

    // Whether the time ran out (and the client was aborted).
    bool Expired() const { return expired_; }

private:
    QTimer timer_;
    bool expired_ = false;
};

}  // namespace vornakle
