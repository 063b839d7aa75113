#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vornakle {

// Whether a reply's Content-Encoding values (joined by commas) name any
// coding beyond "identity": its body then needs a ContentDecoder.
bool NamesContentCoding(std::string_view codings);

// Undoes the content codings of a reply body (RFC 9110 section 8.4) as its
// bytes arrive, in the reverse of the order the Content-Encoding values list
// them: gzip (also "x-gzip", members one after another), deflate as
// browsers read it (the zlib format, or raw deflate when the data does not
// start with a zlib header), br (RFC 7932) and zstd (RFC 8878, a window of
// at most 8 MiB as RFC 9659 asks). The decoded bytes are bounded: once
// Limit of them are out, the rest is not decoded, so a small body that
// expands without end costs no more than Limit bytes; and so is the work,
// as the bytes the codings hand on between them are bounded by a multiple
// of Limit (Full then too). A coding it does not know, more than
// kMaxCodings of them, or data that breaks its coding make the body
// Unreadable: no decoded byte of it can be trusted.
class ContentDecoder {
public:
    static constexpr std::size_t kMaxCodings = 4;

    enum class State {
        // Takes more input.
        Decoding,
        // A coding's data has ended; what follows is ignored.
        Ended,
        // Limit decoded bytes are out, or the work bound was reached.
        Full,
        Unreadable,
    };

    ContentDecoder(std::string_view codings, std::size_t limit);
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder&) = delete;
    ContentDecoder& operator=(const ContentDecoder&) = delete;

    // Decodes input onto the end of out while the state is Decoding, until
    // out holds Limit bytes.
    void Take(std::string_view input, std::string& out);
    State Status() const { return state_; }

    // One coding's decoder; each owns its library's handle.
    class Stage;

private:
    void Feed(std::size_t stage, std::string_view input, std::string& out);

    // The codings in the order they are undone: the last one applied first.
    std::vector<std::unique_ptr<Stage>> stages_;
    std::size_t limit_;
    std::size_t handedOn_ = 0;
    State state_ = State::Decoding;
};

}  // namespace vornakle
