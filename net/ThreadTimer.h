#pragma once

#include "net/HiddenWindows.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

namespace vornakle {

// A timer whose ticks arrive through the owning thread's message queue, via
// its own hidden window. It runs exactly while Interval is not 0, it is
// Enabled and OnTimer is set; every change of one of them restarts the period.
class TThreadTimer : public QObject {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    explicit TThreadTimer(QObject* Owner = nullptr);
    ~TThreadTimer() override;

    bool Enabled() const { return FEnabled; }
    std::uint32_t Interval() const { return FInterval; }
    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    TmrWindowClass* WindowHandle() const { return FWindowHandle.get(); }

    void SetEnabled(bool Value);
    void SetInterval(std::uint32_t Value);
    void SetOnTimer(TNotifyEvent Value);

    // Called by the timer window on each tick.
    virtual void FireTimer();

protected:
    void UpdateTimer();

private:
    std::uint32_t FInterval = 1000;
    std::unique_ptr<TmrWindowClass> FWindowHandle;
    TNotifyEvent FOnTimer;
    bool FEnabled = true;
};

}  // namespace vornakle
