#include "check/SignInReturn.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "check/AddressParts.h"
#include "check/QueryChoice.h"
#include "platform/AsciiCase.h"

namespace vornakle {

namespace {

// The keys sign-in pages keep the way back in, in lower case.
constexpr auto kReturnKeys = std::to_array<std::string_view>(
    {"next",        "return",       "returnto",    "return_to",    "returnurl",  "return_url",
     "returnpath",  "return_path",  "continue",    "redirect",     "redirectto", "redirect_to",
     "redirecturi", "redirect_uri", "redirecturl", "redirect_url", "came_from",  "camefrom",
     "dest",        "destination",  "goto",        "target",       "service",    "backurl",
     "back_url",    "back",         "from",        "forward",      "successurl", "success_url",
     "url",         "ru",           "rurl",        "wreply"});

// Nested return addresses are followed this deep.
constexpr int kMaxNesting = 3;

std::string WithoutTrailingSlash(std::string path) {
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// A value decoded until no percent-encoded slash or colon is left: some
// sites encode a return address twice.
std::string Decoded(std::string_view value) {
    std::string decoded(value);
    for (int round = 0; round < kMaxNesting; ++round) {
        const std::string lower = AsciiLowerCase(decoded);
        if (lower.find("%2f") == std::string::npos && lower.find("%3a") == std::string::npos &&
            round > 0) {
            break;
        }
        decoded = PercentDecoded(decoded);
    }
    return decoded;
}

bool NamesLink(const std::string& value, const AddressParts& link, int depth);

// Whether a query's return parameters name the link.
bool QueryNamesLink(std::string_view query, const AddressParts& link, int depth) {
    if (depth > kMaxNesting) {
        return false;
    }
    for (const auto& [key, value] : QueryPairs(query)) {
        const std::string folded = AsciiLowerCase(key);
        if (!value.empty() &&
            std::find(kReturnKeys.begin(), kReturnKeys.end(), folded) != kReturnKeys.end() &&
            NamesLink(Decoded(value), link, depth)) {
            return true;
        }
    }
    return false;
}

// Whether a decoded return value is the link: its address, or a path on its
// site that is the link's path (and query, when it has one); else a return
// address whose own return parameters name it.
bool NamesLink(const std::string& value, const AddressParts& link, int depth) {
    std::optional<AddressParts> named;
    if (value.starts_with("//")) {
        named = SplitAddress(link.Scheme + ":" + value);
    } else if (value.find("://") != std::string::npos) {
        named = SplitAddress(value);
    } else if (value.starts_with("/")) {
        named = SplitAddress(link.Scheme + "://" + link.Host + value);
    }
    if (!named) {
        return false;
    }
    const bool sameSite = SiteOf(named->Host) == SiteOf(link.Host);
    const bool samePath = WithoutTrailingSlash(named->Path) == WithoutTrailingSlash(link.Path);
    if (sameSite && samePath && (named->Query.empty() || named->Query == link.Query)) {
        return true;
    }
    return QueryNamesLink(named->Query, link, depth + 1);
}

}  // namespace

bool SignInReturnsToLink(const std::vector<RequestHop>& hops) {
    if (hops.size() < 2) {
        return false;
    }
    const std::optional<AddressParts> link = SplitAddress(hops.front().Url);
    if (!link) {
        return false;
    }
    return std::any_of(hops.begin() + 1, hops.end(), [&link](const RequestHop& hop) {
        const std::optional<AddressParts> parts = SplitAddress(hop.Url);
        return parts && QueryNamesLink(parts->Query, *link, 0);
    });
}

}  // namespace vornakle
