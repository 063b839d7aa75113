#pragma once

#include <string>
#include <string_view>

namespace vornakle {

// Text without the blanks and tabs around it: what protocol and settings
// files put around a value is no part of it (RFC 9110 section 5.5 for header
// fields, the same for ini files and cookie pairs).
inline std::string TrimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \t";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return std::string();
    }
    return std::string(text.substr(first, text.find_last_not_of(kBlanks) - first + 1));
}

}  // namespace vornakle
