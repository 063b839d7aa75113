#pragma once

#include <string>
#include <string_view>

namespace vornakle {

// The byte with an ASCII capital in lower case and any other byte as it is:
// how protocol words (schemes, host names, header names, tokens) are
// compared, whatever else the bytes hold.
constexpr char AsciiLower(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                                : character;
}

// Text with the ASCII capitals in lower case and every other byte as it is.
inline std::string AsciiLowerCase(std::string_view text) {
    std::string lower(text);
    for (char& character : lower) {
        character = AsciiLower(character);
    }
    return lower;
}

// Text with the ASCII small letters as capitals and every other byte as it
// is.
inline std::string AsciiUpperCase(std::string_view text) {
    std::string upper(text);
    for (char& character : upper) {
        if (character >= 'a' && character <= 'z') {
            character = static_cast<char>(character - 'a' + 'A');
        }
    }
    return upper;
}

// Whether text begins with prefix, ASCII letters in either case; prefix is
// given in lower case.
constexpr bool StartsWithAsciiLower(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t index = 0; index < prefix.size(); ++index) {
        if (AsciiLower(text[index]) != prefix[index]) {
            return false;
        }
    }
    return true;
}

}  // namespace vornakle
