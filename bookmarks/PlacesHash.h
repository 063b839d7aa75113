#pragma once

#include <cstdint>
#include <string_view>

namespace vornakle {

// moz_places.url_hash of an address, by which Firefox looks places up:
// the hash of the scheme (the bytes before the first ':' when it comes
// within the first 50) in bits 32 to 47, the hash of the first 1500 bytes
// of the whole address below. A wrong value hides the place from Firefox's
// look-ups by address for good.
std::uint64_t PlacesUrlHash(std::string_view url);

}  // namespace vornakle
