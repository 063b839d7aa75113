#include "net/ThreadTimer.h"

#include "platform/Exception.h"

namespace vornakle {

TThreadTimer::TThreadTimer(QObject* Owner) : QObject(Owner) {
    FWindowHandle = AllocateTimerWindow(this);
}

TThreadTimer::~TThreadTimer() {
    FEnabled = false;
    if (FWindowHandle) {
        FWindowHandle->KillTimer();
    }
    FWindowHandle.reset();
}

void TThreadTimer::SetEnabled(bool Value) {
    if (Value != FEnabled) {
        FEnabled = Value;
        UpdateTimer();
    }
}

void TThreadTimer::SetInterval(std::uint32_t Value) {
    if (Value != FInterval) {
        FInterval = Value;
        UpdateTimer();
    }
}

void TThreadTimer::SetOnTimer(TNotifyEvent Value) {
    FOnTimer = std::move(Value);
    UpdateTimer();
}

void TThreadTimer::UpdateTimer() {
    if (FWindowHandle) {
        FWindowHandle->KillTimer();
    }
    if (FInterval != 0 && FEnabled && FOnTimer) {
        // Without its window a timer cannot tick; say so rather than let a
        // time-out silently never come.
        if (!FWindowHandle || !FWindowHandle->SetTimer(FInterval)) {
            throw Exception("No Timer");
        }
    }
}

void TThreadTimer::FireTimer() {
    if (FOnTimer) {
        // A copy: the handler may replace OnTimer while it runs.
        const TNotifyEvent handler = FOnTimer;
        handler(this);
    }
}

}  // namespace vornakle
