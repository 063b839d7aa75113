#include "bookmarks/PlacesHash.h"

namespace vornakle {

namespace {

constexpr std::size_t kMaxSchemeBytes = 50;
constexpr std::size_t kMaxHashedBytes = 1500;
constexpr std::uint32_t kGoldenRatio = 0x9E3779B9U;

std::uint32_t Hash(std::string_view bytes) {
    std::uint32_t hash = 0;
    for (const char byte : bytes) {
        hash = kGoldenRatio * (((hash << 5) | (hash >> 27)) ^ static_cast<unsigned char>(byte));
    }
    return hash;
}

}  // namespace

std::uint64_t PlacesUrlHash(std::string_view url) {
    const std::size_t colon = url.find(':');
    const std::uint64_t scheme = colon != std::string_view::npos && colon <= kMaxSchemeBytes
                                     ? Hash(url.substr(0, colon))
                                     : 0;
    return ((scheme & 0xFFFF) << 32) + Hash(url.substr(0, kMaxHashedBytes));
}

}  // namespace vornakle
