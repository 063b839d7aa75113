#include "support/ContentCodings.h"

#include <brotli/encode.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdint>

namespace vornakle::testing {

std::string Deflated(const std::string& data, int windowBits) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string coded(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(coded.data());
    stream.avail_out = static_cast<uInt>(coded.size());
    deflate(&stream, Z_FINISH);
    coded.resize(stream.total_out);
    deflateEnd(&stream);
    return coded;
}

std::string Brotli(const std::string& data) {
    std::string coded(BrotliEncoderMaxCompressedSize(data.size()), '\0');
    std::size_t size = coded.size();
    BrotliEncoderCompress(5, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, data.size(),
                          reinterpret_cast<const std::uint8_t*>(data.data()), &size,
                          reinterpret_cast<std::uint8_t*>(coded.data()));
    coded.resize(size);
    return coded;
}

std::string Zstd(const std::string& data) {
    std::string coded(ZSTD_compressBound(data.size()), '\0');
    coded.resize(ZSTD_compress(coded.data(), coded.size(), data.data(), data.size(), 3));
    return coded;
}

}  // namespace vornakle::testing
