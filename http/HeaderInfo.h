#pragma once

#include <string>

namespace vornakle {

// Optional values of the request header; every empty value sends no line.
class THeaderInfo {
public:
    // Sent as the "User-Agent" line (the historical field names are crossed
    // over: this one is not sent as "From").
    std::string LocalMailAddress;
    // Sent as the "From" line.
    std::string LocalProgram;
    std::string Cookie;
    std::string Referer;
    // Both are needed for the Basic "Authorization" line (RFC 7617).
    std::string UserId;
    std::string Password;
};

}  // namespace vornakle
