#pragma once

#include <cstdint>
#include <string>

namespace vornakle {

// One request of a transaction (or of a check): the URL asked and the reply
// number it got, 0 when none came.
struct RequestHop {
    std::string Url;
    std::int32_t Status = 0;
};

}  // namespace vornakle
