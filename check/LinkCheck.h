#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vornakle {

class THttpClient;

// Checks one link the way "Verify All &Links" does: one HEAD request, the
// reply number as the status when it is above 0, else kStatusUnknown; any
// failure (lookup, connection, time-out, refused URL, malformed reply) is
// kStatusUnknown too. The client's host and port are cleared first, so that a
// URL naming no host cannot reach the server of the link checked before it:
// every link's status depends on its own URL only, whichever worker checks it.
std::int32_t CheckLink(THttpClient& client, const std::string& url);

// The class of a status's image, as the report window sorts links: "ok",
// "invalid", "unknown" or "untested".
std::string_view StatusClass(std::int32_t status);

}  // namespace vornakle
