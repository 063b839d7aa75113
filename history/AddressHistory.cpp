#include "history/AddressHistory.h"

#include <algorithm>

#include "check/LinkCheck.h"
#include "check/LinkOutcome.h"
#include "platform/UtcText.h"

namespace vornakle {

namespace {

// Timers drift: a daily job starts a few seconds or minutes earlier or later
// than the day before, and a check inside it runs at its own moment. Runs
// this fraction of the span short of it still count as spread over it, so a
// daily timer confirms on the second day and not only on the third.
constexpr int kSpreadToleranceDivisor = 24;

}  // namespace

HistoryClock SystemClock() {
    return
        [] { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); };
}

HistoryCheck CheckOfResult(const CheckResult& result, HistoryTime time) {
    HistoryCheck check;
    check.Time = time;
    check.Status = result.Status;
    check.Class = ClassToken(ResultClass(result));
    check.Reason = result.Reason != FailureReason::None ? std::string(ReasonToken(result.Reason))
                   : result.FoundBy.Kind != Signal::None
                       ? std::string(SignalToken(result.FoundBy.Kind))
                       : std::string();
    check.Failed = IsBadResult(result);
    check.FinalUrl = result.FinalUrl;
    return check;
}

AddressHistory AfterCheck(AddressHistory history, HistoryCheck check) {
    if (!check.Failed) {
        history.FailingSince.reset();
        history.Failures = 0;
        history.LastFine = check.Time;
    } else {
        if (history.Failures == 0 || !history.FailingSince) {
            history.FailingSince = check.Time;
            history.Failures = 0;
        }
        // A run that began after this check (a clock that was ahead once)
        // begins now, or it could never span the confirmation's time.
        if (*history.FailingSince > check.Time) {
            history.FailingSince = check.Time;
        }
        history.Failures = std::min(history.Failures + 1, kMostFailuresInARun);
    }
    history.Last = std::move(check);
    return history;
}

bool BeganInTheFuture(const AddressHistory& history, HistoryTime now) {
    return history.Failures > 0 && history.FailingSince && *history.FailingSince > now;
}

bool IsConfirmedFailure(const AddressHistory& history, const ConfirmRule& rule) {
    if (!history.Last || !history.Last->Failed || !history.FailingSince) {
        return false;
    }
    const std::chrono::seconds spread = history.Last->Time - *history.FailingSince;
    return history.Failures >= rule.Runs &&
           spread + rule.Over / kSpreadToleranceDivisor >= rule.Over;
}

std::optional<CheckResult> ReusableResult(const AddressHistory& history,
                                          std::chrono::seconds maxAge, HistoryTime now) {
    if (!history.Last || history.Last->Failed || history.Last->Class != ClassToken(LinkClass::Ok)) {
        return std::nullopt;
    }
    // A check dated after now (the clock was set back since) has no age to
    // trust.
    const std::chrono::seconds age = now - history.Last->Time;
    if (age < std::chrono::seconds(0) || age >= maxAge) {
        return std::nullopt;
    }
    CheckResult result = CheckResult::Answered(history.Last->Status);
    result.FinalUrl = history.Last->FinalUrl;
    return result;
}

std::string IsoDateTime(HistoryTime time) {
    return UtcText(time, kIsoUtcPattern);
}

}  // namespace vornakle
