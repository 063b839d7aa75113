#include "platform/UtcText.h"

#include <time.h>

#include <array>

namespace vornakle {

std::string UtcText(std::chrono::sys_seconds time, const char* pattern) {
    const time_t seconds = static_cast<time_t>(time.time_since_epoch().count());
    tm parts{};
    gmtime_r(&seconds, &parts);
    std::array<char, 64> text{};
    const std::size_t length = strftime(text.data(), text.size(), pattern, &parts);
    return std::string(text.data(), length);
}

}  // namespace vornakle
