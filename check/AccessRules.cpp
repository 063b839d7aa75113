#include "check/AccessRules.h"

#include <array>

#include "check/PagePhrases.h"
#include "http/ReplyHeader.h"
#include "platform/AsciiCase.h"

namespace vornakle {

namespace {

constexpr std::int32_t kUnauthorized = 401;
constexpr std::int32_t kForbidden = 403;
constexpr std::int32_t kProxyAuthenticationRequired = 407;
constexpr std::int32_t kTooManyRequests = 429;
constexpr std::int32_t kServiceUnavailable = 503;
// HTTP defines reply numbers up to 599 (RFC 9110 section 15); sites that
// turn programs away send higher ones.
constexpr std::int32_t kFirstNonHttpStatus = 600;

// Header lines by which challenge services mark the page they answered
// instead of the one asked for, and the value that does.
struct ChallengeField {
    const char* Name;
    const char* Value;  // a part of the value, lower case
};
constexpr std::array<ChallengeField, 3> kChallengeFields = {{
    {"cf-mitigated", "challenge"},
    {"x-amzn-waf-action", "challenge"},
    {"x-amzn-waf-action", "captcha"},
}};

}  // namespace

std::optional<std::pair<Finding, Clue>> AccessOfReply(std::int32_t status,
                                                      const std::string& header) {
    for (const ChallengeField& field : kChallengeFields) {
        const std::optional<std::string> value = HeaderFieldValue(header, field.Name);
        if (value && AsciiLowerCase(*value).find(field.Value) != std::string::npos) {
            return std::pair(Finding::Blocked, Clue{Signal::ChallengeHeader,
                                                    std::string(field.Name) + ": " + *value});
        }
    }
    if (status == kUnauthorized || status == kProxyAuthenticationRequired) {
        const bool proxy = status == kProxyAuthenticationRequired;
        return std::pair(
            Finding::Login,
            Clue{proxy ? Signal::ProxyAuthRequired : Signal::AuthRequired,
                 HeaderFieldValue(header, proxy ? "Proxy-Authenticate" : "WWW-Authenticate")
                     .value_or(std::string())});
    }
    if (status >= kFirstNonHttpStatus) {
        return std::pair(Finding::Blocked, Clue{Signal::BotStatus, std::to_string(status)});
    }
    return std::nullopt;
}

bool MayBeChallenge(std::int32_t status) {
    return status == kForbidden || status == kTooManyRequests || status == kServiceUnavailable;
}

std::optional<Clue> ChallengeOfPage(std::string_view title, std::string_view html) {
    if (ChallengeTitlePhrase(title)) {
        return Clue{Signal::ChallengePage, std::string(title)};
    }
    if (const std::optional<std::string_view> mark = ChallengeMarkup(html)) {
        return Clue{Signal::ChallengePage, std::string(*mark)};
    }
    return std::nullopt;
}

}  // namespace vornakle
