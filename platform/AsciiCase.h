#pragma once

#include <string>
#include <string_view>

namespace vornakle {

// Text with the ASCII capitals in lower case and every other byte as it is:
// how protocol words (schemes, host names, header names, tokens) are
// compared, whatever else the bytes hold.
inline std::string AsciiLowerCase(std::string_view text) {
    std::string lower(text);
    for (char& character : lower) {
        if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
    return lower;
}

}  // namespace vornakle
