#pragma once

#include <cstdint>

namespace vornakle {

// The kinds of request THttpClient sends, one byte wide; the outcome events
// pass the kind of the request that ended.
enum CmdType : std::uint8_t {
    cmdGet = 0,
    cmdOptions = 1,
    cmdHead = 2,
    cmdPost = 3,
    cmdPut = 4,
    cmdPatch = 5,
    cmdCopy = 6,
    cmdMove = 7,
    cmdDelete = 8,
    cmdLink = 9,
    cmdUnlink = 10,
    cmdTrace = 11,
    // Kept so that the values stay those of the original table. No request
    // operation selects it: a request of this kind would carry no request
    // line, which no HTTP server can answer.
    cmdReserved = 12,
};

}  // namespace vornakle
