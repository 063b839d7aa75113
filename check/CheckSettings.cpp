#include "check/CheckSettings.h"

#include <algorithm>

namespace vornakle {

namespace {

constexpr std::string_view kClassicToken = "classic";
constexpr std::string_view kCurrentToken = "current";

}  // namespace

std::string_view CheckRulesToken(CheckRules rules) {
    return rules == CheckRules::Current ? kCurrentToken : kClassicToken;
}

std::optional<CheckRules> ParseCheckRules(std::string_view token) {
    if (token == kClassicToken) {
        return CheckRules::Classic;
    }
    if (token == kCurrentToken) {
        return CheckRules::Current;
    }
    return std::nullopt;
}

bool CheckSettings::Accepts(std::int32_t status) const {
    return std::any_of(Accepted.begin(), Accepted.end(), [status](const StatusRange& range) {
        return status >= range.First && status <= range.Last;
    });
}

}  // namespace vornakle
