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
    // Selected by no request operation: a request of this kind would carry
    // no request line, which no HTTP server can answer. RequestKind can still
    // be given it by a caller that sets the kind and runs RunRequest itself,
    // and BuildHeader then writes no request line.
    cmdReserved = 12,
};

}  // namespace vornakle
