#include "net/SockStrings.h"

#include "net/SockErrors.h"

namespace vornakle {

std::string NthWord(const std::string& S, char Delimiter, std::int32_t N) {
    std::string result;
    std::int32_t count = 0;
    for (const char character : S) {
        if (character == Delimiter) {
            ++count;
            if (count == N) {
                break;
            }
        } else if (count == N - 1) {
            result.push_back(character);
        }
    }
    return result;
}

std::int32_t NthCharPos(const std::string& S, char Ch, std::int32_t N) {
    if (S.empty()) {
        throw ERangeError();
    }
    std::int32_t count = 0;
    const auto length = static_cast<std::int32_t>(S.size());
    for (std::int32_t position = 1; position <= length; ++position) {
        if (S[position - 1] == Ch) {
            ++count;
            if (count == N) {
                return position;
            }
        }
    }
    return length + 1;
}

}  // namespace vornakle
