#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vornakle {

// Reads a body sent in the chunked transfer coding (RFC 9112 section 7.1)
// as its bytes arrive: it hands out the data and finds the end, which is
// the only end such a body has on a connection that stays open. A pure
// state machine, so that any split of the bytes reads the same. Its lines
// are bounded: a size line (with its extensions) of more than
// kMaxLineBytes, a size beyond kMaxChunkBytes or a trailer section of more
// than kMaxTrailerBytes break the body, as does a byte the coding does not
// allow; a line may end with LF alone, as browsers accept.
class ChunkedBody {
public:
    static constexpr std::size_t kMaxLineBytes = 4096;
    static constexpr std::uint64_t kMaxChunkBytes = std::uint64_t{1} << 60;
    static constexpr std::size_t kMaxTrailerBytes = 64 * 1024;

    enum class State { Reading, Ended, Broken };

    // Takes bytes from the front of input: the framing before the next data
    // and at most one piece of data, which Data then holds (else it is
    // empty). Returns what it left of input: none while the body goes on,
    // the bytes after the end once it has ended, the rest from the fault
    // on once it is broken.
    std::string_view Take(std::string_view input, std::string_view& data);
    State Status() const { return state_; }

private:
    enum class Part { Size, Extension, Data, DataEnd, Trailer };

    void TakeFramingByte(char byte);
    void TakeSizeByte(char byte);

    Part part_ = Part::Size;
    State state_ = State::Reading;
    std::uint64_t size_ = 0;
    bool sizeDigits_ = false;
    std::uint64_t left_ = 0;
    bool carriageReturn_ = false;
    std::size_t lineBytes_ = 0;
    std::size_t trailerBytes_ = 0;
};

}  // namespace vornakle
