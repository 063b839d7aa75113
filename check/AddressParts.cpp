#include "check/AddressParts.h"

#include <algorithm>
#include <vector>

#include "platform/AsciiCase.h"

namespace vornakle {

namespace {

bool IsSchemeCharacter(char character, bool first) {
    const bool letter =
        (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
    if (first) {
        return letter;
    }
    return letter || (character >= '0' && character <= '9') || character == '+' ||
           character == '-' || character == '.';
}

std::string_view DefaultPort(std::string_view scheme) {
    if (scheme == "http") {
        return "80";
    }
    if (scheme == "https") {
        return "443";
    }
    return std::string_view();
}

}  // namespace

std::optional<AddressParts> SplitAddress(std::string_view url) {
    url = url.substr(0, url.find('#'));
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    for (std::size_t index = 0; index < colon; ++index) {
        if (!IsSchemeCharacter(url[index], index == 0)) {
            return std::nullopt;
        }
    }
    AddressParts parts;
    parts.Scheme = AsciiLowerCase(url.substr(0, colon));
    std::string_view rest = url.substr(colon + 3);
    const std::size_t authorityEnd = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, authorityEnd);
    rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        parts.UserInfo = std::string(authority.substr(0, at + 1));
        authority.remove_prefix(at + 1);
    }
    // The port follows the last colon, outside an IPv6 address's brackets.
    const std::size_t bracket = authority.rfind(']');
    const std::size_t portColon = authority.rfind(':');
    if (portColon != std::string_view::npos &&
        (bracket == std::string_view::npos || portColon > bracket)) {
        parts.Port = std::string(authority.substr(portColon + 1));
        authority = authority.substr(0, portColon);
    }
    parts.Host = AsciiLowerCase(authority);
    if (parts.Port == DefaultPort(parts.Scheme)) {
        parts.Port.clear();
    }
    const std::size_t question = rest.find('?');
    parts.Path = std::string(rest.substr(0, question));
    if (question != std::string_view::npos) {
        parts.Query = std::string(rest.substr(question));
    }
    if (parts.Path.empty()) {
        // Not assigned from a literal: GCC 12 at -O3 warns of an overlap
        // (-Wrestrict) that cannot happen.
        parts.Path.push_back('/');
    }
    return parts;
}

std::string OriginKey(std::string_view url) {
    const std::optional<AddressParts> parts = SplitAddress(url);
    if (!parts) {
        return std::string();
    }
    std::string key = parts->Scheme + "://" + parts->Host;
    if (!parts->Port.empty()) {
        key += ':' + parts->Port;
    }
    return key;
}

std::string AddressKey(std::string_view url) {
    const std::optional<AddressParts> parts = SplitAddress(url);
    if (!parts) {
        return std::string(url.substr(0, url.find('#')));
    }
    std::string key = parts->Scheme + "://" + parts->UserInfo + parts->Host;
    if (!parts->Port.empty()) {
        key += ':' + parts->Port;
    }
    return key + parts->Path + parts->Query;
}

std::string SiteOf(std::string_view host) {
    const std::string lower = AsciiLowerCase(host);
    if (lower.empty() || lower.front() == '[' ||
        lower.find_first_not_of("0123456789.") == std::string::npos) {
        return lower;
    }
    std::vector<std::string_view> labels;
    std::string_view rest = lower;
    if (!rest.empty() && rest.back() == '.') {
        rest.remove_suffix(1);
    }
    for (std::size_t dot = rest.find('.'); dot != std::string_view::npos; dot = rest.find('.')) {
        labels.push_back(rest.substr(0, dot));
        rest.remove_prefix(dot + 1);
    }
    labels.push_back(rest);
    constexpr std::size_t kShortSecondLevel = 3;
    std::size_t kept = 2;
    if (labels.size() > 2 && labels.back().size() == 2 &&
        labels[labels.size() - 2].size() <= kShortSecondLevel) {
        kept = 3;
    }
    kept = std::min(kept, labels.size());
    std::string site;
    for (std::size_t index = labels.size() - kept; index < labels.size(); ++index) {
        if (!site.empty()) {
            site += '.';
        }
        site += labels[index];
    }
    return site;
}

}  // namespace vornakle
