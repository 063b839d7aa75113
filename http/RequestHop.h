#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vornakle {

// One request of a transaction (or of a check): the URL asked and the reply
// number it got, 0 when none came.
struct RequestHop {
    std::string Url;
    std::int32_t Status = 0;
    // The addresses whose certificates completed the server's chain when
    // it came without an intermediate (TTcpSocket::TlsIssuersFetched).
    std::vector<std::string> IssuersFetched = {};
};

}  // namespace vornakle
