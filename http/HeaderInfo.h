#pragma once

#include <string>

namespace vornakle {

// Optional values of the request header; every empty value sends no line.
class THeaderInfo {
public:
    // Sent as the "User-Agent" line, not as "From": this name and the next
    // are crossed over against the lines they fill. Callers and stored
    // settings fill the fields by these names, so a caller must go by the
    // line each one fills, not by its name.
    std::string LocalMailAddress;
    // Sent as the "From" line, not as "User-Agent".
    std::string LocalProgram;
    std::string Cookie;
    std::string Referer;
    // Both are needed for the Basic "Authorization" line (RFC 7617).
    std::string UserId;
    std::string Password;
};

}  // namespace vornakle
