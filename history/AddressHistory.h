#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "check/CheckResult.h"

namespace vornakle {

// Times in the history are whole seconds of UTC.
using HistoryTime = std::chrono::sys_seconds;
// Where the history reads the time of a check: the system clock, or one the
// tests set.
using HistoryClock = std::function<HistoryTime()>;
HistoryClock SystemClock();

// One check as the history keeps it.
struct HistoryCheck {
    HistoryTime Time;
    LinkStatus Status;
    std::string Class;   // as the checker prints it (ClassToken)
    std::string Reason;  // the reason's token or the suspect signal; empty for an answer
    // A failure for the history: what the checker counts as bad.
    bool Failed = false;
    // The URL whose reply decided; the history keeps only the last check's.
    std::string FinalUrl;
};

// The history's entry for a check's result at Time.
HistoryCheck CheckOfResult(const CheckResult& result, HistoryTime time);

// What the history knows of one address.
struct AddressHistory {
    std::optional<HistoryCheck> Last;
    // The current unbroken run of failures: when its first check was and
    // how many checks it has; none and 0 when the last check was fine.
    std::optional<HistoryTime> FailingSince;
    int Failures = 0;
    // When the last check that was no failure was, as far as the kept
    // checks tell: the time the page last worked, which an archived copy
    // should come closest to.
    std::optional<HistoryTime> LastFine;
};

// More failures in a row than any run of checks reaches; the count stops
// there.
inline constexpr int kMostFailuresInARun = 1000000;

// The history after one more check. A run of failures that began after the
// check (the clock was ahead when it was written) begins at the check.
AddressHistory AfterCheck(AddressHistory history, HistoryCheck check);

// Whether the run of failures began after now: it then counts as beginning
// at the next check.
bool BeganInTheFuture(const AddressHistory& history, HistoryTime now);

// When a failing link counts as bad (--confirmed): after this many failed
// checks in a row spread over at least Over.
struct ConfirmRule {
    int Runs = 2;
    std::chrono::seconds Over = std::chrono::days(1);
};

// Whether the last check failed and its run of failures meets the rule.
bool IsConfirmedFailure(const AddressHistory& history, const ConfirmRule& rule);

// The last result, when it was plainly fine (class ok) and is younger than
// maxAge at now; such a link need not be asked again. Its status and final
// URL are those of that check.
std::optional<CheckResult> ReusableResult(const AddressHistory& history,
                                          std::chrono::seconds maxAge, HistoryTime now);

// ISO 8601 in UTC: "2025-03-01T06:00:00Z".
std::string IsoDateTime(HistoryTime time);

}  // namespace vornakle
