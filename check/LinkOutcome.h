#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check/CheckResult.h"

namespace vornakle {

// The class a link is listed under, the same in every format and program,
// worst first as a report lists them; its token (ClassToken) is what the
// checker prints and the history keeps.
enum class LinkClass {
    Invalid,
    Unknown,
    Suspect,
    Failing,
    Blocked,
    Moved,
    Login,
    Ok,
    NotChecked,
    Untested,
    Excluded
};

std::string_view ClassToken(LinkClass linkClass);

// The class of a status, as the status table files its image: Ok, Invalid,
// Untested, else Unknown.
LinkClass StatusClass(LinkStatus status);

// The class of a check's result: what a current check found beyond the
// status (Moved, Suspect, Login, Blocked, NotChecked), else its status's;
// an accepted reply is Ok.
LinkClass ResultClass(const CheckResult& result);

// How the run came by a link's result.
enum class OutcomeState {
    Checked,   // a check asked (or knew without asking: an unreadable shortcut)
    Cached,    // the history's result, recent enough not to ask again
    Excluded,  // a filter left the link out: nothing was asked
};

// What the history of checks says of a link once this run's check is in.
struct HistoryFacts {
    // The current run of failures.
    std::optional<std::chrono::sys_seconds> FailingSince = std::nullopt;
    int Failures = 0;
    // Bad, but the history does not confirm the failure yet (--confirmed).
    bool Unconfirmed = false;
};

// Everything a run reports of one link.
struct LinkOutcome {
    CheckResult Result;
    OutcomeState State = OutcomeState::Checked;
    // None when the run keeps no history.
    std::optional<HistoryFacts> History = std::nullopt;
    // The copy a web archive holds of a dead link's page; empty when it
    // holds none or was not asked.
    std::string ArchiveUrl = std::string();

    // ResultClass, or Excluded, or Failing for an unconfirmed failure.
    LinkClass Class() const;
    // Bad for --bad-only and the exit status: an excluded link and an
    // unconfirmed failure are not.
    bool CountsAsBad() const;
};

}  // namespace vornakle
