#include "check/LinkOutcome.h"

#include <array>

#include "check/LinkCheck.h"
#include "store/LinkStatus.h"

namespace vornakle {

namespace {

// In the order of LinkClass.
constexpr auto kClassTokens =
    std::to_array<std::string_view>({"invalid", "unknown", "suspect", "failing", "blocked", "moved",
                                     "login", "ok", "not-checked", "untested", "excluded"});
static_assert(kClassTokens.size() == static_cast<std::size_t>(LinkClass::Excluded) + 1);

}  // namespace

std::string_view ClassToken(LinkClass linkClass) {
    return kClassTokens.at(static_cast<std::size_t>(linkClass));
}

LinkClass StatusClass(LinkStatus status) {
    switch (StatusImageIndex(status)) {
        case kImageOk:
            return LinkClass::Ok;
        case kImageInvalid:
            return LinkClass::Invalid;
        case kImageNotTested:
            return LinkClass::Untested;
        default:
            return LinkClass::Unknown;
    }
}

LinkClass ResultClass(const CheckResult& result) {
    switch (result.Found) {
        case Finding::Moved:
            return LinkClass::Moved;
        case Finding::Suspect:
            return LinkClass::Suspect;
        case Finding::Login:
            return LinkClass::Login;
        case Finding::Blocked:
            return LinkClass::Blocked;
        case Finding::Accepted:
            return LinkClass::Ok;
        case Finding::NotChecked:
            return LinkClass::NotChecked;
        case Finding::None:
            break;
    }
    return StatusClass(result.Status);
}

LinkClass LinkOutcome::Class() const {
    if (State == OutcomeState::Excluded) {
        return LinkClass::Excluded;
    }
    return History && History->Unconfirmed ? LinkClass::Failing : ResultClass(Result);
}

bool LinkOutcome::CountsAsBad() const {
    return State != OutcomeState::Excluded && !(History && History->Unconfirmed) &&
           IsBadResult(Result);
}

}  // namespace vornakle
