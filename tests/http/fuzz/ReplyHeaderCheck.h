#pragma once

// The properties every reading of an outside reply header must have, shared
// by the libFuzzer entry point and the corpus test. The input is split into
// lines as ReadLn returns them (each with its line feed; the last may lack
// it); the first is the status line. What follows the header's empty line
// is read as a chunked body as well.

#include "http/ChunkedBody.h"
#include "http/ContentDecoding.h"
#include "http/ReplyHeader.h"

#include <string>

namespace vornakle::testing {

// A chunked body read from input in pieces of at most Piece bytes: its data,
// then what was left after its end, then its state's number.
inline std::string ChunkedReading(std::string_view input, std::size_t piece) {
    ChunkedBody body;
    std::string data;
    std::string left;
    for (std::size_t start = 0; start < input.size(); start += piece) {
        std::string_view rest = input.substr(start, piece);
        while (!rest.empty() && body.Status() == ChunkedBody::State::Reading) {
            std::string_view taken;
            rest = body.Take(rest, taken);
            data += taken;
        }
        left += rest;
    }
    return data + '\n' + left + '\n' + std::to_string(static_cast<int>(body.Status()));
}

// A body read in each content coding from input in pieces of at most Piece
// bytes, within kDecodedBound: for each its data, then its state's number.
inline constexpr std::size_t kDecodedBound = 4096;
inline std::string DecodedReading(std::string_view input, std::size_t piece) {
    std::string readings;
    for (const char* codings : {"gzip", "deflate", "br", "zstd", "gzip, br"}) {
        ContentDecoder decoder(codings, kDecodedBound);
        std::string data;
        for (std::size_t start = 0; start < input.size(); start += piece) {
            decoder.Take(input.substr(start, piece), data);
        }
        readings += data + '\n' + std::to_string(static_cast<int>(decoder.Status())) + '\n';
    }
    return readings;
}

// Empty when the properties hold, else what went wrong.
inline std::string CheckReplyHeader(const std::string& input) {
    std::size_t start = 0;
    bool statusLine = true;
    while (start < input.size()) {
        const std::size_t end = input.find('\n', start);
        const std::string line =
            input.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
        start = end == std::string::npos ? input.size() : end + 1;
        if (statusLine) {
            statusLine = false;
            const std::int16_t number = StatusNumber(line);
            // A plain number of up to four digits in the second field is
            // read as itself from 100 to 999, and as no number (0) else.
            const std::size_t blank = line.find(' ');
            if (blank != std::string::npos) {
                const std::size_t next = line.find(' ', blank + 1);
                const std::string field = line.substr(
                    blank + 1, next == std::string::npos ? std::string::npos : next - blank - 1);
                const int value = !field.empty() && field.size() <= 4 &&
                                          field.find_first_not_of("0123456789") == std::string::npos
                                      ? std::stoi(field)
                                      : -1;
                if (value >= 0 && number != (value >= 100 && value <= 999 ? value : 0)) {
                    return "status " + field + " read as " + std::to_string(number);
                }
            }
            if (number != 0 && (number < 100 || number > 999)) {
                return "reply number outside 100-999: " + std::to_string(number);
            }
            continue;
        }
        const ReplyLine reading = ParseReplyLine(line);
        if (reading.Value.find('\n') != std::string::npos) {
            return "value holds the line end: " + line;
        }
        if (reading.Value.size() >= line.size()) {
            return "value longer than its line: " + line;
        }
        if (reading.Field != ReplyField::ContentLength && reading.ContentLength != -1) {
            return "length from another line: " + line;
        }
        if (reading.ContentLength < -1) {
            return "negative length: " + line;
        }
        if (IsHeaderEnd(line)) {
            // However the bytes arrive, a chunked body reads the same, and
            // its data is never more than its bytes.
            const std::string_view body = std::string_view(input).substr(start);
            const std::string whole = ChunkedReading(body, body.size() + 1);
            if (whole != ChunkedReading(body, 1) || whole.size() > body.size() + 3) {
                return "chunked body read otherwise in pieces: " + whole;
            }
            // So does a coded one, and what it decodes to stays in bounds.
            const std::string decoded = DecodedReading(body, body.size() + 1);
            if (decoded != DecodedReading(body, 1) || decoded.size() > 5 * (kDecodedBound + 3)) {
                return "coded body read otherwise in pieces";
            }
            break;
        }
    }
    return std::string();
}

}  // namespace vornakle::testing
