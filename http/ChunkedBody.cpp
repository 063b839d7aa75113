#include "http/ChunkedBody.h"

#include <algorithm>

namespace vornakle {

namespace {

int HexValue(char byte) {
    if (byte >= '0' && byte <= '9') {
        return byte - '0';
    }
    if (byte >= 'a' && byte <= 'f') {
        return byte - 'a' + 10;
    }
    if (byte >= 'A' && byte <= 'F') {
        return byte - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string_view ChunkedBody::Take(std::string_view input, std::string_view& data) {
    data = std::string_view();
    std::size_t used = 0;
    while (used < input.size() && state_ == State::Reading) {
        if (part_ == Part::Data) {
            const std::size_t piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(left_, input.size() - used));
            data = input.substr(used, piece);
            left_ -= piece;
            used += piece;
            if (left_ == 0) {
                part_ = Part::DataEnd;
            }
            break;
        }
        TakeFramingByte(input[used]);
        if (state_ != State::Broken) {
            ++used;
        }
    }
    return input.substr(used);
}

void ChunkedBody::TakeFramingByte(char byte) {
    switch (part_) {
        case Part::Size:
        case Part::Extension:
            TakeSizeByte(byte);
            return;
        case Part::DataEnd:
            // The CRLF after a chunk's data.
            if (byte == '\r' && !carriageReturn_) {
                carriageReturn_ = true;
            } else if (byte == '\n') {
                carriageReturn_ = false;
                part_ = Part::Size;
            } else {
                state_ = State::Broken;
            }
            return;
        case Part::Trailer:
            // Field lines up to an empty one; their fields are of no use
            // here and are dropped (RFC 9112 section 7.1.2 allows that).
            if (++trailerBytes_ > kMaxTrailerBytes) {
                state_ = State::Broken;
            } else if (byte == '\n') {
                if (lineBytes_ == 0) {
                    state_ = State::Ended;
                }
                lineBytes_ = 0;
            } else if (byte != '\r') {
                ++lineBytes_;
            }
            return;
        case Part::Data:
            return;
    }
}

void ChunkedBody::TakeSizeByte(char byte) {
    if (++lineBytes_ > kMaxLineBytes) {
        state_ = State::Broken;
        return;
    }
    if (byte == '\n') {
        if (!sizeDigits_) {
            state_ = State::Broken;
            return;
        }
        lineBytes_ = 0;
        sizeDigits_ = false;
        // The last chunk, of size 0, is followed by the trailer section.
        part_ = size_ == 0 ? Part::Trailer : Part::Data;
        left_ = size_;
        size_ = 0;
        return;
    }
    if (part_ == Part::Extension) {
        // Chunk extensions (";name=value") and the CR mean nothing to us.
        return;
    }
    const int digit = HexValue(byte);
    if (digit >= 0) {
        // Checked before the shift too, which would wrap a long size to a
        // small one.
        const bool tooLong = size_ > kMaxChunkBytes / 16;
        size_ = size_ * 16 + static_cast<std::uint64_t>(digit);
        sizeDigits_ = true;
        if (tooLong || size_ > kMaxChunkBytes) {
            state_ = State::Broken;
        }
    } else if (sizeDigits_ && (byte == ';' || byte == ' ' || byte == '\t' || byte == '\r')) {
        part_ = Part::Extension;
    } else {
        state_ = State::Broken;
    }
}

}  // namespace vornakle
