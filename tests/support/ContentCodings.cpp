#include "support/ContentCodings.h"

#include <brotli/encode.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdint>
#include <stdexcept>

namespace vornakle::testing {

std::string Deflated(const std::string& data, int windowBits) {
    z_stream stream{};
    constexpr int kMemoryLevel = 8;
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string coded(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(coded.data());
    stream.avail_out = static_cast<uInt>(coded.size());
    const int result = deflate(&stream, Z_FINISH);
    coded.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    return coded;
}

std::string Brotli(const std::string& data) {
    constexpr int kQuality = 5;
    std::string coded(BrotliEncoderMaxCompressedSize(data.size()), '\0');
    std::size_t size = coded.size();
    if (!BrotliEncoderCompress(kQuality, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, data.size(),
                               reinterpret_cast<const std::uint8_t*>(data.data()), &size,
                               reinterpret_cast<std::uint8_t*>(coded.data()))) {
        throw std::runtime_error("BrotliEncoderCompress");
    }
    coded.resize(size);
    return coded;
}

std::string Zstd(const std::string& data) {
    std::string coded(ZSTD_compressBound(data.size()), '\0');
    const std::size_t size = ZSTD_compress(coded.data(), coded.size(), data.data(), data.size(), 3);
    if (ZSTD_isError(size)) {
        throw std::runtime_error("ZSTD_compress");
    }
    coded.resize(size);
    return coded;
}

}  // namespace vornakle::testing
