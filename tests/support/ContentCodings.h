#pragma once

// Bodies in the content codings servers send, made with the encoding halves
// of the libraries the client decodes with.

#include <string>

namespace vornakle::testing {

// Deflate data wrapped as windowBits says: 15 zlib, -15 raw, 31 gzip.
std::string Deflated(const std::string& data, int windowBits);
inline std::string Gzipped(const std::string& data) {
    return Deflated(data, 31);
}
std::string Brotli(const std::string& data);
std::string Zstd(const std::string& data);

}  // namespace vornakle::testing
